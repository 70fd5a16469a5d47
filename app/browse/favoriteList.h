// The favourites screen.
//
// Stand-in: the favourite list and its viewer are not built yet. createScene
// gives a plain scene with a back button ("goBack") that pops it; the real
// favourites screen replaces this file and keeps createScene.
#pragma once

#include "engine/2d/Layer.h"
#include "engine/2d/Scene.h"

class favoriteList : public cocos2d::Layer {
 public:
  // A new autoreleased scene holding the screen, named "favoriteList".
  static cocos2d::Scene* createScene();
  static favoriteList* create();

  bool init() override;
  // "goBack": pops the running scene.
  void onButtonClicked(cocos2d::Ref* sender);
};
