#include "app/viewer/editWW.h"

#include <cmath>
#include <cstdlib>

#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

USING_NS_CC;

namespace {

// {label in the panel, field name, placeholder key}.
struct FieldRow {
  const char* label;
  const char* field;
  const char* placeholder;
};
constexpr FieldRow kRows[] = {
    {"editWW_window", editWW::kWidthField, "editWWPrompt"},
    {"editWW_level", editWW::kLevelField, "editWLPrompt"},
    {"editWW_min", editWW::kMinField, "editMinPrompt"},
    {"editWW_max", editWW::kMaxField, "editMaxPrompt"},
};

const Color3B kFieldTextColour(22, 22, 22);
constexpr float kTouchWidth = 500.0f;
constexpr float kTouchHeight = 60.0f;

bool isFinite(float v) { return std::isfinite(v); }

}  // namespace

// ------------------------------------------------------------------ window

NSUI::NSResponseWindow* editWW::createWindow() {
  auto* window = NSUI::NSResponseWindow::create();
  if (!window) return nullptr;
  // The viewer screen opens the editor only while it has no child of this name.
  window->setName(kWindowName);
  auto* editor = editWW::create();
  if (!editor) return window;
  editor->enableAndroidReturnKey(true);
  editor->setupFields();
  window->addChild(editor);
  window->placePanel(editor->panel);
  return window;
}

bool editWW::init() {
  if (!Node::init()) return false;
  setWidget(this);
  setName(kViewName);
  if (Node* loaded = CSLoader::createNode(kPanelName)) {
    loaded->setName(kPanelName);
    addChild(loaded);
    panel = loaded;
  }
  return true;
}

void editWW::cleanup() {
  Node::cleanup();
  if (auto* centre = NSUI::NSNotificationCenter::getInstance()) centre->removeAllObservers(this);
}

// ------------------------------------------------------------------ fields

void editWW::setupFields() {
  if (!panel) return;
  if (auto* config = AppConfig::getInstance()) config->translateNode(panel, "");

  if (auto* back = dynamic_cast<ui::Button*>(panel->getChildByNameDeep(kBackName))) {
    back->setLocalZOrder(kBackZOrder);
    back->addClickEventListener([this](Ref* sender) { onButtonClicked(sender); });
  }

  for (const FieldRow& row : kRows) {
    Node* label = panel->getChildByNameDeep(row.label);
    if (!label) continue;
    NSUI::NSTextField* f = createTextField(NSUI::getLocalizedString(row.placeholder), Vec2::ZERO, kFieldFontSize,
                                           Vec2::ANCHOR_MIDDLE_LEFT);
    if (!f) continue;
    // Beside its label, in the label's own parent coordinates.
    label->getParent()->addChild(f);
    f->setPosition(label->getPosition() + Vec2(kFieldOffsetX, kFieldOffsetY));
    f->setContentSize(Size(kFieldWidth, static_cast<float>(kFieldFontSize + 4)));
    f->_touchRect = Rect(0, 0, kTouchWidth, kTouchHeight);
    f->_placeholderFontSize = kPlaceholderFontSize;
    f->_textColor = kFieldTextColour;
    f->_inputMode = NSUI::NSTextField::INPUT_SIGNED_DECIMAL;
    f->setName(row.field);
    f->setEventCallback([this](Ref* sender, NSUI::NSTextField::EventType type) { onFieldChanged(sender, type); });
  }
}

NSUI::NSTextField* editWW::field(const std::string& name) const {
  return panel ? dynamic_cast<NSUI::NSTextField*>(panel->getChildByNameDeep(name)) : nullptr;
}

std::string editWW::fieldText(double value) {
  std::string text = NSUI::formatFloat(static_cast<float>(value), kFieldDecimals);
  // A small negative value rounds to "-0".
  if (text == "-0") text = "0";
  return text;
}

void editWW::setField(const char* name, double value) {
  if (NSUI::NSTextField* f = field(name)) f->setString(fieldText(value));
}

editWW::Values editWW::readFields() const {
  auto read = [this](const char* name) {
    NSUI::NSTextField* f = field(name);
    return f ? static_cast<float>(std::atof(f->getString().c_str())) : 0.0f;
  };
  return {read(kWidthField), read(kLevelField), read(kMinField), read(kMaxField)};
}

void editWW::setWindowLevel(float width, float level) {
  // The same text as typing produces, so that fractional windows (float
  // data) keep their value instead of being rounded to whole numbers.
  const double w = width;
  const double l = level;
  setField(kWidthField, w);
  setField(kLevelField, l);
  setField(kMinField, l - w * 0.5);
  setField(kMaxField, l + w * 0.5);
}

void editWW::onFieldChanged(Ref* sender, NSUI::NSTextField::EventType) {
  auto* changed = dynamic_cast<NSUI::NSTextField*>(sender);
  if (!changed) return;
  const std::string& name = changed->getName();
  const Values v = readFields();
  if (name == kWidthField || name == kLevelField) {
    if (v.width > 0 && isFinite(v.width) && isFinite(v.level)) {
      setField(kMinField, static_cast<double>(v.level) - static_cast<double>(v.width) * 0.5);
      setField(kMaxField, static_cast<double>(v.level) + static_cast<double>(v.width) * 0.5);
    }
  } else if (name == kMinField || name == kMaxField) {
    if (v.max > v.min && isFinite(v.min) && isFinite(v.max)) {
      const double width = static_cast<double>(v.max) - static_cast<double>(v.min);
      setField(kWidthField, width);
      setField(kLevelField, static_cast<double>(v.min) + width * 0.5);
    }
  }
}

// ------------------------------------------------------------------ leaving

bool editWW::apply() {
  const Values v = readFields();
  // A number too long to hold (typed digits only) counts as no width.
  if (!(v.width > 0) || !isFinite(v.width) || !isFinite(v.level)) {
    showMessage(NSUI::getLocalizedString("editWWError"), kMessageSeconds);
    return false;
  }
  if (v.min > v.max) {
    showMessage(NSUI::getLocalizedString("editMinMaxError"), kMessageSeconds);
    return false;
  }
  std::string json;
  setJsonString(json, "ww", NSUI::formatString("%.6f", static_cast<double>(v.width)));
  setJsonString(json, "wl", NSUI::formatString("%.6f", static_cast<double>(v.level)));
  if (auto* centre = NSUI::NSNotificationCenter::getInstance())
    centre->postNotificationText(this, NOTIFY_WINDOW_APPLY, json, nullptr, false);
  return true;
}

bool editWW::onResponseReturn() {
  if (!apply()) return true;
  NSUI::NSResponseWindow::closeHolding(this);
  return true;
}

void editWW::onButtonClicked(Ref* sender) {
  auto* button = dynamic_cast<ui::Button*>(sender);
  if (button && button->getName() == kBackName) onResponseReturn();
}
