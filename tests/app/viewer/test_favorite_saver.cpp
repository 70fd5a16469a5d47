// The viewer screen's favourites without a window: the favourite writer
// driven with slice records built here (the file checked with dcmdump and
// its pixels read back through our DICOM reader), its names, its refusals,
// the 9105 it posts, the 9104 hand-over, and the badge on "btnCmdFavorite".
// Captures need a real window: tests/app/screens_gl/test_capture_window.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/viewer/imageViewerPC.h"
#include "dcmsdk/dcmSDK.h"
#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "imaging/core/SliceRecord.h"
#include "support/notification_settle.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/fixtures.h"
#include "support/headless_screen.h"

USING_NS_CC;
using isImageSDK::SliceRecord;

namespace {

namespace fs = std::filesystem;

// The screen with its favourite handlers reachable from the tests.
class ProbeScreen : public imageViewerPC {
 public:
  CREATE_FUNC(ProbeScreen);
  using imageViewerPC::onCapture;
  using imageViewerPC::onFavoriteAdded;
  using imageViewerPC::onFavoriteSave;
  using imageViewerPC::saveFavorite;
};

struct Saved {
  std::string path;
  float ratio;
};

// dcmdump's value of one element: texts without their brackets, numbers as
// listed; "<absent>" when dcmdump lists nothing for it.
std::string dumpTag(const std::string& file, const char* tag) {
  const std::string command = std::string("dcmdump -q +P ") + tag + " '" + file + "' 2>/dev/null";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return "<no dcmdump>";
  std::string out;
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  pclose(p);
  // "(gggg,eeee) VR value   #  len, vm Name"
  static const std::regex line(R"(\([0-9a-f]{4},[0-9a-f]{4}\) \w\w (.*?) +#)");
  std::smatch m;
  if (!std::regex_search(out, m, line)) return "<absent>";
  std::string value = m[1];
  if (value.size() >= 2 && value.front() == '[' && value.back() == ']') value = value.substr(1, value.size() - 2);
  return value;
}

// The stored samples of a file as our reader decodes them (signed when the
// file says so).
std::vector<int> storedSamples(const std::string& file) {
  dcmSDK::dcmReader r;
  if (!r.setFile(file.c_str())) return {};
  dcmSDK::dcmReader::PixelType type;
  int64_t n = 0;
  const void* p = r.readDicomPixelPointer(type, n);
  unsigned short representation = 0;
  if (!p || type != dcmSDK::dcmReader::PIXEL_16 || !r.readDicomTagUint16(0x0028, 0x0103, representation)) return {};
  std::vector<int> out;
  for (int64_t i = 0; i < n; ++i)
    out.push_back(representation ? static_cast<const int16_t*>(p)[i] : static_cast<const uint16_t*>(p)[i]);
  return out;
}

// A headless view of 1280 x 800 with the build's resources, English texts,
// a running scene, a library source file and every 9105 seen.
class FavoriteSaver : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("LC_ALL", "C", 1);
    dir = (fs::temp_directory_path() / ("fw-favorite-" + std::to_string(getpid()))).string();
    fs::remove_all(dir);
    fs::create_directories(dir + "/w");
    scene = fwtest::startHeadlessScreen(dir + "/w/", Size(1280, 800));
    NSUI::NSNotificationCenter::getInstance()->addObserver(
        this, nullptr,
        [this](Ref*, unsigned, NSUI::NSNotificationData* data) {
          saved.push_back({data ? data->text : "", data ? data->floatValue : 0.0f});
        },
        NOTIFY_FAVOURITE_SAVED);
    step(40);  // the centre's first tick comes half a second after it is made
    root = dir + "/w/kq/dicom/";
    favorites = dir + "/w/kq/favorite/";
    source = dcmfixtures::writeSeries(dir + "/w/kq/dicom/P/S/E", *dcmfixtures::findVariant("ct_s16"), 64, 48, 1)
                 .files.at(0);
  }
  void TearDown() override {
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(this);
    NSUI::setLocalizedStringTable(nullptr);
    Director::destroyInstance();
    fs::remove_all(dir);
  }

  void step(int frames = 1) {
    for (int i = 0; i < frames; ++i) Director::getInstance()->stepFrame(1.0f / 60);
  }
  void settle() { ASSERT_GE(fwtest::settleNotifications([this] { step(); }), 0); }

  // A slice of the source file: `cols` × `rows` samples of the element
  // type, made from `values` (RGB: three per pixel), spacing 0.5 × 0.8,
  // window 400 / 40, axial placement at (−100, −120, 35).
  SliceRecord* slice(int type, int cols, int rows, const std::vector<double>& values) {
    auto* s = new SliceRecord();
    s->width = cols;
    s->height = rows;
    s->elementType = type;
    s->spacingX = 0.5f;
    s->spacingY = 0.8f;
    s->windowWidth = 400;
    s->windowCenter = 40;
    s->filePath = source;
    s->matrix = Mat4::IDENTITY;
    s->matrix.m[12] = -100;
    s->matrix.m[13] = -120;
    s->matrix.m[14] = 35;
    const size_t n = values.size();
    s->pixels = std::malloc(n * isImageSDK::bytesPerSample(type == isImageSDK::ELEMENT_RGB ? 0 : type));
    for (size_t i = 0; i < n; ++i) {
      switch (type) {
        case isImageSDK::ELEMENT_UINT8:
        case isImageSDK::ELEMENT_RGB: static_cast<uint8_t*>(s->pixels)[i] = static_cast<uint8_t>(values[i]); break;
        case isImageSDK::ELEMENT_INT16: static_cast<int16_t*>(s->pixels)[i] = static_cast<int16_t>(values[i]); break;
        case isImageSDK::ELEMENT_UINT16: static_cast<uint16_t*>(s->pixels)[i] = static_cast<uint16_t>(values[i]); break;
        case isImageSDK::ELEMENT_FLOAT: static_cast<float*>(s->pixels)[i] = static_cast<float>(values[i]); break;
      }
    }
    return s;
  }
  std::vector<std::string> favoriteFiles() const {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(favorites, ec)) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
  }

  std::string dir, root, favorites, source;
  Scene* scene = nullptr;
  std::vector<Saved> saved;
};

