// Resource resolution, file calls and property lists.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "engine/cocos2d.h"
#include "support_engine.h"

USING_NS_CC;

namespace {
class FileUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fu = FileUtils::getInstance();
    fu->setDefaultResourceRootPath(root.path);
    fu->setSearchPaths({});
  }
  void TearDown() override { FileUtils::destroyInstance(); }
  TempDir root;
  TempDir elsewhere;
  FileUtils* fu = nullptr;
};
}  // namespace

TEST_F(FileUtilsTest, ResolutionTable) {
  writeFile(root.path + "res/pad/a.png", "pad");
  writeFile(root.path + "UIRes/a.png", "ui");
  writeFile(root.path + "UIRes/b.png", "ui");
  writeFile(root.path + "top.txt", "root");
  writeFile(root.path + "UIRes/top.txt", "ui-top");
  writeFile(elsewhere.path + "update/a.png", "update");
  writeFile(root.path + "UIRes/sub/deep.xml", "deep");

  fu->setSearchPaths({"res/pad", "imageSDK", "dcmtk", "UIRes", "test"});
  struct Case {
    const char* name;
    std::string expected;
  };
  const Case before[] = {
      {"a.png", root.path + "res/pad/a.png"},      // first search path wins
      {"b.png", root.path + "UIRes/b.png"},        // later search path
      {"top.txt", root.path + "UIRes/top.txt"},    // search paths before the root
      {"sub/deep.xml", root.path + "UIRes/sub/deep.xml"},
      {"missing.png", ""},
      {"", ""},
  };
  for (const auto& c : before) EXPECT_EQ(fu->fullPathForFilename(c.name), c.expected) << c.name;

  // Absolute names are used as they are, even when missing.
  EXPECT_EQ(fu->fullPathForFilename("/nowhere/x.png"), "/nowhere/x.png");

  // An update folder put in front takes over; the cache must not hide it.
  fu->addSearchPath(elsewhere.path + "update", true);
  EXPECT_EQ(fu->fullPathForFilename("a.png"), elsewhere.path + "update/a.png");
  EXPECT_EQ(fu->getSearchPaths().front(), elsewhere.path + "update/");

  // Without search paths, the resource root itself.
  fu->setSearchPaths({});
  EXPECT_EQ(fu->fullPathForFilename("top.txt"), root.path + "top.txt");
  EXPECT_EQ(fu->fullPathForFilename("a.png"), "");
}

TEST_F(FileUtilsTest, ResourceRootFromEnvironment) {
  FileUtils::destroyInstance();
  setenv(FileUtils::kResourceRootEnv, elsewhere.path.c_str(), 1);
  EXPECT_EQ(FileUtils::getInstance()->getDefaultResourceRootPath(), elsewhere.path);
  unsetenv(FileUtils::kResourceRootEnv);
  FileUtils::destroyInstance();
  std::string def = FileUtils::getInstance()->getDefaultResourceRootPath();
  EXPECT_EQ(def.substr(def.size() - 11), "/resources/");
}

TEST_F(FileUtilsTest, WritablePathOverridesAndDefault) {
  FileUtils::destroyInstance();
  setenv(FileUtils::kWritablePathEnv, (elsewhere.path + "w").c_str(), 1);
  EXPECT_EQ(FileUtils::getInstance()->getWritablePath(), elsewhere.path + "w/");
  EXPECT_TRUE(FileUtils::getInstance()->isDirectoryExist(elsewhere.path + "w"));
  unsetenv(FileUtils::kWritablePathEnv);

  FileUtils::destroyInstance();
  const char* oldXdg = getenv("XDG_DATA_HOME");
  std::string saved = oldXdg ? oldXdg : "";
  setenv("XDG_DATA_HOME", (elsewhere.path + "xdg").c_str(), 1);
  EXPECT_EQ(FileUtils::getInstance()->getWritablePath(), elsewhere.path + "xdg/fernwick/");
  if (oldXdg) setenv("XDG_DATA_HOME", saved.c_str(), 1);
  else unsetenv("XDG_DATA_HOME");

  FileUtils::getInstance()->setWritablePath(elsewhere.path + "set");
  EXPECT_EQ(FileUtils::getInstance()->getWritablePath(), elsewhere.path + "set/");
}

