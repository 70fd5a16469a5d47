// Colour tables: the built-in ramps, the table-file format (channel order,
// lengths, low 8 bits), the generated resource tables, and the table and
// background a viewer starts with for each kind of image.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/isImageData.h"
#include "imaging/viewers/isColorTable.h"

using namespace isImageSDK;
namespace fs = std::filesystem;

namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
  return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb entry(const ColorTable& t, int i) { return {t[3 * i], t[3 * i + 1], t[3 * i + 2]}; }

// Three arrays of 256 texts; `edit` changes them before they are written.
struct Arrays {
  std::vector<std::string> red, green, blue;
  Arrays() {
    for (int i = 0; i < 256; ++i) {
      red.push_back(std::to_string(i));
      green.push_back(std::to_string(255 - i));
      blue.push_back(std::to_string(i / 2));
    }
  }
};

std::string plistArray(const char* key, const std::vector<std::string>& values, const char* element = "string") {
  std::string out = std::string("<key>") + key + "</key><array>";
  for (const auto& v : values) out += std::string("<") + element + ">" + v + "</" + element + ">";
  return out + "</array>";
}

class ColorTables : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (fs::temp_directory_path() / "colortable-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(t.data()), nullptr);
    dir = t + "/";
    auto* files = cocos2d::FileUtils::getInstance();
    files->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
    // As the program sets them, with the scratch folder in front.
    files->setSearchPaths({dir, "res/pad", "imageSDK", "dcmtk", "UIRes", "test"});
  }
  void TearDown() override {
    cocos2d::FileUtils::getInstance()->setSearchPaths({});
    cocos2d::PoolManager::getInstance()->getCurrentPool()->clear();
    fs::remove_all(dir);
  }

 public:
  void write(const std::string& name, const std::string& body) {
    std::ofstream(dir + name) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" << body
                              << "</plist>\n";
  }
  void writeTable(const std::string& name, const Arrays& a) {
    write(name, "<dict>" + plistArray("Red", a.red) + plistArray("Green", a.green) + plistArray("Blue", a.blue) +
                    "<key>Name</key><string>ignored</string></dict>");
  }
  std::string dir;
};

}  // namespace

TEST_F(ColorTables, ReadingByName) {
  // What a table starts as before each read; a refused read leaves it so.
  ColorTable marker;
  marker.fill(7);
  struct Case {
    const char* what;
    std::function<void(ColorTables&)> prepare;
    std::string name;
    bool read;
    std::vector<std::pair<int, Rgb>> entries;  // checked when read
  };
  Arrays plain;
  const std::vector<Case> cases = {
      {"grey ramp", nullptr, "noClut.plist", true, {{0, {0, 0, 0}}, {128, {128, 128, 128}}, {255, {255, 255, 255}}}},
      {"inverted grey ramp", nullptr, "bwInverse.plist", true,
       {{0, {255, 255, 255}}, {128, {127, 127, 127}}, {255, {0, 0, 0}}}},
      {"a file: Red, Green, Blue in their channels",
       [&](ColorTables& t) { t.writeTable("plain.plist", plain); }, "plain.plist", true,
       {{0, {0, 255, 0}}, {200, {200, 55, 100}}}},
      {"perfusion: Blue fills red and Red fills blue",
       [](ColorTables& t) {
         Arrays a;
         a.blue[0] = "200";
         a.red[0] = "10";
         t.writeTable("Perfusion.plist", a);
       },
       "Perfusion.plist", true, {{0, {200, 255, 10}}}},
      {"the same arrays under another name",
       [](ColorTables& t) {
         Arrays a;
         a.blue[0] = "200";
         a.red[0] = "10";
         t.writeTable("Other.plist", a);
       },
       "Other.plist", true, {{0, {10, 255, 200}}}},
      {"low 8 bits of each element",
       [](ColorTables& t) {
         Arrays a;
         a.red[1] = "300";
         a.green[1] = "-1";
         a.blue[1] = "256";
         t.writeTable("wide.plist", a);
       },
       "wide.plist", true, {{1, {44, 255, 0}}}},
      {"integer elements read like texts",
       [&](ColorTables& t) {
         t.write("integers.plist", "<dict>" + plistArray("Red", plain.red, "integer") +
                                       plistArray("Green", plain.green, "integer") +
                                       plistArray("Blue", plain.blue, "integer") + "</dict>");
       },
       "integers.plist", true, {{200, {200, 55, 100}}}},
      {"Red of 255 elements",
       [](ColorTables& t) {
         Arrays a;
         a.red.pop_back();
         t.writeTable("short.plist", a);
       },
       "short.plist", false, {}},
      {"Blue of 257 elements",
       [](ColorTables& t) {
         Arrays a;
         a.blue.push_back("1");
         t.writeTable("long.plist", a);
       },
       "long.plist", false, {}},
      {"no Green",
       [&](ColorTables& t) {
         t.write("nogreen.plist", "<dict>" + plistArray("Red", plain.red) + plistArray("Blue", plain.blue) + "</dict>");
       },
       "nogreen.plist", false, {}},
      {"Green is not an array",
       [&](ColorTables& t) {
         t.write("flat.plist", "<dict>" + plistArray("Red", plain.red) + "<key>Green</key><string>1</string>" +
                                   plistArray("Blue", plain.blue) + "</dict>");
       },
       "flat.plist", false, {}},
      {"an element that is not a text",
       [](ColorTables& t) {
         Arrays a;
         a.green[5] = "</string><array><string>1</string></array><string>";  // one element becomes an array
         a.green.pop_back();
         t.writeTable("nested.plist", a);
       },
       "nested.plist", false, {}},
      {"not a property list",
       [](ColorTables& t) { std::ofstream(t.dir + "garbage.plist") << "Red,Green,Blue\n1,2,3\n"; },
       "garbage.plist", false, {}},
      {"no such file", nullptr, "Missing.plist", false, {}},
      {"a one-character name", nullptr, "x", false, {}},
      {"an empty name", nullptr, "", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.prepare) c.prepare(*this);
    ColorTable table = marker;
    ASSERT_EQ(readColorTable(c.name, table), c.read);
    if (!c.read) {
      EXPECT_EQ(table, marker);
      continue;
    }
    for (const auto& [i, want] : c.entries) EXPECT_EQ(entry(table, i), want) << "entry " << i;
  }
}