TEST_F(FavoriteSaver, SamplesOfEachElementTypeAreWrittenAsSixteenBitValues) {
  using namespace isImageSDK;
  struct Case {
    const char* name;
    int type;
    std::vector<double> values;  // RGB: three per pixel
    std::vector<int> stored;     // as the file holds them
    const char* pixelRepresentation;
    const char* slope;
    const char* windowCenter;
    const char* windowWidth;
  } cases[] = {
      {"unsigned 8-bit", ELEMENT_UINT8, {0, 1, 127, 128, 200, 255}, {0, 1, 127, 128, 200, 255}, "0", "1", "40", "400"},
      {"signed 16-bit", ELEMENT_INT16, {-32768, -1024, -1, 0, 1, 32767}, {-32768, -1024, -1, 0, 1, 32767}, "1", "1",
       "40", "400"},
      {"unsigned 16-bit", ELEMENT_UINT16, {0, 1, 4095, 32768, 40000, 65535}, {0, 1, 4095, 32768, 40000, 65535}, "0",
       "1", "40", "400"},
      {"float -400 to 400", ELEMENT_FLOAT, {-400, -200, -0.02, 0.5, 200, 400}, {-32000, -16000, -1, 40, 16000, 32000},
       "1", "0.0125", "40", "400"},
      {"float within 0.005", ELEMENT_FLOAT, {-0.005, -0.0025, 0, 0.00125, 0.0025, 0.005},
       {-32000, -16000, 0, 8000, 16000, 32000}, "1", "1.5625e-07", "40", "400"},
      {"RGB", ELEMENT_RGB, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 10, 20, 30, 0, 0, 0},
       {76, 150, 29, 255, 18, 0}, "0", "1", "128", "256"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    saved.clear();
    ProbeScreen::saveFavorite(slice(c.type, 3, 2, c.values), root);
    settle();
    ASSERT_EQ(saved.size(), 1u);
    const std::string file = saved[0].path;
    EXPECT_EQ(storedSamples(file), c.stored);
    EXPECT_EQ(dumpTag(file, "0028,0103"), c.pixelRepresentation);
    EXPECT_EQ(dumpTag(file, "0028,1053"), c.slope);
    EXPECT_EQ(dumpTag(file, "0028,1052"), "0");
    EXPECT_EQ(dumpTag(file, "0028,1050"), c.windowCenter);
    EXPECT_EQ(dumpTag(file, "0028,1051"), c.windowWidth);
    EXPECT_EQ(dumpTag(file, "0028,0010"), "2");
    EXPECT_EQ(dumpTag(file, "0028,0011"), "3");
    EXPECT_EQ(dumpTag(file, "0028,0100"), "16");
    EXPECT_EQ(dumpTag(file, "0028,0102"), "15");
    if (c.type == ELEMENT_FLOAT) {
      // The values come back through the file's slope.
      const double slope = std::stod(dumpTag(file, "0028,1053"));
      const std::vector<int> back = storedSamples(file);
      ASSERT_EQ(back.size(), c.values.size());
      const double largest = std::fabs(c.values.back());
      for (size_t i = 0; i < back.size(); ++i) EXPECT_NEAR(back[i] * slope, c.values[i], largest / 32000) << i;
    }
  }
}

