// Hanging protocols: reading "protocal/protocal.xml" (the shipped file and
// damaged ones), the filter by series facts, when the list is read again,
// and the layout pictures the build draws for the shipped protocols.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/ProtocalList.h"
#include "imaging/core/isSharedObjects.h"
#include "imaging/viewers/appLayouts.h"
#include "imaging/viewers/appManager.h"

using namespace isImageSDK;
namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::string kShipped = readText(fs::path(FW_SOURCE_DIR) / "resources/protocal/protocal.xml");

std::string plist(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n";
  for (const auto& [key, value] : entries) text += "<key>" + key + "</key><string>" + value + "</string>\n";
  return text + "</dict></plist>\n";
}

// The same compare layout twice, under two titles.
const std::string kRepeatedType = plist({{"protocal.number", "4"},
                                         {"protocal.1.type", "compare2d"},
                                         {"protocal.1.title", "Side by side"},
                                         {"protocal.1.file", "protocal/compare2d.png"},
                                         {"protocal.2.type", "mpr"},
                                         {"protocal.2.title", "MPR"},
                                         {"protocal.2.file", "protocal/mpr.png"},
                                         {"protocal.3.type", "compare2d"},
                                         {"protocal.3.title", "Priors"},
                                         {"protocal.3.file", "protocal/priors.png"},
                                         {"protocal.4.type", "browser2d"},
                                         {"protocal.4.title", "Slices"},
                                         {"protocal.4.file", "protocal/browser2d.png"}});

const std::string kNoCount = plist({{"protocal.1.type", "2dview"},
                                    {"protocal.1.title", "Single view"},
                                    {"protocal.1.file", "protocal/2dview.png"}});

const std::string kMissingTitle = plist({{"protocal.number", "3"},
                                         {"protocal.1.type", "2dslice"},
                                         {"protocal.1.file", "protocal/2dslice.png"},
                                         {"protocal.2.type", "compare4d"},
                                         {"protocal.2.title", "Phases"},
                                         {"protocal.3.type", "mpr3d"},
                                         {"protocal.3.title", "3D"},
                                         {"protocal.3.file", "protocal/mpr3d.png"}});

// A resource root of its own holding (or not) protocal/protocal.xml; the
// protocol list starts empty and is emptied again afterwards.
class Protocols : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (fs::temp_directory_path() / "protocols-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(t.data()), nullptr);
    root = t;
    cocos2d::FileUtils* files = cocos2d::FileUtils::getInstance();
    savedRoot = files->getDefaultResourceRootPath();
    files->setDefaultResourceRootPath(root.string() + "/");
    files->setSearchPaths({});
    files->purgeCachedEntries();
    releaseProtocolList();
  }

  void TearDown() override {
    releaseProtocolList();
    cocos2d::FileUtils* files = cocos2d::FileUtils::getInstance();
    files->setDefaultResourceRootPath(savedRoot);
    files->purgeCachedEntries();
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  void writeFile(const std::string& text) {
    fs::create_directories(root / "protocal");
    std::ofstream(root / "protocal/protocal.xml", std::ios::binary) << text;
    cocos2d::FileUtils::getInstance()->purgeCachedEntries();
  }

  // "type:title" of each protocol that fits.
  static std::vector<std::string> fitting(const SeriesSummary& summary) {
    std::vector<ProtocolInfo> out;
    appManager::getProtocolsFor(out, summary);
    std::vector<std::string> names;
    for (const ProtocolInfo& p : out) names.push_back(p.type + ":" + p.title);
    return names;
  }

  fs::path root;
  std::string savedRoot;
};

}  // namespace

TEST_F(Protocols, ShippedFileInMenuOrder) {
  writeFile(kShipped);
  const std::vector<ProtocolInfo> want = {
      {"protocal/2dview.png", "Single view", "2dview"},
      {"protocal/mpr.png", "MPR", "mpr"},
      {"protocal/mpr3d.png", "MPR and 3D", "mpr3d"},
      {"protocal/mpr2.png", "MPR in three columns", "mpr2"},
      {"protocal/browser2d.png", "Slices 2x2", "browser2d"},
      {"protocal/2dslice.png", "Images", "2dslice"},
      {"protocal/compare2d.png", "Compare series", "compare2d"},
      {"protocal/compare4d.png", "Compare phases", "compare4d"},
  };
  EXPECT_EQ(appManager::getProtocolList(), want);
  for (const ProtocolInfo& p : want) EXPECT_NE(appManager::getLayoutId(p.type), 0) << p.type;
}

