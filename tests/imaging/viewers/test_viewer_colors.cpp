// The 2-D image viewer's colour tables: what reaches the image actor and
// what background the window is left with after each sequence of choices.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/viewers/isColorTable.h"
#include "viewer_support.h"

using namespace isImageSDK;
using namespace viewertest;
namespace fs = std::filesystem;

namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& out, const Rgb& c) { return out << "(" << c.r << ", " << c.g << ", " << c.b << ")"; }

class ViewerColorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (fs::temp_directory_path() / "viewer-colors-XXXXXX").string();
    ASSERT_NE(mkdtemp(t.data()), nullptr);
    dir = t + "/";
    cocos2d::FileUtils::getInstance()->setSearchPaths({dir, "imageSDK", "UIRes"});
    // Red i, green 255 − i, blue i / 2, with the first entries marked.
    writeTable("Perfusion.plist", 256, 10, 200);
    writeTable("Other.plist", 256, 10, 200);
    writeTable("short.plist", 255, 10, 200);
  }
  void TearDown() override {
    cocos2d::FileUtils::getInstance()->setSearchPaths({});
    fs::remove_all(dir);
  }
  void writeTable(const std::string& name, int redCount, int red0, int blue0) {
    auto array = [](const char* key, int n, int first, int (*f)(int)) {
      std::string out = std::string("<key>") + key + "</key><array>";
      for (int i = 0; i < n; ++i) out += "<string>" + std::to_string(i == 0 ? first : f(i)) + "</string>";
      return out + "</array>";
    };
    std::ofstream(dir + name) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                              << array("Red", redCount, red0, [](int i) { return i; })
                              << array("Green", 256, 255, [](int i) { return 255 - i; })
                              << array("Blue", 256, blue0, [](int i) { return i / 2; }) << "</dict></plist>\n";
  }
  HeadlessEngine engine;
  std::string dir;
};

Rgb entry(isViewerImage* v, int i) {
  ColorTable t{};
  v->imageActor->getClut()->getColorTableRGB(t.data());
  return {t[3 * i], t[3 * i + 1], t[3 * i + 2]};
}

TEST_F(ViewerColorsTest, TablesReachTheImageAndTheBackgroundFollows) {
  enum Data { kCt, kMonochrome1, kNone };
  struct Step {
    std::string name;  // a table name, or "" for a ready table given with applyColorTable
    Rgb first;         // entry 0 of the ready table
  };
  struct Case {
    const char* what;
    Data data;
    std::vector<Step> steps;
    int index;
    Rgb expected;
    bool white;
  };
  const Rgb white{255, 255, 255};
  const Case cases[] = {
      {"grey ramp", kCt, {{"noClut.plist", {}}}, 128, {128, 128, 128}, false},
      {"inverted ramp on a CT image: white behind it", kCt, {{"bwInverse.plist", {}}}, 0, white, true},
      {"inverted ramp on a MONOCHROME1 image: black behind it", kMonochrome1, {{"bwInverse.plist", {}}}, 0, white,
       false},
      {"inverted ramp without data: black behind it", kNone, {{"bwInverse.plist", {}}}, 0, white, false},
      {"grey ramp after the inverted one: black again", kCt, {{"bwInverse.plist", {}}, {"noClut.plist", {}}}, 0,
       {0, 0, 0}, false},
      {"a file with 255 reds keeps the table, on black", kCt, {{"bwInverse.plist", {}}, {"short.plist", {}}}, 0,
       white, false},
      {"a missing file keeps the table, on black", kCt, {{"bwInverse.plist", {}}, {"absent.plist", {}}}, 0, white,
       false},
      {"a one-letter name changes nothing", kCt, {{"bwInverse.plist", {}}, {"x", {}}}, 0, white, true},
      {"perfusion: Blue fills red, Red fills blue", kCt, {{"Perfusion.plist", {}}}, 0, {200, 255, 10}, false},
      {"the same arrays under another name", kCt, {{"Other.plist", {}}}, 0, {10, 255, 200}, false},
      {"a ready table whose first entry is white", kCt, {{"", white}}, 0, white, true},
      {"a ready table whose first entry is almost white", kCt, {{"bwInverse.plist", {}}, {"", {255, 255, 254}}}, 0,
       {255, 255, 254}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    isViewerImage* v = addViewer(engine.scene);
    isImageData* data = nullptr;
    if (c.data == kCt) data = makePhantom(16, 16, 4);
    if (c.data == kMonochrome1) {
      LooseSlice l;
      l.modality = MODALITY_DX;
      l.displayCode = DISPLAY_UNSIGNED_INVERTED;
      data = makeLooseSlices({l});
    }
    v->setImageData(data);
    if (data) data->release();
    // Every case starts from the grey ramp on black.
    v->loadColorTable(kColorTableGrey);
    ASSERT_FALSE(v->isFocused());
    for (const Step& s : c.steps) {
      if (!s.name.empty()) {
        v->loadColorTable(s.name);
        continue;
      }
      ColorTable t;
      makeGreyTable(t, false);
      t[0] = static_cast<uint8_t>(s.first.r), t[1] = static_cast<uint8_t>(s.first.g), t[2] = static_cast<uint8_t>(s.first.b);
      v->applyColorTable(t.data());
    }
    EXPECT_EQ(entry(v, c.index), c.expected);
    EXPECT_EQ(v->isFocused(), c.white);
    v->removeFromParent();
  }
}

}  // namespace
