// The DICOM tag viewer without a window: the rows it shows for a real file
// against dcmdump's listing of the same file, the order and cut of rows, the
// short path that reads nothing and closing while the worker still reads.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/viewer/dcmInfoList.h"
#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "support/scratch_folder.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSLanguage.h"
#include "tools/dcmfixtures/tagsample.h"

USING_NS_CC;

namespace {

struct Row {
  std::string tag, intro, value;
  bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Row& r) { return os << r.tag << " | " << r.intro << " | " << r.value; }

const std::string& sampleFile() {
  static const std::string path = [] {
    std::string p = fwtest::programScratchFolder("fw-tagviewer") + "sample.dcm";
    dcmfixtures::writeTagSample(p);
    return p;
  }();
  return path;
}

// A viewer whose worker stops at a gate before reading, and which tells
// when its cleanup has begun.
class GatedViewer : public dcmInfoList {
 public:
  static GatedViewer* create() {
    auto* v = new GatedViewer();
    if (!v->init()) {
      delete v;
      return nullptr;
    }
    v->autorelease();
    return v;
  }
  void readTags() override {
    {
      std::unique_lock<std::mutex> lock(mutex);
      entered = true;
      changed.notify_all();
      changed.wait(lock, [this] { return open; });
    }
    dcmInfoList::readTags();
  }
  void cleanup() override {
    closing = true;
    dcmInfoList::cleanup();
  }
  void openGate() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    changed.notify_all();
  }
  bool hasEntered() {
    std::lock_guard<std::mutex> lock(mutex);
    return entered;
  }

  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false;
  bool open = false;
  std::atomic<bool> closing{false};
};