TEST_F(FileUtilsTest, FileAndFolderCalls) {
  const std::string base = elsewhere.path;
  EXPECT_TRUE(fu->createDirectory(base + "x/y/z"));
  EXPECT_TRUE(fu->isDirectoryExist(base + "x/y/z"));
  EXPECT_FALSE(fu->isFileExist(base + "x/y/z"));
  std::string binary("a\0b\xff", 4);
  writeFile(base + "x/y/file.bin", binary);
  writeFile(base + "x/empty", "");
  EXPECT_TRUE(fu->isFileExist(base + "x/y/file.bin"));
  EXPECT_EQ(fu->getFileSize(base + "x/y/file.bin"), 4);
  EXPECT_EQ(fu->getFileSize(base + "x/empty"), 0);
  EXPECT_EQ(fu->getFileSize(base + "nope"), -1);
  EXPECT_EQ(fu->getStringFromFile(base + "x/y/file.bin"), binary);
  Data d = fu->getDataFromFile(base + "x/y/file.bin");
  ASSERT_EQ(d.getSize(), 4);
  EXPECT_EQ(d.getBytes()[3], 0xff);
  EXPECT_TRUE(fu->getDataFromFile(base + "nope").isNull());
  EXPECT_EQ(fu->getStringFromFile(base + "x/empty"), "");

  // Reads go through the search paths too.
  writeFile(root.path + "UIRes/r.txt", "resource");
  fu->setSearchPaths({"UIRes"});
  EXPECT_EQ(fu->getStringFromFile("r.txt"), "resource");
  EXPECT_TRUE(fu->isFileExist("r.txt"));
  EXPECT_EQ(fu->getFileSize("r.txt"), 8);

  EXPECT_TRUE(fu->writeStringToFile("new", base + "x/w.txt"));
  EXPECT_EQ(fu->getStringFromFile(base + "x/w.txt"), "new");
  EXPECT_TRUE(fu->renameFile(base + "x", "w.txt", "w2.txt"));
  EXPECT_TRUE(fu->isFileExist(base + "x/w2.txt"));
  EXPECT_TRUE(fu->removeFile(base + "x/w2.txt"));
  EXPECT_FALSE(fu->removeFile(base + "x/w2.txt"));
  EXPECT_TRUE(fu->removeDirectory(base + "x"));
  EXPECT_FALSE(fu->isDirectoryExist(base + "x"));
  EXPECT_EQ(fu->getFileExtension("/a.b/Name.PLIST"), ".plist");
  EXPECT_EQ(fu->getFileExtension("/a.b/noext"), "");
}

TEST_F(FileUtilsTest, PlistEveryValueKindIntoValues) {
  const std::string plist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>name</key><string>Hot Iron &amp; co</string>
  <key>count</key><integer>-42</integer>
  <key>big</key><integer>9876543210</integer>
  <key>ratio</key><real>0.125</real>
  <key>on</key><true/>
  <key>off</key><false/>
  <key>when</key><date>2024-01-02T03:04:05Z</date>
  <key>blob</key><data>AAEC</data>
  <key>blank</key><string> </string>
  <key>empty</key><string></string>
  <key>Red</key>
  <array>
    <integer>0</integer>
    <integer>255</integer>
    <dict><key>inner</key><string>x</string></dict>
    <array/>
  </array>
  <key>nested</key><dict><key>deeper</key><dict><key>v</key><real>1e3</real></dict></dict>
</dict>
</plist>)";
  writeFile(root.path + "colors.plist", plist);
  for (int source = 0; source < 2; ++source) {
    ValueMap m = source == 0 ? fu->getValueMapFromFile("colors.plist")
                             : fu->getValueMapFromData(plist.data(), static_cast<int>(plist.size()));
    SCOPED_TRACE(source == 0 ? "file" : "data");
    ASSERT_EQ(m.size(), 12u);
    EXPECT_EQ(m["name"].asString(), "Hot Iron & co");
    EXPECT_EQ(m["count"].getType(), Value::Type::INTEGER);
    EXPECT_EQ(m["count"].asInt(), -42);
    EXPECT_DOUBLE_EQ(m["big"].asDouble(), 9876543210.0);
    EXPECT_EQ(m["ratio"].getType(), Value::Type::DOUBLE);
    EXPECT_DOUBLE_EQ(m["ratio"].asDouble(), 0.125);
    EXPECT_EQ(m["on"].getType(), Value::Type::BOOLEAN);
    EXPECT_TRUE(m["on"].asBool());
    EXPECT_FALSE(m["off"].asBool());
    EXPECT_EQ(m["when"].asString(), "2024-01-02T03:04:05Z");
    EXPECT_EQ(m["blob"].asString(), "AAEC");
    EXPECT_EQ(m["blank"].asString(), " ");
    EXPECT_EQ(m["empty"].asString(), "");
    const ValueVector& red = m["Red"].asValueVector();
    ASSERT_EQ(red.size(), 4u);
    EXPECT_EQ(red[1].asInt(), 255);
    EXPECT_EQ(red[2].asValueMap().at("inner").asString(), "x");
    EXPECT_EQ(red[3].getType(), Value::Type::VECTOR);
    EXPECT_DOUBLE_EQ(m["nested"].asValueMap().at("deeper").asValueMap().at("v").asDouble(), 1000.0);
  }
}