TEST_F(Protocols, FilesBySeriesFacts) {
  using Names = std::vector<std::string>;
  struct Case {
    const char* file;
    const std::string* text;
    SeriesSummary summary;
    Names fits;
  };
  const SeriesSummary two60{2, 60, true, false}, two40{2, 40, true, false}, two50{2, 50, false, false},
      two51{2, 51, false, false}, single{1, 1, false, false}, volume3{1, 3, true, false},
      volume4{1, 4, true, true}, volume5{1, 5, true, false}, volume200{1, 200, true, false},
      volume4D{1, 200, true, true};
  const Names volumeShipped = {"2dview:Single view", "mpr:MPR", "mpr3d:MPR and 3D", "mpr2:MPR in three columns",
                               "browser2d:Slices 2x2"};
  Names volume4DShipped = volumeShipped;
  volume4DShipped.push_back("compare4d:Compare phases");
  const std::vector<Case> cases = {
      {"shipped", &kShipped, two60, {"compare2d:Compare series", "compare4d:Compare phases"}},
      {"shipped", &kShipped, two40, {"compare2d:Compare series"}},
      {"shipped", &kShipped, two50, {"compare2d:Compare series"}},
      {"shipped", &kShipped, two51, {"compare2d:Compare series", "compare4d:Compare phases"}},
      {"shipped", &kShipped, single, {"2dslice:Images", "compare2d:Compare series"}},
      {"shipped", &kShipped, volume3, {"browser2d:Slices 2x2"}},
      {"shipped", &kShipped, volume4, {"browser2d:Slices 2x2"}},
      {"shipped", &kShipped, volume5, volumeShipped},
      {"shipped", &kShipped, volume200, volumeShipped},
      {"shipped", &kShipped, volume4D, volume4DShipped},
      {"repeated type", &kRepeatedType, two60, {"compare2d:Side by side", "compare2d:Priors"}},
      {"repeated type", &kRepeatedType, single, {"compare2d:Side by side", "compare2d:Priors"}},
      {"repeated type", &kRepeatedType, volume3, {"browser2d:Slices"}},
      {"repeated type", &kRepeatedType, volume200, {"mpr:MPR", "browser2d:Slices"}},
      {"no count", &kNoCount, two60, {}},
      {"no count", &kNoCount, single, {}},
      {"no count", &kNoCount, volume200, {}},
      {"missing title", &kMissingTitle, two60, {"compare4d:Phases"}},
      {"missing title", &kMissingTitle, single, {"2dslice:"}},
      {"missing title", &kMissingTitle, volume200, {"mpr3d:3D"}},
      {"missing title", &kMissingTitle, volume4D, {"compare4d:Phases", "mpr3d:3D"}},
  };
  for (const Case& c : cases) {
    releaseProtocolList();
    writeFile(*c.text);
    const SeriesSummary& s = c.summary;
    EXPECT_EQ(fitting(s), c.fits) << c.file << " file, " << s.seriesCount << " series, " << s.imageCount
                                  << " images" << (s.isVolume ? ", volume" : "") << (s.is4D ? ", 4-D" : "");
  }
}

TEST_F(Protocols, MissingKeysReadAsEmptyTexts) {
  writeFile(kMissingTitle);
  const std::vector<ProtocolInfo> want = {
      {"protocal/2dslice.png", "", "2dslice"},
      {"", "Phases", "compare4d"},
      {"protocal/mpr3d.png", "3D", "mpr3d"},
  };
  EXPECT_EQ(appManager::getProtocolList(), want);
}

TEST_F(Protocols, ReadOnceUntilShutdown) {
  writeFile(kRepeatedType);
  ASSERT_EQ(appManager::getProtocolList().size(), 4u);
  writeFile(kShipped);
  EXPECT_EQ(appManager::getProtocolList().size(), 4u) << "a filled list is not read again";
  shutdown();
  EXPECT_TRUE(protocolList().empty());
  EXPECT_EQ(appManager::getProtocolList().size(), 8u) << "after the shutdown the file is read again";
}

