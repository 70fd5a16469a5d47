// ui::Layout: a container widget with an optional solid background, an
// optional clip to its content rectangle, and automatic placement of its
// children.
//
// Layout types (setLayoutType):
//   0 absolute      children stay where they are put;
//   1 vertical      top-down in child order, left-aligned;
//   2 horizontal    left to right in child order, top-aligned;
//   3 row left      packed from x = 0, vertically centred;
//   4 row right     the same order, the last child ending at the right edge;
//   5 relative      children with a RelativeLayoutParameter are aligned
//                   in the layout (alignments 1-9 with margins); the
//                   others are left alone.
// Types 1-4 place every visible child by its bounding box (anchor and
// scale respected), adding the margins of its LayoutParameter. Placement
// runs at the next visit after a change (adding, removing or resizing a
// child, a new size or type) or at once with forceDoLayout().
//
// Clipping: the subtree is scissored to the layout's content rectangle in
// window pixels (nested clips intersect); STENCIL behaves as SCISSOR.
// Touches outside a clipping layout do not reach its descendants.
#pragma once

#include "engine/base/ccTypes.h"
#include "engine/ui/Widget.h"

NS_CC_BEGIN

class LayerColor;

namespace ui {

class Layout : public Widget {
 public:
  enum Type : int { ABSOLUTE = 0, VERTICAL = 1, HORIZONTAL = 2, ROW_LEFT = 3, ROW_RIGHT = 4, RELATIVE = 5 };
  enum class BackGroundColorType { NONE = 0, SOLID = 1 };
  enum class ClippingType { STENCIL = 0, SCISSOR = 1 };

  CREATE_FUNC(Layout)
  bool init() override;

  Layout();
  ~Layout() override;

  // ------------------------------------------------------------ background
  void setBackGroundColorType(BackGroundColorType type);
  BackGroundColorType getBackGroundColorType() const { return _colorType; }
  void setBackGroundColor(const Color3B& color);
  const Color3B& getBackGroundColor() const { return _color; }
  void setBackGroundColorOpacity(GLubyte opacity);
  GLubyte getBackGroundColorOpacity() const { return _opacity; }
  // on: solid background of color at opacity (0..1) × 255; off: none.
  void enableBKColor(bool on, const Color3B& color, float opacity);

  // ------------------------------------------------------------ clipping
  virtual void setClippingEnabled(bool enabled) { _clippingEnabled = enabled; }
  bool isClippingEnabled() const { return _clippingEnabled; }
  void setClippingType(ClippingType type) { _clippingType = type; }
  ClippingType getClippingType() const { return _clippingType; }
  // The content rectangle in world space (window pixels for the default
  // camera).
  Rect getClippingWorldRect() const;

  // ------------------------------------------------------------ placement
  virtual void setLayoutType(int type);
  int getLayoutType() const { return _layoutType; }
  void requestDoLayout() { _doLayoutDirty = true; }
  bool isLayoutDirty() const { return _doLayoutDirty; }
  void forceDoLayout();
  // Places the children by the layout type (run at visit when dirty).
  virtual void doLayout();

  // ------------------------------------------------------------ children
  void addChild(Node* child) override;
  void addChild(Node* child, int localZOrder) override;
  void addChild(Node* child, int localZOrder, int tag) override;
  void addChild(Node* child, int localZOrder, const std::string& name) override;
  void removeChild(Node* child, bool cleanup = true) override;
  void removeAllChildren() override;
  void removeAllChildrenWithCleanup(bool cleanup) override;

  // onBeforeVisit, placement when dirty, the scissored visit, onAfterVisit;
  // in every camera pass.
  void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override;
  virtual void onBeforeVisit() {}
  virtual void onAfterVisit() {}

  std::string getDescription() const override { return "Layout"; }

 protected:
  void onSizeChanged() override;
  bool clipsDescendants() const override { return _clippingEnabled; }
  Widget* createCloneInstance() override { return Layout::create(); }
  void updateBackground();

  BackGroundColorType _colorType = BackGroundColorType::NONE;
  Color3B _color = Color3B::WHITE;
  GLubyte _opacity = 255;
  LayerColor* _colorRender = nullptr;  // a protected child when shown
  bool _clippingEnabled = false;
  ClippingType _clippingType = ClippingType::STENCIL;
  int _layoutType = ABSOLUTE;
  bool _doLayoutDirty = true;
};

}  // namespace ui
NS_CC_END
