#pragma once

#include <string>
#include <vector>

#include "engine/cocos2d.h"

// A node that logs its lifecycle callbacks as "<name>:<callback>".
class LogNode : public cocos2d::Node {
 public:
  static LogNode* create(const std::string& name, std::vector<std::string>* log) {
    auto* n = new LogNode;
    n->setName(name);
    n->_log = log;
    n->autorelease();
    return n;
  }
  void onEnter() override { add("enter"); Node::onEnter(); }
  void onEnterTransitionDidFinish() override { add("didFinish"); Node::onEnterTransitionDidFinish(); }
  void onExitTransitionDidStart() override { add("exitStart"); Node::onExitTransitionDidStart(); }
  void onExit() override { add("exit"); Node::onExit(); }
  void cleanup() override { add("cleanup"); Node::cleanup(); }
  ~LogNode() override { add("destroyed"); }

 private:
  void add(const char* what) {
    if (_log) _log->push_back(getName() + ":" + what);
  }
  std::vector<std::string>* _log = nullptr;
};

class LogScene : public cocos2d::Scene {
 public:
  static LogScene* create(const std::string& name, std::vector<std::string>* log) {
    auto* s = new LogScene;
    s->setName(name);
    s->_log = log;
    if (!s->init()) { delete s; return nullptr; }
    s->autorelease();
    return s;
  }
  void onEnter() override { add("enter"); Scene::onEnter(); }
  void onEnterTransitionDidFinish() override { add("didFinish"); Scene::onEnterTransitionDidFinish(); }
  void onExitTransitionDidStart() override { add("exitStart"); Scene::onExitTransitionDidStart(); }
  void onExit() override { add("exit"); Scene::onExit(); }
  void cleanup() override { add("cleanup"); Scene::cleanup(); }
  ~LogScene() override { add("destroyed"); }

 private:
  void add(const char* what) {
    if (_log) _log->push_back(getName() + ":" + what);
  }
  std::vector<std::string>* _log = nullptr;
};

// A headless Director with a 800x600 view; destroyed afterwards.
struct HeadlessEngine {
  HeadlessEngine() {
    cocos2d::Director::getInstance()->setOpenGLView(cocos2d::GLViewImpl::createHeadless(cocos2d::Size(800, 600)));
  }
  ~HeadlessEngine() { cocos2d::Director::destroyInstance(); }
  cocos2d::Director* director() const { return cocos2d::Director::getInstance(); }
  cocos2d::GLView* view() const { return director()->getOpenGLView(); }
  // Runs scene and steps one frame so that it is running.
  void run(cocos2d::Scene* scene) {
    director()->runWithScene(scene);
    director()->stepFrame();
  }
};
