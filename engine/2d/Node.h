// Node: the element of the scene graph. No GL here; a node is visited and
// drawn into render commands that the renderer executes (or discards when
// headless).
//
// Lifecycle (relied on exactly):
//  - onEnter is followed at once by onEnterTransitionDidFinish; there are no
//    transitions. onExitTransitionDidStart comes right before onExit.
//  - A child added to a running parent is entered at once.
//  - cleanup() stops actions, unschedules, recurses into the children and
//    is safe to call more than once.
//  - removeFromParent() removes with cleanup.
//  - Schedules, actions and scene-graph listeners of a node that is not
//    running are paused.
//
// Children are ordered by local z, ties by order of arrival (a child whose
// z changes arrives anew).
//
// Transform (node to parent): T(position [+ scaled anchor when the anchor
// is ignored for position]) · Rz(-rotation, clockwise degrees) · Rx(rotationX)
// · Ry(rotationY) · S(scaleX, scaleY, scaleZ) · T(-anchor in points), then
// multiplied by the additional transform when one is set.
//
// Threads: the constructor and the transform maths (getNodeToParentTransform,
// getNodeToWorldTransform, conversions) touch no Director or global state,
// so a node that one thread owns may be built and used there. Everything
// else is UI-thread-only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/ccMacros.h"
#include "engine/base/Ref.h"
#include "engine/base/Vector.h"
#include "engine/base/ccGLTypes.h"
#include "engine/base/ccTypes.h"
#include "engine/math/Geometry.h"
#include "engine/math/Mat4.h"
#include "engine/math/Vec2.h"
#include "engine/math/Vec3.h"

NS_CC_BEGIN

class Action;
class ActionManager;
class Camera;
class EventDispatcher;
class GLProgram;
class GLProgramState;
class Renderer;
class Scene;
class Scheduler;

enum {
  FLAGS_TRANSFORM_DIRTY = (1 << 0),
  FLAGS_CONTENT_SIZE_DIRTY = (1 << 1),
  FLAGS_RENDER_AS_3D = (1 << 3),
  FLAGS_DIRTY_MASK = (FLAGS_TRANSFORM_DIRTY | FLAGS_CONTENT_SIZE_DIRTY),
};

class Node : public Ref {
 public:
  static const int INVALID_TAG = -1;

  CREATE_FUNC(Node)
  virtual bool init();

  Node();
  ~Node() override;

  // ------------------------------------------------------------ lifecycle
  virtual void onEnter();
  virtual void onEnterTransitionDidFinish();
  virtual void onExitTransitionDidStart();
  virtual void onExit();
  virtual void cleanup();
  virtual void setParent(Node* parent);
  Node* getParent() const { return _parent; }
  bool isRunning() const { return _running; }

  // ------------------------------------------------------------ children
  virtual void addChild(Node* child);
  virtual void addChild(Node* child, int localZOrder);
  virtual void addChild(Node* child, int localZOrder, int tag);
  virtual void addChild(Node* child, int localZOrder, const std::string& name);
  virtual void removeChild(Node* child, bool cleanup = true);
  virtual void removeChildByTag(int tag, bool cleanup = true);
  virtual void removeChildByName(const std::string& name, bool cleanup = true);
  virtual void removeAllChildren();
  virtual void removeAllChildrenWithCleanup(bool cleanup);
  virtual void removeFromParent();
  virtual void removeFromParentAndCleanup(bool cleanup);
  virtual void reorderChild(Node* child, int localZOrder);
  // Sorts the children by (local z, order of arrival) when needed.
  virtual void sortAllChildren();

  virtual Vector<Node*>& getChildren() { return _children; }
  virtual const Vector<Node*>& getChildren() const { return _children; }
  virtual ssize_t getChildrenCount() const { return _children.size(); }
  // Direct children only.
  virtual Node* getChildByTag(int tag) const;
  virtual Node* getChildByName(const std::string& name) const;
  // Depth-first, pre-order search through getChildren() (then protected
  // children in ProtectedNode); the first match or null. The node itself is
  // not tested.
  virtual Node* getChildByNameDeep(const std::string& name) const;
  virtual Node* getChildByTagDeep(int tag) const;
  // The scene this node is in (null when it is not under one).
  Scene* getScene() const;