class TagViewer : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string dir = fwtest::programScratchFolder("fw-tagviewer");
    std::filesystem::create_directories(dir + "w");
    FileUtils::getInstance()->setWritablePath(dir + "w/");
    FileUtils::getInstance()->setDefaultResourceRootPath(std::string(FW_BINARY_DIR) + "/resources/");
    FileUtils::getInstance()->setSearchPaths({"res/pad/"});
    Director::getInstance()->setOpenGLView(GLViewImpl::createHeadless(Size(1280, 800)));
    config = AppConfig::getInstance();
    config->retain();
    config->languageTable.load();
    NSUI::setLocalizedStringTable(&config->languageTable);
    scene = Scene::create();
    Director::getInstance()->runWithScene(scene);
  }
  void TearDown() override {
    if (window) window->release();
    NSUI::setLocalizedStringTable(nullptr);
    config->release();
    Director::destroyInstance();
  }

  void step(int frames = 1) {
    for (int i = 0; i < frames; ++i) {
      Director::getInstance()->stepFrame(1.0f / 60);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  // Frames until the viewer's worker has ended and its completion had two
  // frames to arrive.
  void settle(dcmInfoList* v) {
    for (int i = 0; i < 5000 && !v->isDone(); ++i) step();
    ASSERT_TRUE(v->isDone());
    step(2);
  }

  // The window as the viewer screen opens it: the path set before the
  // window enters the scene.
  dcmInfoList* open(const std::string& path) {
    window = dcmInfoList::createWindow();
    window->retain();
    auto* v = dynamic_cast<dcmInfoList*>(window->getChildByName("dcmInfo"));
    v->setFilePath(path);
    scene->addChild(window);
    step();
    return v;
  }

  static std::vector<Row> rows(dcmInfoList* v) {
    std::vector<Row> out;
    for (Ref* r : v->getTagTable()->getRows()) {
      auto* o = static_cast<dcmInfoList::listObject*>(r);
      out.push_back({o->tag, o->intro, o->value});
    }
    return out;
  }

  AppConfig* config = nullptr;
  Scene* scene = nullptr;
  NSUI::NSResponseWindow* window = nullptr;
};

// What dcmdump lists, as the viewer's rows: the tag with one ">" per
// sequence level, the dictionary name (an unknown private element is a
// "PrivateTag") cut as the viewer cuts it, and the value of text and number
// elements (dcmdump shows texts in brackets, numbers bare).
struct Dumped {
  Row row;
  bool isPrivate;
  bool compareValue;
};

std::vector<Dumped> dcmdump(const std::string& path) {
  const std::string command = "dcmdump -M -Un +L '" + path + "' 2>&1";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return {};
  std::string out;
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  pclose(p);

  // "  (gggg,eeee) VR value   #  len, vm Name"
  const std::regex line(R"(^( *)\(([0-9a-f]{4}),([0-9a-f]{4})\) (\w\w) (.*?) +# *(?:\d+|u/l), *\d+ (.*)$)");
  std::vector<Dumped> rows;
  std::size_t start = 0;
  while (start < out.size()) {
    std::size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    const std::string text = out.substr(start, end - start);
    start = end + 1;
    std::smatch m;
    if (!std::regex_match(text, m, line)) continue;
    const std::string group = m[2], element = m[3], vr = m[4], value = m[5];
    if (group == "fffe") continue;  // items and delimiters
    const int depth = static_cast<int>(m[1].length()) / 4;
    const bool isPrivate = (std::stoi(group, nullptr, 16) & 1) != 0;
    std::string name = m[6];
    if (name == "Unknown Tag & Data") name = isPrivate ? "PrivateTag" : "UnknownTag";
    Dumped d{{std::string(depth, '>') + "(" + group + "," + element + ")", dcmInfoList::shortIntro(name), ""},
             isPrivate,
             false};
    if (value.size() >= 2 && value.front() == '[' && value.back() == ']') {
      d.row.value = value.substr(1, value.size() - 2);
      d.compareValue = true;
    } else if (vr == "US" || vr == "UL" || vr == "SS" || vr == "SL") {
      d.row.value = value;
      d.compareValue = true;
    }
    rows.push_back(d);
  }
  return rows;
}

TEST_F(TagViewer, RowsAreTheElementsDcmdumpListsPublicBeforePrivate) {
  const std::vector<Dumped> dumped = dcmdump(sampleFile());
  ASSERT_GT(dumped.size(), 30u);
  std::vector<Dumped> expected;
  for (bool privatePass : {false, true})
    for (const Dumped& d : dumped)
      if (d.isPrivate == privatePass) expected.push_back(d);

  dcmInfoList* v = open(sampleFile());
  settle(v);
  const std::vector<Row> shown = rows(v);
  ASSERT_EQ(shown.size(), expected.size());
  int privateRows = 0, valuesCompared = 0;
  for (size_t i = 0; i < shown.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    EXPECT_EQ(shown[i].tag, expected[i].row.tag);
    EXPECT_EQ(shown[i].intro, expected[i].row.intro);
    if (expected[i].compareValue) {
      EXPECT_EQ(shown[i].value, expected[i].row.value);
      ++valuesCompared;
    }
    privateRows += expected[i].isPrivate;
  }
  // The sample's private block, the item's private element and the
  // multi-byte texts are all there.
  EXPECT_EQ(privateRows, 8);
  EXPECT_GT(valuesCompared, 20);
  const auto has = [&](const Row& r) { return std::find(shown.begin(), shown.end(), r) != shown.end(); };
  EXPECT_TRUE(has({"(0008,1030)", "StudyDescription", dcmfixtures::kTagSampleStudyDescription}));
  EXPECT_TRUE(has({"(0009,1003)", "PrivateTag", "(binary, 16 bytes)"}));
  EXPECT_TRUE(has({">(0009,1001)", "PrivateTag", "in the item"}));
}

TEST_F(TagViewer, RowsKeepTheReadersOrderWithinEachGroupAndCutDescriptions) {
  dcmInfoList* v = open("");  // reads nothing; the rows come from the records below
  settle(v);
  v->setFilePath("records");
  const std::string longValue(255, 'v');
  v->tagRecords = {
      {"1", "a", "ABCDEFGHIJKLMNOPQRSTUVWXY", false},                // 25 bytes: 20 shown
      {"2", "b", "abcdefghijklmnopqr\xe6\xb8\xa9wxyz", true},        // three-byte character at bytes 19-21: 18
      {"3", longValue, "ABCDEFGHIJKLMNOPQRST", false},               // 20 bytes: whole; values whole
      {"4", "d", "abcdefghijklmnopqrs\xc3\xa9", true},               // two-byte character at bytes 20-21: 19
      {"5", "e", "abcdefghijklmnopq\xe6\xb8\xa9xyz", false},         // three-byte character at bytes 18-20: whole
  };
  v->showTags();
  const std::vector<Row> expected = {
      {"1", "ABCDEFGHIJKLMNOPQRST", "a"},
      {"3", "ABCDEFGHIJKLMNOPQRST", longValue},
      {"5", "abcdefghijklmnopq\xe6\xb8\xa9", "e"},
      {"2", "abcdefghijklmnopqr", "b"},
      {"4", "abcdefghijklmnopqrs", "d"},
  };
  EXPECT_EQ(rows(v), expected);
}

TEST_F(TagViewer, APathOfTwoCharactersReadsNothing) {
  // A readable DICOM file under that name in the working folder.
  const std::string dir = fwtest::programScratchFolder("fw-tagviewer") + "short/";
  std::filesystem::create_directories(dir);
  std::filesystem::copy_file(sampleFile(), dir + "ab", std::filesystem::copy_options::overwrite_existing);
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  dcmInfoList* v = open("ab");
  settle(v);
  std::filesystem::current_path(before);
  EXPECT_TRUE(v->tagRecords.empty());
  EXPECT_EQ(v->getTagTable()->getRowCount(), 0);
  // The same file under a longer name is read.
  dcmInfoList* w = open(dir + "ab");
  settle(w);
  EXPECT_GT(w->getTagTable()->getRowCount(), 0);
}

TEST_F(TagViewer, ClosingWhileTheWorkerReadsWaitsAndLeavesNoRows) {
  window = NSUI::NSResponseWindow::create();
  window->retain();
  auto* v = GatedViewer::create();
  v->retain();
  v->setupList();
  v->setFilePath(sampleFile());
  window->addChild(v);
  scene->addChild(window);
  step();
  for (int i = 0; i < 5000 && !v->hasEntered(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(v->hasEntered());
  EXPECT_FALSE(v->isDone());

  // The gate opens only once the close has begun: the worker reads while
  // the cleanup waits for it.
  std::thread opener([v] {
    while (!v->closing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    v->openGate();
  });
  auto* back = dynamic_cast<ui::Button*>(v->getPanel()->getChildByNameDeep("btn_back"));
  ASSERT_NE(back, nullptr);
  v->onButtonClicked(back);
  opener.join();
  EXPECT_TRUE(v->isDone());
  EXPECT_EQ(window->getParent(), nullptr);
  EXPECT_TRUE(v->tagRecords.empty());

  // Whatever the records hold now, the worker's completion adds no row.
  v->tagRecords.push_back({"(0008,0001)", "late", "Late", false});
  step(5);
  EXPECT_EQ(v->getTagTable()->getRowCount(), 0);
  v->release();
}

TEST_F(TagViewer, TheReturnKeyClosesTheWindowAfterTheWorker) {
  dcmInfoList* v = open(sampleFile());
  ASSERT_TRUE(window->isAndroidReturnKeyEnabled());
  EXPECT_TRUE(Director::getInstance()->getEventDispatcher()->dispatchReturnKeyChain());
  EXPECT_EQ(window->getParent(), nullptr);
  EXPECT_TRUE(v->isDone());
  EXPECT_TRUE(v->tagRecords.empty());
  step(3);
  EXPECT_EQ(v->getTagTable()->getRowCount(), 0);
}

TEST_F(TagViewer, TheWindowIsSetUpFromItsFiles) {
  dcmInfoList* v = open(sampleFile());
  EXPECT_EQ(v->getName(), "dcmInfo");
  EXPECT_FALSE(v->isLoadPending());
  NSUI::NSListView* table = v->getTagTable();
  ASSERT_NE(table, nullptr);
  Node* place = v->getPanel()->getChildByNameDeep("dcmList");
  ASSERT_NE(place, nullptr);
  EXPECT_FALSE(place->isVisible());
  EXPECT_EQ(table->getContentSize(), place->getContentSize());
  EXPECT_EQ(table->getPosition(), place->getPosition());
  EXPECT_EQ(table->getAnchorPoint(), place->getAnchorPoint());
  EXPECT_EQ(table->maxInertiaSpeed, 4000.0f);
  EXPECT_FALSE(v->highlightEnabled);
  // The title comes from the language table.
  auto* title = dynamic_cast<ui::Text*>(v->getPanel()->getChildByNameDeep("dcmInfo_title"));
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->getString(), NSUI::getLocalizedString("dcmInfo_title"));
  settle(v);

  // Rows are 35 high and as wide as the table; their labels hold the row.
  ASSERT_GT(table->getVisibleCells().size(), 3u);
  for (NSUI::NSTableViewCell* cell : table->getVisibleCells()) {
    EXPECT_EQ(cell->getContentSize(), Size(table->getContentSize().width, 35));
    Node* layout = cell->getChildByTag(dcmInfoList::kRowLayoutTag);
    ASSERT_NE(layout, nullptr);
    auto* row = static_cast<dcmInfoList::listObject*>(table->getRows().at(cell->rowIndex));
    EXPECT_EQ(dynamic_cast<ui::Text*>(layout->getChildByNameDeep("tag"))->getString(), row->tag);
    EXPECT_EQ(dynamic_cast<ui::Text*>(layout->getChildByNameDeep("intro"))->getString(), row->intro);
    EXPECT_EQ(dynamic_cast<ui::Text*>(layout->getChildByNameDeep("value"))->getString(), row->value);
  }
}

}  // namespace
