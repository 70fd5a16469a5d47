// Relabelling a widget tree from the localisation table by widget names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "engine/cocos2d.h"
#include "headless_stage.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/widgets/NSTextField.h"
#include "toolkit/widgets/UIScrollViewBase.h"

USING_NS_CC;
using NSUI::NSTextField;

namespace {

// What a rich text shows, element by element.
std::string shown(NSTextField* f) {
  std::string s;
  for (int i = 0; i < f->getElementCount(); ++i) s += dynamic_cast<Label*>(f->getElement(i)->node)->getString();
  return s;
}

template <class T>
T* named(T* widget, const std::string& name) {
  widget->setName(name);
  return widget;
}

class Translate : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("LC_ALL", "en_GB.UTF-8", 1);
    path = dir.path + "language.dat";
    // A plain property list (the table also reads one that is not base64).
    std::ofstream(path) << R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>english</key><dict>
    <key>appName</key><string>Fernwick</string>
    <key>ok</key><string>OK</string>
    <key>title</key><string>Patients</string>
    <key>search</key><string>Search patients</string>
    <key>typed</key><string>Patient name</string>
    <key>login_ok</key><string>Sign in</string>
    <key>empty</key><string></string>
  </dict>
</dict></plist>)";
    table.fileName = path;
    table.load();
    ASSERT_EQ(table.getString("ok"), "OK");
  }
  void TearDown() override { unsetenv("LC_ALL"); }

  NSTextField* field(const std::string& name, const std::string& placeholder) {
    NSTextField* f = NSTextField::create(placeholder, Size(300, 30));
    f->setName(name);
    f->_placeholderFontSize = 18;
    f->_placeholderColor = Color3B(120, 130, 140);
    return f;
  }

  HeadlessStage stage;
  ScratchDir dir;
  std::string path;
  NSUI::NSLanguage table;
};

}  // namespace

TEST_F(Translate, EachKindIsRelabelledByItsNameAndOnlyWhereATranslationExists) {
  Node* root = named(Node::create(), "appName");  // the given node itself keeps everything
  auto* title = named(ui::Text::create("old", "", 20), "appName");
  auto* untranslated = named(ui::Text::create("keep", "", 20), "empty");
  auto* unknown = named(ui::Text::create("as loaded", "", 20), "noSuchKey");
  auto* textWithButton = named(ui::Text::create("old", "", 20), "title");
  auto* hiddenButton = named(ui::Button::create(), "ok");
  hiddenButton->setTitleText("inside a text");
  textWithButton->addChild(hiddenButton);
  Node* panel = Node::create();
  auto* button = named(ui::Button::create(), "ok");
  button->setTitleText("old");
  panel->addChild(button);
  auto* scroll = NSUI::UIScrollViewBase::create();
  NSTextField* placeholderField = field("search", "old hint");
  scroll->addChild(placeholderField);
  NSTextField* typedField = field("typed", "old hint");
  for (Node* n : std::initializer_list<Node*>{title, untranslated, unknown, textWithButton, panel, scroll, typedField})
    root->addChild(n);
  stage.scene->addChild(root);
  typedField->setString("Ana");

  table.translateNode(root, "");

  EXPECT_EQ(title->getString(), "Fernwick");
  EXPECT_EQ(untranslated->getString(), "keep");
  EXPECT_EQ(unknown->getString(), "as loaded");
  EXPECT_EQ(textWithButton->getString(), "Patients");
  EXPECT_EQ(hiddenButton->getTitleText(), "inside a text") << "a text widget's children are not visited";
  EXPECT_EQ(button->getTitleText(), "OK") << "found inside a plain node";
  // A field inside a scroll panel, showing its placeholder: redrawn in the
  // placeholder's font, size and colour.
  EXPECT_EQ(placeholderField->getPlaceHolder(), "Search patients");
  EXPECT_EQ(shown(placeholderField), "Search patients");
  EXPECT_TRUE(placeholderField->isShowingPlaceholder());
  auto* first = dynamic_cast<Label*>(placeholderField->getElement(0)->node);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->getColor(), Color3B(120, 130, 140));
  EXPECT_EQ(first->getSystemFontSize(), 18);
  // A field with typed text keeps it; only the placeholder text changes.
  EXPECT_EQ(typedField->getPlaceHolder(), "Patient name");
  EXPECT_EQ(shown(typedField), "Ana");
  EXPECT_FALSE(typedField->isShowingPlaceholder());
}

TEST_F(Translate, ThePrefixLeadsTheKeyAndTheGivenNodeIsNotRelabelled) {
  auto* root = named(ui::Text::create("root", "", 20), "ok");
  auto* button = named(ui::Button::create(), "ok");
  button->setTitleText("old");
  root->addChild(button);
  stage.scene->addChild(root);

  table.translateNode(root, "login_");
  EXPECT_EQ(button->getTitleText(), "Sign in");
  EXPECT_EQ(root->getString(), "root");

  table.translateNode(root, "nobody_");
  EXPECT_EQ(button->getTitleText(), "Sign in") << "no translation: unchanged";
}

TEST_F(Translate, AnUnloadedTableChangesNothing) {
  NSUI::NSLanguage empty;
  Node* root = Node::create();
  auto* text = named(ui::Text::create("as loaded", "", 20), "appName");
  root->addChild(text);
  empty.translateNode(root, "");
  empty.translateNode(nullptr, "");
  EXPECT_EQ(text->getString(), "as loaded");
}