  // ------------------------------------------------------------ identity
  virtual void setName(const std::string& name) { _name = name; }
  virtual const std::string& getName() const { return _name; }
  virtual void setTag(int tag) { _tag = tag; }
  virtual int getTag() const { return _tag; }
  // Retained.
  virtual void setUserObject(Ref* userObject);
  virtual Ref* getUserObject() const { return _userObject; }
  virtual void setUserData(void* userData) { _userData = userData; }
  virtual void* getUserData() const { return _userData; }
  // "" when none was set.
  void setUserString(const std::string& s) { _userString = s; }
  const std::string& getUserString() const { return _userString; }

  virtual void setLocalZOrder(int localZOrder);
  virtual int getLocalZOrder() const { return _localZOrder; }
  // Alias of setLocalZOrder.
  virtual void setZOrder(int localZOrder) { setLocalZOrder(localZOrder); }
  virtual int getZOrder() const { return getLocalZOrder(); }
  virtual void setGlobalZOrder(float globalZOrder) { _globalZOrder = globalZOrder; }
  virtual float getGlobalZOrder() const { return _globalZOrder; }
  // Raises the local z of every direct child to at least 10000, keeping
  // their relative order, so that this node's content stays above siblings
  // of the children added later at ordinary z.
  void updateChildrenToHighZOrder();
  unsigned int getOrderOfArrival() const { return _orderOfArrival; }

  // ------------------------------------------------------------ geometry
  virtual void setPosition(const Vec2& position);
  virtual void setPosition(float x, float y);
  virtual const Vec2& getPosition() const { return _position; }
  virtual void getPosition(float* x, float* y) const;
  virtual void setPositionX(float x);
  virtual float getPositionX() const { return _position.x; }
  virtual void setPositionY(float y);
  virtual float getPositionY() const { return _position.y; }
  virtual void setPositionZ(float z);
  virtual float getPositionZ() const { return _positionZ; }
  virtual void setPosition3D(const Vec3& position);
  virtual Vec3 getPosition3D() const;
  // Degrees, clockwise.
  virtual void setRotation(float degrees);
  virtual float getRotation() const { return _rotationZ; }
  // Degrees about x, y and z (z as in setRotation).
  virtual void setRotation3D(const Vec3& degrees);
  virtual Vec3 getRotation3D() const { return Vec3(_rotationX, _rotationY, _rotationZ); }
  virtual void setScale(float scale);
  virtual void setScale(float scaleX, float scaleY);
  virtual void setScaleX(float scaleX);
  virtual void setScaleY(float scaleY);
  virtual void setScaleZ(float scaleZ);
  virtual float getScale() const { return _scaleX; }
  virtual float getScaleX() const { return _scaleX; }
  virtual float getScaleY() const { return _scaleY; }
  virtual float getScaleZ() const { return _scaleZ; }
  virtual void setAnchorPoint(const Vec2& anchor);
  virtual const Vec2& getAnchorPoint() const { return _anchorPoint; }
  virtual const Vec2& getAnchorPointInPoints() const { return _anchorPointInPoints; }
  virtual void setIgnoreAnchorPointForPosition(bool ignore);
  virtual bool isIgnoreAnchorPointForPosition() const { return _ignoreAnchorPointForPosition; }
  virtual void setContentSize(const Size& size);
  virtual const Size& getContentSize() const { return _contentSize; }
  // The content rectangle in the parent's space (axis-aligned bounds).
  virtual Rect getBoundingBox() const;

  virtual void setVisible(bool visible) { _visible = visible; }
  virtual bool isVisible() const { return _visible; }

  // ------------------------------------------------------------ colour
  virtual void setOpacity(GLubyte opacity);
  virtual GLubyte getOpacity() const { return _realOpacity; }
  virtual GLubyte getDisplayedOpacity() const { return _displayedOpacity; }
  virtual void updateDisplayedOpacity(GLubyte parentOpacity);
  virtual void setCascadeOpacityEnabled(bool enabled);
  virtual bool isCascadeOpacityEnabled() const { return _cascadeOpacityEnabled; }
  virtual void setColor(const Color3B& color);
  virtual const Color3B& getColor() const { return _realColor; }
  virtual const Color3B& getDisplayedColor() const { return _displayedColor; }
  virtual void updateDisplayedColor(const Color3B& parentColor);
  virtual void setCascadeColorEnabled(bool enabled);
  virtual bool isCascadeColorEnabled() const { return _cascadeColorEnabled; }
  virtual void setOpacityModifyRGB(bool) {}
  virtual bool isOpacityModifyRGB() const { return false; }

