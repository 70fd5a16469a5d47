#include "app/browse/favoriteList.h"

#include "engine/cocos2d.h"
#include "engine/ui/Button.h"

USING_NS_CC;

Scene* favoriteList::createScene() {
  Scene* scene = Scene::create();
  if (!scene) return nullptr;
  if (favoriteList* screen = favoriteList::create()) scene->addChild(screen);
  return scene;
}

favoriteList* favoriteList::create() {
  auto* screen = new favoriteList;
  if (!screen->init()) {
    delete screen;
    return nullptr;
  }
  screen->autorelease();
  return screen;
}

bool favoriteList::init() {
  if (!Layer::init()) return false;
  setName("favoriteList");
  const Size size = Director::getInstance()->getWinSize();
  setContentSize(size);
  addChild(LayerColor::create(Color4B(38, 44, 52, 255), size.width, size.height));
  if (auto* back = ui::Button::create("imgs/dcmBack.png", "imgs/dcmBackPressed.png")) {
    back->setName("goBack");
    back->setPosition(Vec2(30, size.height - 30));
    back->addClickEventListener([this](Ref* sender) { onButtonClicked(sender); });
    addChild(back, 1);
  }
  return true;
}

void favoriteList::onButtonClicked(Ref* sender) {
  auto* button = dynamic_cast<Node*>(sender);
  if (button && button->getName() == "goBack") Director::getInstance()->popScene();
}