TEST_F(Protocols, EmptyListIsReadAgain) {
  struct Case {
    const char* what;
    bool present;
    std::string text;
  };
  const std::vector<Case> empties = {
      {"missing file", false, ""},
      {"no count", true, kNoCount},
      {"count of zero", true, plist({{"protocal.number", "0"}, {"protocal.1.type", "mpr"}})},
      {"count that is no number", true, plist({{"protocal.number", "many"}, {"protocal.1.type", "mpr"}})},
      {"negative count", true, plist({{"protocal.number", "-3"}, {"protocal.1.type", "mpr"}})},
      {"not a property list", true, "protocal.number = 8\n"},
      {"empty file", true, ""},
  };
  for (const Case& c : empties) {
    releaseProtocolList();
    std::error_code ignored;
    fs::remove_all(root / "protocal", ignored);
    cocos2d::FileUtils::getInstance()->purgeCachedEntries();
    if (c.present) writeFile(c.text);
    EXPECT_TRUE(appManager::getProtocolList().empty()) << c.what;
    std::vector<ProtocolInfo> out;
    appManager::getProtocolsFor(out, {1, 200, true, true});
    EXPECT_TRUE(out.empty()) << c.what;

    writeFile(kShipped);
    EXPECT_EQ(appManager::getProtocolList().size(), 8u) << c.what << ": the next call reads the file again";
  }
}

TEST_F(Protocols, OutputListIsAppendedTo) {
  writeFile(kShipped);
  std::vector<ProtocolInfo> out = {{"keep.png", "Kept", "mine"}};
  appManager::getProtocolsFor(out, {1, 3, true, false});
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].title, "Kept");
  EXPECT_EQ(out[1].type, "browser2d");
}

namespace {

// Counts the 4-connected regions of pixels that pass `inside`.
template <typename Pred>
int regions(const cocos2d::Image& image, Pred inside) {
  const int w = image.getWidth(), h = image.getHeight(), n = image.getComponents();
  const unsigned char* data = image.getData();
  std::vector<char> seen(static_cast<size_t>(w * h), 0);
  int count = 0;
  for (int start = 0; start < w * h; ++start) {
    if (seen[start] || !inside(data + start * n)) continue;
    ++count;
    std::vector<int> stack = {start};
    seen[start] = 1;
    while (!stack.empty()) {
      const int p = stack.back();
      stack.pop_back();
      const int x = p % w, y = p / w;
      const int next[4][2] = {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}};
      for (const auto& q : next) {
        if (q[0] < 0 || q[1] < 0 || q[0] >= w || q[1] >= h) continue;
        const int i = q[1] * w + q[0];
        if (!seen[i] && inside(data + i * n)) {
          seen[i] = 1;
          stack.push_back(i);
        }
      }
    }
  }
  return count;
}

}  // namespace

// The build draws one picture per shipped protocol; each shows its layout's
// viewers as separate light areas (the volume one tinted) on a dark ground.
TEST(LayoutPictures, OnePerShippedProtocol) {
  const fs::path folder = fs::path(FW_BINARY_DIR) / "resources";
  struct Case {
    const char* type;
    int light;   // viewers drawn light
    int tinted;  // volume-rendering viewers
  };
  const std::vector<Case> cases = {
      {"2dview", 1, 0},  {"browser2d", 4, 0}, {"mpr3d", 3, 1},     {"mpr", 3, 0},
      {"mpr2", 4, 0},    {"2dslice", 1, 0},   {"compare2d", 2, 0}, {"compare4d", 6, 0},
  };
  EXPECT_EQ(readText(folder / "protocal/protocal.xml"), kShipped) << "the build places the shipped file";
  for (const Case& c : cases) {
    const fs::path path = folder / "protocal" / (std::string(c.type) + ".png");
    cocos2d::Image image;
    ASSERT_TRUE(image.initWithImageFile(path.string())) << path;
    EXPECT_EQ(image.getWidth(), 432) << c.type;
    EXPECT_EQ(image.getHeight(), 324) << c.type;
    ASSERT_GE(image.getComponents(), 3) << c.type;
    auto grey = [](const unsigned char* p) { return p[0] > 150 && p[1] > 150 && p[2] > 150 && p[0] - p[2] < 40; };
    auto tint = [](const unsigned char* p) { return p[0] > 150 && p[0] - p[2] >= 40; };
    auto dark = [](const unsigned char* p) { return p[0] < 80 && p[1] < 80 && p[2] < 80; };
    EXPECT_EQ(regions(image, grey), c.light) << c.type;
    EXPECT_EQ(regions(image, tint), c.tinted) << c.type;
    EXPECT_EQ(regions(image, dark), 1) << c.type << ": one dark ground around and between the viewers";
  }
}
