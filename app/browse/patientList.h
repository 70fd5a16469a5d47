// The home screen.
//
// Stand-in: the patient table, the import and the example data are not
// built yet. createScene gives a plain scene that shows the program's
// localised name; the real home screen replaces this file and keeps
// createScene.
#pragma once

#include "engine/2d/Layer.h"
#include "engine/2d/Scene.h"

class patientList : public cocos2d::Layer {
 public:
  // A new autoreleased scene holding the home screen.
  static cocos2d::Scene* createScene();
  static patientList* create();

  bool init() override;
};