TEST_F(ColorTables, GeneratedTablesShowTheirScales) {
  // The build's resource tree, found through the "imageSDK" search path.
  struct Case {
    const char* name;
    std::vector<std::pair<int, Rgb>> entries;
  };
  const Case cases[] = {
      // Black, red, orange, yellow, white.
      {"HotMetal.plist", {{0, {0, 0, 0}}, {95, {255, 0, 0}}, {143, {255, 128, 0}}, {191, {255, 255, 0}},
                          {255, {255, 255, 255}}}},
      // Black, blue, cyan, green, yellow, red, white.
      {"Spectrum.plist", {{0, {0, 0, 0}}, {43, {0, 0, 255}}, {85, {0, 255, 255}}, {128, {0, 255, 0}},
                          {170, {255, 255, 0}}, {213, {255, 0, 0}}, {255, {255, 255, 255}}}},
      // Black, blue, green, yellow, red: shown so although its file stores
      // red and blue exchanged.
      {"Perfusion.plist", {{0, {0, 0, 0}}, {64, {0, 0, 255}}, {128, {0, 255, 0}}, {191, {255, 255, 0}},
                           {255, {255, 0, 0}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NE(cocos2d::FileUtils::getInstance()->fullPathForFilename(c.name).find("/imageSDK/"), std::string::npos);
    ColorTable table{};
    ASSERT_TRUE(readColorTable(c.name, table));
    for (const auto& [i, want] : c.entries) EXPECT_EQ(entry(table, i), want) << "entry " << i;
  }
}

TEST(ColorTableBackground, WhiteOnlyForAWhiteFirstEntry) {
  ColorTable t;
  makeGreyTable(t, true);
  EXPECT_TRUE(tableWantsWhiteBackground(t.data()));
  t[2] = 254;  // (255, 255, 254)
  EXPECT_FALSE(tableWantsWhiteBackground(t.data()));
  makeGreyTable(t, false);
  EXPECT_FALSE(tableWantsWhiteBackground(t.data()));
  EXPECT_FALSE(tableWantsWhiteBackground(nullptr));
}

TEST(ColorTableDefaults, TableAndBackgroundForEachKindOfImage) {
  struct Case {
    const char* what;
    int slices;
    int modality;
    int displayCode;
    const char* table;
    bool whiteBehindInverse;  // background after the inverted ramp
  };
  const Case cases[] = {
      {"CT", 1, MODALITY_CT, DISPLAY_SIGNED, "noClut.plist", true},
      {"MR", 1, MODALITY_MR, DISPLAY_UNSIGNED, "noClut.plist", true},
      {"PT", 1, MODALITY_PT, DISPLAY_UNSIGNED, "bwInverse.plist", true},
      {"NM", 1, MODALITY_NM, DISPLAY_UNSIGNED, "bwInverse.plist", true},
      {"MONOCHROME1 radiograph", 1, MODALITY_DX, DISPLAY_UNSIGNED_INVERTED, "bwInverse.plist", false},
      {"MONOCHROME1 signed", 1, MODALITY_DX, DISPLAY_SIGNED_INVERTED, "bwInverse.plist", false},
      {"no slices", 0, MODALITY_CT, DISPLAY_SIGNED, "noClut.plist", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    isImageData* data = isImageData::create();
    for (int i = 0; i < c.slices; ++i) {
      SliceRecord r;
      r.width = r.height = 2;
      r.elementType = ELEMENT_INT16;
      r.modality = c.modality;
      r.displayCode = c.displayCode;
      ASSERT_TRUE(data->addSliceCopy(&r));
    }
    EXPECT_STREQ(defaultColorTableName(data), c.table);
    EXPECT_EQ(inverseTableWantsWhiteBackground(data), c.whiteBehindInverse);
    data->release();
  }
  EXPECT_STREQ(defaultColorTableName(nullptr), "noClut.plist");
  EXPECT_FALSE(inverseTableWantsWhiteBackground(nullptr));
}