TEST_F(FavoriteSaver, FileTakesPlacementSpacingAndTheSourcesPatientAndStudy) {
  // Feet first prone: the patient frame differs from the display frame in
  // every axis the slice uses.
  SliceRecord* s = slice(isImageSDK::ELEMENT_INT16, 3, 2, {1, 2, 3, 4, 5, 6});
  s->positionCode = isImageSDK::POSITION_PRONE;
  s->feetFirstCode = isImageSDK::FEET_FIRST;
  const float columns[16] = {0.6f, 0.8f, 0, 0, 0, 0, 1, 0, 0.8f, -0.6f, 0, 0, -12.5f, 40, 7.25f, 1};
  s->matrix.set(columns);
  // The expected values are the converted columns of that matrix.
  SliceRecord frame;
  frame.positionCode = s->positionCode;
  frame.feetFirstCode = s->feetFirstCode;
  float pos[3] = {-12.5f, 40, 7.25f}, row[3] = {0.6f, 0.8f, 0}, col[3] = {0, 0, 1};
  frame.toPatientFrame(pos);
  frame.toPatientFrame(row);
  frame.toPatientFrame(col);
  auto ds = [](std::initializer_list<float> v) {
    std::string out;
    for (float f : v) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.7g", f == 0.0f ? 0.0f : f);
      out += (out.empty() ? "" : "\\") + std::string(buf);
    }
    return out;
  };
  ASSERT_NE(ds({pos[0], pos[1], pos[2]}), "-12.5\\40\\7.25");

  ProbeScreen::saveFavorite(s, root);
  settle();
  ASSERT_EQ(saved.size(), 1u);
  const std::string file = saved[0].path;
  EXPECT_EQ(dumpTag(file, "0020,0032"), ds({pos[0], pos[1], pos[2]}));
  EXPECT_EQ(dumpTag(file, "0020,0037"), ds({row[0], row[1], row[2], col[0], col[1], col[2]}));
  EXPECT_EQ(dumpTag(file, "0028,0030"), "0.8\\0.5");
  EXPECT_FLOAT_EQ(saved[0].ratio, 0.5f / 0.8f);
  for (const char* tag : {"0010,0010", "0010,0020", "0010,0030", "0010,0040", "0020,000d", "0008,0020",
                          "0008,1030", "0008,0060"}) {
    SCOPED_TRACE(tag);
    EXPECT_EQ(dumpTag(file, tag), dumpTag(source, tag));
  }
  EXPECT_NE(dumpTag(file, "0010,0010"), "<absent>");
  // A file of its own: new series and instance.
  EXPECT_NE(dumpTag(file, "0020,000e"), dumpTag(source, "0020,000e"));
  EXPECT_NE(dumpTag(file, "0008,0018"), dumpTag(source, "0008,0018"));
}

