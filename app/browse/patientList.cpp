#include "app/browse/patientList.h"

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSLanguage.h"

USING_NS_CC;

Scene* patientList::createScene() {
  Scene* scene = Scene::create();
  if (!scene) return nullptr;
  if (patientList* screen = patientList::create()) scene->addChild(screen);
  return scene;
}

patientList* patientList::create() {
  auto* screen = new patientList;
  if (!screen->init()) {
    delete screen;
    return nullptr;
  }
  screen->autorelease();
  return screen;
}

bool patientList::init() {
  if (!Layer::init()) return false;
  const Size size = Director::getInstance()->getWinSize();
  setContentSize(size);
  auto* background = LayerColor::create(Color4B(38, 44, 52, 255), size.width, size.height);
  addChild(background);
  auto* title = Label::createWithSystemFont(NSUI::getLocalizedString("appName"), "", 48);
  title->setName("appName");
  title->setTextColor(Color4B(235, 240, 245, 255));
  title->setAnchorPoint(Vec2(0.5f, 0.5f));
  title->setPosition(Vec2(size.width / 2, size.height / 2));
  addChild(title);
  return true;
}
