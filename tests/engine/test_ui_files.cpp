// The UI-file loader (a small fixture: names, kinds, sizes, positions,
// anchors, parents; the failures a typo causes; the cache) and the lint
// over every UI file the build ships plus the engine demo's.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "support_engine.h"
#include "support_scene.h"

USING_NS_CC;
namespace fs = std::filesystem;

namespace {

// The element name a node was built from.
std::string kindOf(Node* n) {
  if (dynamic_cast<ui::Layout*>(n)) return "Layout";
  if (dynamic_cast<ui::Button*>(n)) return "Button";
  if (dynamic_cast<ui::ImageView*>(n)) return "ImageView";
  if (dynamic_cast<ui::Text*>(n)) return "Text";
  if (dynamic_cast<ui::TextField*>(n)) return "TextField";
  if (dynamic_cast<ui::CheckBox*>(n)) return "CheckBox";
  if (dynamic_cast<ui::Slider*>(n)) return "Slider";
  if (dynamic_cast<Sprite*>(n) || dynamic_cast<ui::Scale9Sprite*>(n)) return "Sprite";
  return "Node";
}

std::string uiFile(const std::string& body) { return "<?xml version=\"1.0\"?>\n<ui version=\"1\">" + body + "</ui>\n"; }

class UiFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    cocostudio::destroyCocosStudio();
    FileUtils::getInstance()->setSearchPaths({dir.path});
    std::vector<unsigned char> px(16 * 8 * 4, 255);
    Image img;
    img.initWithRawData(px.data(), static_cast<ssize_t>(px.size()), 16, 8, 8);
    img.saveToFile(dir.path + "pic.png", false);
  }
  void TearDown() override {
    cocostudio::destroyCocosStudio();
    FileUtils::destroyInstance();
  }
  Node* load(const std::string& name, const std::string& content, std::string* error = nullptr) {
    writeFile(dir.path + name, content);
    return CSLoader::createNodeWithError(name, error);
  }

  HeadlessEngine engine;
  TempDir dir;
};

}  // namespace

