// A node with a second, protected list of children (a widget's own parts,
// such as a scroll view's inner container), kept apart from the children
// that users add.
//
// Visit order: protected children with z < 0, children with z < 0, the
// node itself, protected children with z >= 0, children with z >= 0. Event
// order is the reverse. Enter, exit and cleanup include the protected
// children.
#pragma once

#include "engine/base/ccMacros.h"
#include "engine/2d/Node.h"

NS_CC_BEGIN

class ProtectedNode : public Node {
 public:
  CREATE_FUNC(ProtectedNode)

  ProtectedNode();
  ~ProtectedNode() override;

  virtual void addProtectedChild(Node* child);
  virtual void addProtectedChild(Node* child, int localZOrder);
  virtual void addProtectedChild(Node* child, int localZOrder, int tag);
  virtual Node* getProtectedChildByTag(int tag);
  virtual void removeProtectedChild(Node* child, bool cleanup = true);
  virtual void removeProtectedChildByTag(int tag, bool cleanup = true);
  virtual void removeAllProtectedChildren();
  virtual void removeAllProtectedChildrenWithCleanup(bool cleanup);
  virtual void reorderProtectedChild(Node* child, int localZOrder);
  virtual void sortAllProtectedChildren();
  const Vector<Node*>& getProtectedChildren() const { return _protectedChildren; }

  // Children first (through getChildren()), then the protected children.
  Node* getChildByNameDeep(const std::string& name) const override;
  Node* getChildByTagDeep(int tag) const override;

  void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override;
  void collectVisitOrder(std::vector<Node*>& out) override;

  void cleanup() override;
  void onEnter() override;
  void onEnterTransitionDidFinish() override;
  void onExit() override;
  void onExitTransitionDidStart() override;

  // Applied to the protected children too.
  void setCameraMask(uint16_t flag, bool applyChildren = true) override;
  void removeCameraMask(uint16_t flag, bool applyChildren = true) override;
  void updateDisplayedOpacity(GLubyte parentOpacity) override;
  void updateDisplayedColor(const Color3B& parentColor) override;
  void setCascadeOpacityEnabled(bool enabled) override;
  void setCascadeColorEnabled(bool enabled) override;

 protected:
  Vector<Node*> _protectedChildren;
  bool _reorderProtectedChildDirty = false;
};

NS_CC_END
