// An actor puts one kind of content into a render window: it keeps the nodes
// that make up its picture and hands them to the window when it is attached,
// so that it can build them before it knows its window.
#pragma once

#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/isObject.h"

namespace isImageSDK {

class isRenderWindowBase;

class isActorObject : public isObject {
 public:
  ~isActorObject() override;

  // Observers, nodes and window released; lists emptied.
  void clear() override;
  bool init() override;
  // Once only: a second window is ignored.
  virtual void attach(isRenderWindowBase* window);
  virtual void setVisible(bool value) { visible = value; }

  // A plain child of the window.
  void addNode(cocos2d::Node* node);
  // A scene node of the window (drawn by its scene camera).
  void addRenderNode(cocos2d::Node* node);
  // Takes the nodes back from the window; lists and window reference stay.
  void detach();

  isRenderWindowBase* getRenderWindow() const { return renderWindow; }
  bool isVisible() const { return visible; }
  const std::vector<cocos2d::Node*>& getChildNodes() const { return childNodes; }
  const std::vector<cocos2d::Node*>& getSceneNodes() const { return sceneNodes; }

 protected:
  isActorObject() = default;

  std::vector<cocos2d::Node*> childNodes;  // retained
  std::vector<cocos2d::Node*> sceneNodes;  // retained
  std::vector<cocos2d::Node*> visitNodes;  // retained
  isRenderWindowBase* renderWindow = nullptr;  // retained
  bool visible = true;
};

}  // namespace isImageSDK
