// Scene: the root of what the Director runs. Its content size is the window
// size and its anchor is ignored. It owns the default camera
// (orthographic over the window, z from -1024 to 1024, flag 1), which is not
// one of its children.
//
// Cameras placed anywhere in the scene register when they enter and leave
// when they exit. Rendering runs one pass per camera: the registered
// cameras in registration order, the default camera last, so that the
// default camera's 2-D interface lands over everything else.
#pragma once

#include <vector>

#include "engine/base/ccMacros.h"
#include "engine/2d/Node.h"

NS_CC_BEGIN

class Camera;
class Renderer;

class Scene : public Node {
 public:
  CREATE_FUNC(Scene)
  static Scene* createWithSize(const Size& size);

  Scene();
  ~Scene() override;
  bool init() override;
  bool initWithSize(const Size& size);

  Camera* getDefaultCamera() const { return _defaultCamera; }
  // The default camera first, then the registered ones in registration
  // order.
  std::vector<Camera*> getCameras() const;

  // Renders every camera pass of this scene (the Director calls it at step
  // 4 of a frame, between the renderer's beginFrame and endFrame).
  virtual void render(Renderer* renderer);

  // node is a visible child already. It is hidden after `seconds` (a timer
  // keyed on the scene) and stays a child. A new call restarts the timer
  // and at once hides any other message node.
  void setMessageNode(Node* node, float seconds);
  Node* getMessageNode() const { return _messageNode; }

  // The back key reached the scene: pops it when the stack holds more than
  // one scene, else returns false.
  bool onResponseReturn() override;

  void onEnter() override;
  void onExit() override;
  void cleanup() override;
  void collectVisitOrder(std::vector<Node*>& out) override;

  // (ours) Camera registration, called by Camera::onEnter/onExit.
  void addCamera(Camera* camera);
  void removeCamera(Camera* camera);

 protected:
  Camera* _defaultCamera = nullptr;    // owned
  std::vector<Camera*> _cameras;       // registered, not retained
  Node* _messageNode = nullptr;        // retained
};

NS_CC_END
