#include "app/viewer/quickTool.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "imaging/view/isRenderWindow.h"
#include "imaging/viewers/isViewer.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace {

constexpr const char* kMaxPicture = "res/fullscreen.png";
constexpr const char* kRestorePicture = "res/fullscreen_exit.png";
constexpr const char* kLinkPicture = "res/link.png";
constexpr const char* kUnlinkPicture = "res/unlink.png";

struct ButtonEntry {
  const char* name;
  const char* picture;
  int offset;  // from the first button's x
};

// Creation order; the offsets give the order on screen (max, capture,
// favorite, info, link).
constexpr ButtonEntry kButtons[] = {
    {"max", kMaxPicture, 0},
    {"favorite", "res/favoriteBlue.png", 60},
    {"capture", "res/cameraBlue.png", 30},
    {"info", "res/dcmInfoBlue.png", 90},
    {"link", kLinkPicture, 120},
};

constexpr int kButtonZ = 500;
constexpr float kButtonScale = 0.5f;
// The buttons' row ends this far left of the bar's right edge.
constexpr float kRowInset = 155.0f;
constexpr float kLift = 5.0f;

NSUI::NSNotificationCenter* centre() { return NSUI::NSNotificationCenter::getInstance(); }

void showPicture(cocos2d::ui::Button* button, const char* picture) {
  button->loadTextures(picture, picture, picture);
}

std::string printed(float v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", static_cast<double>(v));
  return text;
}

}  // namespace

quickTool* quickTool::create() {
  auto* bar = new (std::nothrow) quickTool();
  if (!bar) return nullptr;
  if (!bar->init()) {
    delete bar;
    return nullptr;
  }
  bar->createButtons();
  bar->autorelease();
  return bar;
}

quickTool::~quickTool() {
  if (auto* nc = centre()) nc->removeAllObservers(this);
  buttons.clear();
}

bool quickTool::init() {
  if (!cocos2d::Node::init()) return false;
  windowId = 0;
  if (auto* nc = centre())
    nc->addObserver(
        this, nullptr,
        [this](cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
          onNotification(sender, id, data);
        },
        NOTIFY_MAXIMISE_STATE);
  return true;
}

void quickTool::createButtons() {
  for (const ButtonEntry& entry : kButtons) {
    auto* button = cocos2d::ui::Button::create(entry.picture, "", "");
    if (!button) continue;
    button->setName(entry.name);
    button->setScale(kButtonScale);
    button->setAnchorPoint(cocos2d::Vec2::ZERO);
    button->addClickEventListener([this](cocos2d::Ref* sender) { onButtonClicked(sender); });
    addChild(button, kButtonZ);
    buttons.pushBack(button);
  }
}

int quickTool::firstButtonX(float width) { return static_cast<int>(std::trunc(width - kRowInset)); }

void quickTool::attachToWindow(isImageSDK::isRenderWindow* window, bool linked) {
  if (!window) return;
  setContentSize(window->getContentSize());
  setAnchorPoint(cocos2d::Vec2::ZERO);
  const cocos2d::Mat4 world = window->getNodeToWorldTransform();
  setPosition(cocos2d::Vec2(world.m[12], world.m[13] + kLift));

  const int b = firstButtonX(getContentSize().width);
  for (const ButtonEntry& entry : kButtons)
    if (auto* button = getChildByName(entry.name)) button->setPosition(cocos2d::Vec2(b + entry.offset, 0.0f));

  if (auto* link = dynamic_cast<cocos2d::ui::Button*>(getChildByName("link"))) showLinkState(link, linked);
  windowId = window->getRefID();
  setVisible(true);
}

void quickTool::followWindow(isImageSDK::isRenderWindow* window, bool linked) {
  if (window && window->getRefID() == windowId) attachToWindow(window, linked);
}

void quickTool::showLinkState(cocos2d::ui::Button* link, bool linked) {
  link->setUserString(linked ? "1" : "0");
  showPicture(link, linked ? kLinkPicture : kUnlinkPicture);
}

bool quickTool::linkedStateOf(isImageSDK::isRenderWindow* window) {
  if (!window) return true;
  // A 2-D viewer is a viewer too, but its cell keeps the state.
  for (cocos2d::Node* n = window->getParent(); n; n = n->getParent())
    if (auto* holder = dynamic_cast<isImageSDK::isViewer*>(n)) return holder->linked;
  if (auto* self = dynamic_cast<isImageSDK::isViewer*>(window)) return self->linked;
  return true;
}

void quickTool::onButtonClicked(cocos2d::Ref* sender) {
  auto* button = dynamic_cast<cocos2d::ui::Button*>(sender);
  auto* nc = centre();
  if (!button || !nc) return;
  const std::string& name = button->getName();
  const bool bound = windowId != 0;
  const int task = static_cast<int>(windowId);

  if (name == "link") {
    if (!bound) return;
    auto* data = new NSUI::NSNotificationData();
    data->taskValue = task;
    const bool linkNow = button->getUserString() != "1";
    data->intValue = linkNow ? 1 : 0;
    showLinkState(button, linkNow);
    nc->postNotification(nullptr, NOTIFY_CELL_LINK, data, nullptr, false);
    data->release();
  } else if (name == "info") {
    nc->postNotification(nullptr, NOTIFY_SHOW_DICOM_MENU, nullptr, nullptr, false);
  } else if (name == "favorite") {
    nc->postNotification(nullptr, NOTIFY_QUICK_FAVOURITE, nullptr, nullptr, false);
  } else if (name == "capture") {
    if (!bound) return;
    nc->postNotificationTaskValue(NOTIFY_CELL_CAPTURE, task, false);
  } else if (name == "max") {
    if (!bound) return;
    auto* data = new NSUI::NSNotificationData();
    NSUI::UIJson::setJsonString(data->text, "x", printed(maxRect.x));
    NSUI::UIJson::setJsonString(data->text, "y", printed(maxRect.y));
    NSUI::UIJson::setJsonString(data->text, "w", printed(maxRect.w));
    NSUI::UIJson::setJsonString(data->text, "h", printed(maxRect.h));
    data->taskValue = task;
    nc->postNotification(nullptr, NOTIFY_CELL_MAXIMISE, data, nullptr, false);
    data->release();
  }
}

void quickTool::onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
  if (id != static_cast<unsigned int>(NOTIFY_MAXIMISE_STATE) || !data) return;
  auto* max = dynamic_cast<cocos2d::ui::Button*>(getChildByName("max"));
  if (!max) return;
  showPicture(max, data->intValue <= 0 ? kMaxPicture : kRestorePicture);
}
