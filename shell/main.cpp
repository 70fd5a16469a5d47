// The program entry. The program takes no arguments.
#include "engine/cocos2d.h"
#include "shell/AppDelegate.h"

int main(int /*argc*/, char** /*argv*/) {
  AppDelegate app;
  cocos2d::Ref::enableCheckMemory();
  cocos2d::Ref::setLeakID(256);
  return cocos2d::Application::getInstance()->run();
}