  // ------------------------------------------------------------ transforms
  virtual const Mat4& getNodeToParentTransform() const;
  // Parent-to-node (the inverse).
  virtual Mat4 getParentToNodeTransform() const;
  // Post-multiplied onto the node-to-parent transform; null clears it.
  void setAdditionalTransform(const Mat4* additionalTransform);
  void setAdditionalTransform(const Mat4& additionalTransform);
  virtual Mat4 getNodeToWorldTransform() const;
  virtual Mat4 getWorldToNodeTransform() const;
  Vec2 convertToNodeSpace(const Vec2& worldPoint) const;
  Vec2 convertToWorldSpace(const Vec2& nodePoint) const;
  // Relative to the anchor point.
  Vec2 convertToNodeSpaceAR(const Vec2& worldPoint) const;
  Vec2 convertToWorldSpaceAR(const Vec2& nodePoint) const;
  Vec2 convertTouchToNodeSpace(class Touch* touch) const;
  Vec2 convertTouchToNodeSpaceAR(class Touch* touch) const;
  // The view × node-to-world transform of the last visit.
  const Mat4& getModelViewTransform() const { return _modelViewTransform; }

  // ------------------------------------------------------------ camera flags
  // Camera flags are small integers (1 = the default camera), not bits. The
  // node is drawn in the pass of every camera whose flag it holds.
  // Adds flag (no duplicates), to the children too when applyChildren.
  virtual void setCameraMask(uint16_t flag, bool applyChildren = true);
  virtual void removeCameraMask(uint16_t flag, bool applyChildren = true);
  bool hasCameraFlag(uint16_t flag) const;
  const std::vector<uint16_t>& getCameraFlags() const { return _cameraFlags; }
  // True when the camera of the current pass (or mouse dispatch) has its
  // flag in this node's list; true when no camera is visiting.
  virtual bool isVisitableByVisitingCamera() const;
  // Recorded only; children are always visited.
  void enableCameraVisitThroughtChild() { _cameraVisitThroughChild = true; }
  bool isCameraVisitThroughtChild() const { return _cameraVisitThroughChild; }