TEST_F(UiFiles, BuildsTheTree) {
  const std::string file = uiFile(R"(
    <Layout name="root" size="400,300" bgColor="10,20,30" bgOpacity="200" clip="true">
      <Node name="group" pos="10,20" scale="2,3" rotation="15" z="4" tag="7">
        <Sprite name="pic" image="pic.png" anchor="0,1" pos="1,2"/>
      </Node>
      <ImageView name="image" image="pic.png" scale9="true" capInsets="2,2,4,4" size="50,40"/>
      <Button name="ok" normal="pic.png" title="OK" titleSize="12" pos="100,50" touch="false"/>
      <Text name="label" text="Hello" fontSize="20" color="255,0,0,128" hAlign="right" visible="false"/>
      <TextField name="field" placeholder="Type" fontSize="14"/>
      <CheckBox name="check" background="pic.png" mark="pic.png" selected="true"/>
      <Slider name="slider" bar="pic.png" ball="pic.png" percent="30" opacity="100"/>
      <Layout name="corner" size="20,10" align="9" margin="0,0,5,6" anchor="0.5,0.5"/>
      <Layout name="half" sizePercent="0.5,0.5" posPercent="0.5,0"/>
    </Layout>)");
  Node* root = load("screen.csb", file);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->getName(), "root");
  const struct {
    const char* name;
    const char* kind;
    const char* parent;
    Size size;
    Vec2 pos;
    Vec2 anchor;
  } rows[] = {
      {"group", "Node", "root", Size(0, 0), Vec2(10, 20), Vec2(0, 0)},
      {"pic", "Sprite", "group", Size(16, 8), Vec2(1, 2), Vec2(0, 1)},
      {"image", "ImageView", "root", Size(50, 40), Vec2(0, 0), Vec2(0.5f, 0.5f)},
      {"ok", "Button", "root", Size(16, 8), Vec2(100, 50), Vec2(0.5f, 0.5f)},
      {"check", "CheckBox", "root", Size(16, 8), Vec2(0, 0), Vec2(0.5f, 0.5f)},
      {"slider", "Slider", "root", Size(16, 8), Vec2(0, 0), Vec2(0.5f, 0.5f)},
      {"corner", "Layout", "root", Size(20, 10), Vec2(385, 11), Vec2(0.5f, 0.5f)},
      {"half", "Layout", "root", Size(200, 150), Vec2(200, 0), Vec2(0, 0)},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    Node* n = root->getChildByNameDeep(r.name);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(kindOf(n), r.kind);
    EXPECT_EQ(n->getParent()->getName(), r.parent);
    EXPECT_EQ(n->getContentSize(), r.size);
    EXPECT_EQ(n->getPosition(), r.pos);
    EXPECT_EQ(n->getAnchorPoint(), r.anchor);
  }
  auto* layout = static_cast<ui::Layout*>(root);
  EXPECT_TRUE(layout->isClippingEnabled());
  EXPECT_EQ(layout->getBackGroundColor(), Color3B(10, 20, 30));
  EXPECT_EQ(layout->getBackGroundColorOpacity(), 200);
  Node* group = root->getChildByName("group");
  EXPECT_EQ(group->getScaleY(), 3);
  EXPECT_EQ(group->getRotation(), 15);
  EXPECT_EQ(group->getLocalZOrder(), 4);
  EXPECT_EQ(group->getTag(), 7);
  auto* ok = static_cast<ui::Button*>(root->getChildByName("ok"));
  EXPECT_EQ(ok->getTitleText(), "OK");
  EXPECT_FALSE(ok->isTouchEnabled());
  auto* text = static_cast<ui::Text*>(root->getChildByName("label"));
  EXPECT_EQ(text->getString(), "Hello");
  EXPECT_EQ(text->getFontSize(), 20);
  EXPECT_EQ(text->getTextColor(), Color4B(255, 0, 0, 128));
  EXPECT_EQ(text->getTextHorizontalAlignment(), TextHAlignment::RIGHT);
  EXPECT_FALSE(text->isVisible());
  EXPECT_EQ(static_cast<ui::TextField*>(root->getChildByName("field"))->getPlaceHolder(), "Type");
  EXPECT_TRUE(static_cast<ui::CheckBox*>(root->getChildByName("check"))->isSelected());
  EXPECT_EQ(static_cast<ui::Slider*>(root->getChildByName("slider"))->getPercent(), 30);
  EXPECT_EQ(root->getChildByName("slider")->getOpacity(), 100);

  // Every call gives a fresh tree.
  Node* again = CSLoader::createNode("screen.csb", true);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, root);
}

TEST_F(UiFiles, Failures) {
  const struct {
    const char* what;
    std::string content;
    const char* error;  // part of the reason
  } cases[] = {
      {"unknown attribute", uiFile(R"(<Node name="a" positon="1,2"/>)"), "positon"},
      {"unknown element", uiFile(R"(<Node><Buton/></Node>)"), "unknown element"},
      {"attribute of another kind", uiFile(R"(<Text title="x"/>)"), "title"},
      {"widget attribute on a plain node", uiFile(R"(<Node touch="true"/>)"), "touch"},
      {"name used twice", uiFile(R"(<Node name="a"><Node name="a"/></Node>)"), "twice"},
      {"bad number", uiFile(R"(<Node pos="1,x"/>)"), "pos"},
      {"too many numbers", uiFile(R"(<Node pos="1,2,3"/>)"), "pos"},
      {"bad colour", uiFile(R"(<Node color="300,0,0"/>)"), "color"},
      {"align out of range", uiFile(R"(<Layout align="10"/>)"), "align"},
      {"margin without align", uiFile(R"(<Layout margin="1,2,3,4"/>)"), "margin"},
      {"bad boolean", uiFile(R"(<Layout clip="yes"/>)"), "clip"},
      {"two roots", uiFile(R"(<Node/><Node/>)"), "exactly one"},
      {"no version", "<ui><Node/></ui>", "version"},
      {"wrong root", "<layout><Node/></layout>", "<ui>"},
      {"not XML", "<ui version=\"1\"><Node></ui>", "XML"},
      {"stray text", uiFile(R"(<Node>oops</Node>)"), "text"},
  };
  int i = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    EXPECT_EQ(load("bad" + std::to_string(i++) + ".csb", c.content, &error), nullptr);
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  EXPECT_EQ(CSLoader::createNode("nowhere.csb"), nullptr);
}