TEST_F(FavoriteSaver, NamesAreSecondsUniqueAndThePathIsPlain) {
  // Two saves at once, each on its own thread, as two quick presses start them.
  std::thread a(&ProbeScreen::saveFavorite, slice(isImageSDK::ELEMENT_INT16, 3, 2, {1, 2, 3, 4, 5, 6}), root);
  std::thread b(&ProbeScreen::saveFavorite, slice(isImageSDK::ELEMENT_INT16, 3, 2, {7, 8, 9, 10, 11, 12}), root);
  a.join();
  b.join();
  settle();
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_NE(saved[0].path, saved[1].path);
  EXPECT_EQ(favoriteFiles().size(), 2u);
  const std::regex name(R"((\d+)(-\d+)?\.dcm)");
  for (const Saved& s : saved) {
    SCOPED_TRACE(s.path);
    EXPECT_EQ(s.path.rfind(favorites, 0), 0u);
    EXPECT_EQ(s.path.find(".."), std::string::npos);
    EXPECT_TRUE(std::regex_match(fs::path(s.path).filename().string(), name));
    EXPECT_TRUE(fs::is_regular_file(s.path));
  }
  std::vector<int> both[2];
  for (int i = 0; i < 2; ++i) both[i] = storedSamples(saved[i].path);
  std::sort(std::begin(both), std::end(both));
  EXPECT_EQ(both[0], (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(both[1], (std::vector<int>{7, 8, 9, 10, 11, 12}));

  // With "<seconds>.dcm" taken for the coming minute, the next save is
  // "<seconds>-1.dcm", and the file that held the name stays as it was.
  for (const std::string& f : favoriteFiles()) fs::remove(f);
  const long now = std::stol(NSUI::getTimestampString());
  for (long t = now; t < now + 60; ++t) std::ofstream(favorites + std::to_string(t) + ".dcm") << "kept";
  saved.clear();
  ProbeScreen::saveFavorite(slice(isImageSDK::ELEMENT_INT16, 3, 2, {1, 2, 3, 4, 5, 6}), root);
  settle();
  ASSERT_EQ(saved.size(), 1u);
  std::smatch m;
  const std::string fileName = fs::path(saved[0].path).filename().string();
  ASSERT_TRUE(std::regex_match(fileName, m, name));
  EXPECT_EQ(m[2], "-1");
  EXPECT_EQ(fs::file_size(favorites + m[1].str() + ".dcm"), 4u);
}

TEST_F(FavoriteSaver, PathsThatDoNotFitTheirFieldsGiveNoFavourite) {
  struct Case {
    const char* name;
    std::string source;
    std::string root;
  } cases[] = {
      {"source path of 1100 bytes", "/" + std::string(1099, 's'), root},
      {"output path of 1100 bytes", source, dir + "/" + std::string(1000, 'r') + "/kq/dicom/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SliceRecord* s = slice(isImageSDK::ELEMENT_INT16, 3, 2, {1, 2, 3, 4, 5, 6});
    s->filePath = c.source;
    ProbeScreen::saveFavorite(s, c.root);
    settle();
    EXPECT_TRUE(saved.empty());
    EXPECT_TRUE(favoriteFiles().empty());
  }
}

TEST_F(FavoriteSaver, ConversionFailureLeavesNoFileAndPostsNothing) {
  SliceRecord* s = slice(isImageSDK::ELEMENT_INT16, 3, 2, {1, 2, 3, 4, 5, 6});
  s->filePath = dir + "/not-dicom.txt";
  std::ofstream(s->filePath) << "plain text";
  ProbeScreen::saveFavorite(s, root);
  settle();
  EXPECT_TRUE(saved.empty());
  EXPECT_TRUE(favoriteFiles().empty());
}

TEST_F(FavoriteSaver, SaveNotificationHandsTheRecordToAWriterThatOutlivesTheScreen) {
  ProbeScreen* screen = ProbeScreen::create();
  ASSERT_NE(screen, nullptr);
  scene->addChild(screen);
  // Without a record nothing starts.
  auto* empty = new NSUI::NSNotificationData();
  screen->onFavoriteSave(empty);
  screen->onFavoriteSave(nullptr);
  empty->release();

  auto* data = new NSUI::NSNotificationData();
  data->setUserData(slice(isImageSDK::ELEMENT_UINT8, 3, 2, {0, 50, 100, 150, 200, 255}));
  screen->onFavoriteSave(data);
  // Taken: a second observer of the same post finds nothing to free.
  EXPECT_EQ(data->userData, nullptr);
  data->release();
  // The screen goes at once, as when the user leaves while the file is
  // written; the thread needs nothing of it.
  screen->removeFromParent();
  screen = nullptr;
  // The thread runs on its own time; frames go on meanwhile.
  for (int i = 0; i < 6000 && saved.empty(); ++i) {
    step();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  settle();
  ASSERT_EQ(saved.size(), 1u);
  // Without a library the favourites lie beside its default folder.
  EXPECT_EQ(fs::path(saved[0].path).parent_path().string() + "/", favorites);
  EXPECT_EQ(storedSamples(saved[0].path), (std::vector<int>{0, 50, 100, 150, 200, 255}));
  EXPECT_FLOAT_EQ(saved[0].ratio, 0.5f / 0.8f);
}

// The badge over "btnCmdFavorite", as the screen's root holds it.
TEST_F(FavoriteSaver, BadgeCountsUpAndHidesBelowOne) {
  ProbeScreen* screen = ProbeScreen::create();
  ASSERT_NE(screen, nullptr);
  scene->addChild(screen);
  // Without a root nothing happens.
  Node* root = screen->getChildByName("root");
  if (!root) {
    screen->updateFavoriteBadge(3);
    EXPECT_EQ(screen->getChildByNameDeep("favoriteNodes"), nullptr);
    root = CSLoader::createNode("singleViewPC.csb");
    ASSERT_NE(root, nullptr);
    root->setName("root");
    screen->addChild(root);
  }
  Node* button = root->getChildByNameDeep("btnCmdFavorite");
  ASSERT_NE(button, nullptr);
  button->setUserString("");

  struct Step {
    int argument;  // −1: one more, as on 1004 and 9105
    const char* count;
    bool shown;
  } steps[] = {{5, "5", true}, {-1, "6", true}, {-1, "7", true}, {0, "0", false}, {-1, "1", true}, {1, "1", true}};
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.argument) + " -> " + s.count);
    if (s.argument < 0)
      screen->onFavoriteAdded();
    else
      screen->updateFavoriteBadge(s.argument);
    EXPECT_EQ(button->getUserString(), s.count);
    auto* label = dynamic_cast<Label*>(root->getChildByName("favoriteNodes"));
    auto* back = dynamic_cast<Sprite*>(root->getChildByName("favoriteNodesBK"));
    ASSERT_NE(label, nullptr);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(label->isVisible(), s.shown);
    EXPECT_EQ(back->isVisible(), s.shown);
    if (s.shown) {
      EXPECT_EQ(label->getString(), s.count);
    }
    int labels = 0;
    for (Node* child : root->getChildren()) labels += child->getName() == "favoriteNodes";
    EXPECT_EQ(labels, 1);
  }

  // Placed over the button's top left, above it, the disc at scale 2.
  auto* label = dynamic_cast<Label*>(root->getChildByName("favoriteNodes"));
  auto* back = dynamic_cast<Sprite*>(root->getChildByName("favoriteNodesBK"));
  const Vec2 at = button->getPosition() + Vec2(-10, 15);
  for (Node* n : {static_cast<Node*>(label), static_cast<Node*>(back)}) {
    EXPECT_EQ(n->getParent(), button->getParent());
    EXPECT_EQ(n->getPosition(), at);
    EXPECT_EQ(n->getAnchorPoint(), Vec2(0.5f, 0.5f));
  }
  EXPECT_EQ(back->getLocalZOrder(), button->getLocalZOrder() + 10000);
  EXPECT_EQ(label->getLocalZOrder(), button->getLocalZOrder() + 10002);
  EXPECT_FLOAT_EQ(back->getScale(), 2.0f);
  EXPECT_EQ(label->getTextColor(), Color4B::WHITE);
  EXPECT_FLOAT_EQ(label->getSystemFontSize(), 15.0f);
  EXPECT_TRUE(back->getTexture() != nullptr);
  screen->removeFromParent();
}

}  // namespace