  // ------------------------------------------------------------ drawing
  // Visits the children (always) and draws this node when it is visitable
  // by the visiting camera. Does nothing when the node is invisible.
  virtual void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags);
  // transform = camera view × node-to-world.
  virtual void draw(Renderer* renderer, const Mat4& transform, uint32_t flags);
  // Visits from the root with the identity as the parent transform.
  virtual void visit();

  // Program and program state for the node's own drawing (defined with the
  // GL layer in NodeGL.cpp). setGLProgram gives the node its own new state.
  GLProgram* getGLProgram() const;
  void setGLProgram(GLProgram* program);
  GLProgramState* getGLProgramState() const;
  void setGLProgramState(GLProgramState* state);

  // ------------------------------------------------------------ scheduling
  Scheduler* getScheduler() const;
  void scheduleUpdate();
  void scheduleUpdateWithPriority(int priority);
  void unscheduleUpdate();
  virtual void update(float delta) {}
  void schedule(SEL_SCHEDULE selector);
  void schedule(SEL_SCHEDULE selector, float interval);
  void schedule(SEL_SCHEDULE selector, float interval, unsigned int repeat, float delay);
  void scheduleOnce(SEL_SCHEDULE selector, float delay);
  void schedule(const std::function<void(float)>& callback, const std::string& key);
  void schedule(const std::function<void(float)>& callback, float interval, const std::string& key);
  void schedule(const std::function<void(float)>& callback, float interval, unsigned int repeat,
                float delay, const std::string& key);
  void scheduleOnce(const std::function<void(float)>& callback, float delay, const std::string& key);
  bool isScheduled(SEL_SCHEDULE selector) const;
  bool isScheduled(const std::string& key) const;
  void unschedule(SEL_SCHEDULE selector);
  void unschedule(const std::string& key);
  void unscheduleAllCallbacks();
  void unscheduleAllSelectors() { unscheduleAllCallbacks(); }
  // Pause or resume this node's schedules, actions and listeners.
  virtual void resume();
  virtual void pause();

  // ------------------------------------------------------------ actions
  ActionManager* getActionManager() const;
  Action* runAction(Action* action);
  void stopAllActions();
  void stopAction(Action* action);
  void stopActionByTag(int tag);
  Action* getActionByTag(int tag);
  ssize_t getNumberOfRunningActions() const;

  // ------------------------------------------------------------ events
  EventDispatcher* getEventDispatcher() const;
  // Takes part in the back-key chain (Escape).
  void enableAndroidReturnKey(bool enable = true) { _returnKeyEnabled = enable; }
  bool isAndroidReturnKeyEnabled() const { return _returnKeyEnabled; }
  // Asked by the back-key chain; true when handled. Default: remove this
  // node from its parent (with cleanup) and return true.
  virtual bool onResponseReturn();

  // (ours) Appends this node and its descendants in visit order (children
  // with z < 0, the node, the others); the dispatcher reverses it.
  virtual void collectVisitOrder(std::vector<Node*>& out);

 protected:
  friend class EventDispatcher;
  friend class ProtectedNode;

  // Child bookkeeping shared by the addChild forms.
  void addChildHelper(Node* child, int localZOrder, int tag, const std::string& name, bool setTag);
  void detachChild(Node* child, ssize_t index, bool doCleanup);
  void insertChild(Node* child, int z);
  // flags for the children: parentFlags plus this node's dirty bits.
  uint32_t processParentFlags(const Mat4& parentTransform, uint32_t parentFlags);
  void updateOrderOfArrival();
  void markTransformDirty();

  // Scene graph.
  Node* _parent = nullptr;
  Vector<Node*> _children;
  bool _reorderChildDirty = false;
  bool _running = false;
  bool _enterFinished = false;  // onEnterTransitionDidFinish ran since the entry
  bool _visible = true;

  // Identity.
  int _tag = INVALID_TAG;
  std::string _name;
  std::string _userString;
  Ref* _userObject = nullptr;
  void* _userData = nullptr;
  int _localZOrder = 0;
  unsigned int _orderOfArrival = 0;
  float _globalZOrder = 0;

  // Geometry. Subclasses that replace getNodeToParentTransform() read these:
  //  _position / _positionZ   the 3-D position (getPosition3D);
  //  _rotationX/_Y/_Z         rotation angles in degrees (_rotationZ clockwise);
  //  _scaleX/_Y/_Z            scale factors;
  //  _anchorPoint(_InPoints)  the anchor (normalised / in points);
  //  _contentSize             the content size.
  Vec2 _position;
  float _positionZ = 0;
  float _rotationX = 0, _rotationY = 0, _rotationZ = 0;
  float _scaleX = 1, _scaleY = 1, _scaleZ = 1;
  Vec2 _anchorPoint;
  Vec2 _anchorPointInPoints;
  Size _contentSize;
  bool _contentSizeDirty = true;
  bool _ignoreAnchorPointForPosition = false;

  // Transform cache:
  //  _transform         the cached node-to-parent transform;
  //  _transformDirty    true when _transform must be recomputed (set by every
  //                     geometry setter; mutable so the const getter can
  //                     refresh the cache);
  //  _transformUpdated  true until the next visit passes the change on to
  //                     the children as FLAGS_TRANSFORM_DIRTY;
  //  _additionalTransform / _useAdditionalTransform
  //                     post-multiplied when in use;
  //  _modelViewTransform  view × node-to-world of the last visit.
  mutable Mat4 _transform;
  mutable bool _transformDirty = true;
  bool _transformUpdated = true;
  Mat4 _additionalTransform;
  bool _useAdditionalTransform = false;
  Mat4 _modelViewTransform;

  // Colour.
  GLubyte _displayedOpacity = 255;
  GLubyte _realOpacity = 255;
  Color3B _displayedColor = Color3B::WHITE;
  Color3B _realColor = Color3B::WHITE;
  bool _cascadeOpacityEnabled = false;
  bool _cascadeColorEnabled = false;

  // Cameras.
  std::vector<uint16_t> _cameraFlags{1};
  bool _cameraVisitThroughChild = false;

  // The node's GLProgramState, held as a Ref (retained) so that the scene
  // graph does not depend on the GL layer; see getGLProgramState().
  Ref* _glProgramState = nullptr;

  // Events and scheduling bookkeeping.
  bool _returnKeyEnabled = false;
  bool _hasSceneGraphListeners = false;  // set by the dispatcher
  bool _hasSchedules = false;            // unscheduled at destruction

 private:
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
};

NS_CC_END