TEST_F(UiFiles, MissingPictureLeavesTheWidgetWithoutIt) {
  Node* root = load("p.csb", uiFile(R"(<Layout><ImageView name="i" image="gone.png"/><Sprite name="s" image="gone.png"/>
                                     <Button name="b" normal="gone.png" title="T"/></Layout>)"));
  ASSERT_NE(root, nullptr);
  EXPECT_FALSE(static_cast<ui::ImageView*>(root->getChildByName("i"))->hasTexture());
  EXPECT_EQ(static_cast<Sprite*>(root->getChildByName("s"))->getTexture(), nullptr);
  EXPECT_GT(root->getChildByName("b")->getContentSize().width, 0);  // sized by its title
  std::vector<std::string> pictures;
  ASSERT_TRUE(CSLoader::collectPictures("p.csb", &pictures));
  EXPECT_EQ(pictures, (std::vector<std::string>{"gone.png", "gone.png", "gone.png"}));
}

TEST_F(UiFiles, ParsedFilesAreCachedUntilDestroyCocosStudio) {
  ASSERT_NE(load("c.csb", uiFile(R"(<Node name="first"/>)")), nullptr);
  writeFile(dir.path + "c.csb", uiFile(R"(<Node name="second"/>)"));
  EXPECT_EQ(CSLoader::createNode("c.csb")->getName(), "first");
  cocostudio::destroyCocosStudio();
  EXPECT_EQ(CSLoader::createNode("c.csb")->getName(), "second");
}

// Every UI file of the resource tree and the demo's loads, every picture it
// names resolves, and the names screens look up exist with the expected
// kind.
TEST(UiFileLint, EveryUiFileLoads) {
  HeadlessEngine engine;
  const std::string resources = std::string(FW_BINARY_DIR) + "/resources/";
  ASSERT_TRUE(fs::is_directory(resources + "res")) << "the build assembles " << resources;
  FileUtils::getInstance()->setDefaultResourceRootPath(resources);
  FileUtils::getInstance()->setSearchPaths({"res/pad/"});
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(resources))
    if (e.is_regular_file() && e.path().extension() == ".csb") files.push_back(e.path().string());
  const std::string demo = std::string(FW_SOURCE_DIR) + "/tools/enginedemo/panel.csb";
  files.push_back(demo);
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    std::string error;
    EXPECT_NE(CSLoader::createNodeWithError(f, &error), nullptr) << error;
    std::vector<std::string> pictures;
    ASSERT_TRUE(CSLoader::collectPictures(f, &pictures, &error)) << error;
    for (const std::string& p : pictures) EXPECT_NE(FileUtils::getInstance()->fullPathForFilename(p), "") << p;
  }

  // {UI file, name a screen looks up, kind}.
  const struct {
    std::string file;
    const char* name;
    const char* kind;
  } lookups[] = {
      {demo, "pictureButton", "Button"}, {demo, "slider", "Slider"},  {demo, "check", "CheckBox"},
      {demo, "field", "TextField"},      {demo, "clip", "Layout"},     {demo, "arabic", "Text"},
      {demo, "nineSprite", "Sprite"},    {demo, "image", "ImageView"},
      // The query and retrieve screen.
      {"dcmFind.csb", "btn_back", "Button"},
      {"dcmFind.csb", "btnSearch", "Button"},
      {"dcmFind.csb", "editIP", "TextField"},
      {"dcmFind.csb", "editPort", "TextField"},
      {"dcmFind.csb", "editTitle", "TextField"},
      {"dcmFind.csb", "editPatient", "TextField"},
      {"dcmFind.csb", "help", "Node"},
      {"dcmFindPatient.csb", "name", "Text"},
      {"dcmFindPatient.csb", "id", "Text"},
      {"dcmFindPatient.csb", "sex", "Text"},
      {"dcmFindPatient.csb", "birthday", "Text"},
      {"dcmFindPatient.csb", "hospital", "Text"},
      {"dcmFindPatient.csb", "studyid", "Text"},
      {"dcmFindPatient.csb", "studydate", "Text"},
      {"dcmFindPatient.csb", "desc", "Text"},
      {"dcmFindSeries.csb", "seriesid", "Text"},
      {"dcmFindSeries.csb", "modality", "Text"},
      {"dcmFindSeries.csb", "number", "Text"},
      {"dcmFindSeries.csb", "desc", "Text"},
      {"dcmFindSeries.csb", "labelImages", "Text"},
      {"dcmFindSeries.csb", "btnDownload", "Button"},
      // The send window: panel, node row, transfer row, swipe menu.
      {"dcmNode.csb", "list", "Layout"}, {"dcmNode.csb", "sending", "Layout"},
      {"dcmNode.csb", "dcmNode_send", "Button"}, {"dcmNode.csb", "btn_back", "Button"},
      {"dcmNodeInfo.csb", "name", "Text"}, {"dcmNodeInfo.csb", "ip", "Text"},
      {"dcmNodeInfo.csb", "last", "Text"}, {"dcmNodeInfo.csb", "device", "ImageView"},
      {"dcmNodeInfo.csb", "wifi", "ImageView"}, {"dcmNodeInfo.csb", "save", "Button"},
      {"dcmNodeSendInfo.csb", "ip", "Text"}, {"dcmNodeSendInfo.csb", "path", "Text"},
      {"dcmNodeSendInfo.csb", "ratio", "Text"}, {"dcmNodeSendInfo.csb", "dcmNodeSend_retry", "Button"},
      {"dcmNodeSendTool.csb", "del", "Button"},
      // The window width and level editor.
      {"editWW.csb", "btn_back", "Button"}, {"editWW.csb", "editWW_title", "Text"},
      {"editWW.csb", "editWW_window", "Text"}, {"editWW.csb", "editWW_level", "Text"},
      {"editWW.csb", "editWW_min", "Text"}, {"editWW.csb", "editWW_max", "Text"},
      // The tag viewer: panel and row.
      {"dcmInfo.csb", "dcmList", "Layout"}, {"dcmInfo.csb", "btn_back", "Button"},
      {"dcmInfo.csb", "dcmInfo_title", "Text"},
      {"tagInfo.csb", "tag", "Text"}, {"tagInfo.csb", "intro", "Text"}, {"tagInfo.csb", "value", "Text"},
      // The account panel and its plain page.
      {"login.csb", "bk", "ImageView"},   {"login.csb", "goBack", "Button"}, {"login.csb", "change", "Button"},
      {"login.csb", "send", "Button"},    {"login.csb", "login", "Button"},  {"login.csb", "loginTitle", "Text"},
      {"bkScene.csb", "title", "Text"},   {"bkScene.csb", "goBack", "Button"},
      // The viewer screen: frame, tool pages, message panel and phase strip.
      {"singleViewPC.csb", "tool", "Layout"}, {"singleViewPC.csb", "goBack", "Button"},
      {"singleViewPC.csb", "btnCmdToolbox", "Button"}, {"singleViewPC.csb", "btnCmdFavorite", "Button"},
      {"singleViewPC.csb", "Image_5", "ImageView"}, {"singleViewPC.csb", "selectLine", "ImageView"},
      {"2DTool.csb", "btnTile1x1", "Button"}, {"2DTool.csb", "btnTile1x2", "Button"},
      {"2DTool.csb", "btnTile2x1", "Button"}, {"2DTool.csb", "btnTile2x2", "Button"},
      {"2DTool.csb", "btnCmdSelection", "Button"}, {"2DTool.csb", "btnCmdMove", "Button"},
      {"2DTool.csb", "btnCmdZoom", "Button"}, {"2DTool.csb", "btnCmdPlay", "Button"},
      {"2DTool.csb", "btnCmdPrior", "Button"}, {"2DTool.csb", "btnCmdNext", "Button"},
      {"2DTool.csb", "btnCmdWL", "Button"}, {"2DTool.csb", "btnCmdClut", "Button"},
      {"2DTool.csb", "btnCmdPoint", "Button"}, {"2DTool.csb", "btnCmdLine", "Button"},
      {"2DTool.csb", "btnCmdAngle", "Button"}, {"2DTool.csb", "btnCmdPolygon", "Button"},
      {"2DTool.csb", "btnCmdCircle", "Button"}, {"2DTool.csb", "btnCmdRemoveROI", "Button"},
      {"2DTool.csb", "btnCmdCapture", "Button"}, {"2DTool.csb", "sliderSlice", "Slider"},
      {"2DTool.csb", "roiList", "Layout"},
      {"3DTool.csb", "btnViewAxial", "Button"}, {"3DTool.csb", "btnViewSagittal", "Button"},
      {"3DTool.csb", "btnViewCoronal", "Button"}, {"3DTool.csb", "btnViewVR", "Button"},
      {"3DTool.csb", "btnTile1x1", "Button"}, {"3DTool.csb", "btnTile1x2", "Button"},
      {"3DTool.csb", "btnTile2x1", "Button"}, {"3DTool.csb", "btnTile2x2", "Button"},
      {"3DTool.csb", "btnCmdSelection", "Button"}, {"3DTool.csb", "btnCmdMove", "Button"},
      {"3DTool.csb", "btnCmdZoom", "Button"}, {"3DTool.csb", "btnCmdWL", "Button"},
      {"3DTool.csb", "btnCmdClut", "Button"}, {"3DTool.csb", "btnCmdPoint", "Button"},
      {"3DTool.csb", "btnCmdLine", "Button"}, {"3DTool.csb", "btnCmdAngle", "Button"},
      {"3DTool.csb", "btnCmdPolygon", "Button"}, {"3DTool.csb", "btnCmdCircle", "Button"},
      {"3DTool.csb", "btnCmdRemoveROI", "Button"}, {"3DTool.csb", "btnCmdCapture", "Button"},
      {"3DTool.csb", "sliderSlice", "Slider"},
      {"3DVRTool.csb", "btnViewAxial", "Button"}, {"3DVRTool.csb", "btnViewSagittal", "Button"},
      {"3DVRTool.csb", "btnViewCoronal", "Button"}, {"3DVRTool.csb", "btnViewVR", "Button"},
      {"3DVRTool.csb", "btnCmdRotate", "Button"}, {"3DVRTool.csb", "btnCmdMove", "Button"},
      {"3DVRTool.csb", "btnCmdZoom", "Button"}, {"3DVRTool.csb", "btnCmdPlay", "Button"},
      {"3DVRTool.csb", "btnCmdOriS", "Button"}, {"3DVRTool.csb", "btnCmdOriI", "Button"},
      {"3DVRTool.csb", "btnCmdOriA", "Button"}, {"3DVRTool.csb", "btnCmdOriP", "Button"},
      {"3DVRTool.csb", "btnCmdOriR", "Button"}, {"3DVRTool.csb", "btnCmdOriL", "Button"},
      {"3DVRTool.csb", "btnCmdWL", "Button"}, {"3DVRTool.csb", "btnCmdClut", "Button"},
      {"3DVRTool.csb", "btnCmdWLOpaticy", "Button"}, {"3DVRTool.csb", "btnCmdCapture", "Button"},
      {"3DVRTool.csb", "sliderSlice", "Slider"},
      {"noSupport.csb", "intro", "Text"},
      {"4dPlay.csb", "btn4DPrior", "Button"}, {"4dPlay.csb", "btn4DNext", "Button"},
      {"4dPlay.csb", "btn4DMenu", "Button"},
  };
  for (const auto& l : lookups) {
    SCOPED_TRACE(l.file + " " + l.name);
    Node* root = CSLoader::createNode(l.file);
    ASSERT_NE(root, nullptr);
    Node* n = root->getName() == l.name ? root : root->getChildByNameDeep(l.name);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(kindOf(n), l.kind);
  }

  // The viewer looks the favourites button up among the root's own children
  // and scrolls a tool page that does not fit a 1280 x 800 window below the
  // 60-unit bar in its 300-unit column.
  Node* frame = CSLoader::createNode("singleViewPC.csb");
  ASSERT_NE(frame, nullptr);
  EXPECT_NE(frame->getChildByName("btnCmdFavorite"), nullptr);
  EXPECT_EQ(frame->getChildByNameDeep("tool")->getContentSize().width, 300);
  for (const char* page : {"2DTool.csb", "3DTool.csb", "3DVRTool.csb"}) {
    SCOPED_TRACE(page);
    Node* root = CSLoader::createNode(page);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->getContentSize().width, 300);
    EXPECT_GT(root->getContentSize().height, 740);
  }
  cocostudio::destroyCocosStudio();
}