TEST_F(FileUtilsTest, MalformedPlistsGiveEmptyMaps) {
  const char* bad[] = {
      "<plist><dict><key>a</key><string>unclosed</dict></plist>",  // not well-formed
      "<plist><array><string>x</string></array></plist>",           // root is not a dict
      "<plist><dict><key>a</key><integer>12x</integer><integer>1</integer></dict></plist>",  // value without key
      "<plist><dict><key>a</key><integer>abc</integer></dict></plist>",  // not a number
      "not xml at all",
      "",
  };
  for (const char* text : bad) {
    EXPECT_TRUE(fu->getValueMapFromData(text, static_cast<int>(strlen(text))).empty()) << text;
  }
  EXPECT_TRUE(fu->getValueMapFromFile("absent.plist").empty());
  // Hostile nesting is refused instead of exhausting the stack.
  std::string deep = "<plist><dict><key>k</key>";
  for (int i = 0; i < 100000; ++i) deep += "<array>";
  for (int i = 0; i < 100000; ++i) deep += "</array>";
  deep += "</dict></plist>";
  EXPECT_TRUE(fu->getValueMapFromData(deep.data(), static_cast<int>(deep.size())).empty());
  // A root dict without the <plist> wrapper is accepted.
  const char* bare = "<dict><key>k</key><string>v</string></dict>";
  EXPECT_EQ(fu->getValueMapFromData(bare, static_cast<int>(strlen(bare)))["k"].asString(), "v");
}

namespace {
// PATH restricted to one folder for the scope of a test.
struct PathOverride {
  explicit PathOverride(const std::string& dir) : old(getenv("PATH") ? getenv("PATH") : "") {
    setenv("PATH", dir.c_str(), 1);
  }
  ~PathOverride() { setenv("PATH", old.c_str(), 1); }
  std::string old;
};
}  // namespace

TEST_F(FileUtilsTest, ChooseFileThroughDialogProgramOrHook) {
  TempDir bin;
  PathOverride path(bin.path);
  EXPECT_EQ(fu->chooseFile("/tmp"), "");  // no dialog program at all

  // zenity prints the choice and exits 0; on cancel it exits 1.
  writeFile(bin.path + "zenity",
            "#!/bin/sh\n[ \"$2\" = \"--filename=/data/cancel\" ] && exit 1\n"
            "echo \"/chosen/by zenity ($2)\"\n");
  chmod((bin.path + "zenity").c_str(), 0755);
  EXPECT_EQ(fu->chooseFile("/data/in"), "/chosen/by zenity (--filename=/data/in)");
  EXPECT_EQ(fu->chooseFile("/data/cancel"), "");

  fu->setFileChooser([](const std::string& initial) { return "hook:" + initial; });
  EXPECT_EQ(fu->chooseFile("x"), "hook:x");
  fu->setFileChooser(nullptr);
}
