#include "engine/ui/Layout.h"

#include <algorithm>
#include <cmath>

#include "engine/2d/Layer.h"
#include "engine/renderer/Renderer.h"
#include "engine/ui/Helper.h"
#include "engine/ui/LayoutParameter.h"

NS_CC_BEGIN
namespace ui {

namespace {
const int kBackgroundZ = -100;
}

Layout::Layout() = default;
Layout::~Layout() = default;

bool Layout::init() {
  if (!Widget::init()) return false;
  setAnchorPoint(Vec2::ZERO);
  return true;
}

// ------------------------------------------------------------ background

void Layout::setBackGroundColorType(BackGroundColorType type) {
  _colorType = type;
  updateBackground();
}

void Layout::setBackGroundColor(const Color3B& color) {
  _color = color;
  updateBackground();
}

void Layout::setBackGroundColorOpacity(GLubyte opacity) {
  _opacity = opacity;
  updateBackground();
}

void Layout::enableBKColor(bool on, const Color3B& color, float opacity) {
  if (!on) {
    setBackGroundColorType(BackGroundColorType::NONE);
    return;
  }
  _color = color;
  _opacity = static_cast<GLubyte>(std::lround(std::clamp(opacity, 0.0f, 1.0f) * 255.0f));
  setBackGroundColorType(BackGroundColorType::SOLID);
}

void Layout::updateBackground() {
  if (_colorType == BackGroundColorType::NONE) {
    if (_colorRender) {
      removeProtectedChild(_colorRender, true);
      _colorRender = nullptr;
    }
    return;
  }
  if (!_colorRender) {
    _colorRender = LayerColor::create(Color4B(_color, _opacity), _contentSize.width, _contentSize.height);
    if (!_colorRender) return;
    _colorRender->setCascadeColorEnabled(true);
    addProtectedChild(_colorRender, kBackgroundZ);
  }
  _colorRender->setColor(_color);
  _colorRender->setOpacity(_opacity);
  _colorRender->setContentSize(_contentSize);
  _colorRender->updateDisplayedColor(getDisplayedColor());
  _colorRender->updateDisplayedOpacity(getDisplayedOpacity());
}

// ------------------------------------------------------------ clipping

Rect Layout::getClippingWorldRect() const {
  const Mat4 m = getNodeToWorldTransform();
  const Vec2 corners[4] = {Vec2(0, 0), Vec2(_contentSize.width, 0), Vec2(0, _contentSize.height),
                           Vec2(_contentSize.width, _contentSize.height)};
  float minX = 0, minY = 0, maxX = 0, maxY = 0;
  for (int i = 0; i < 4; ++i) {
    Vec3 p(corners[i].x, corners[i].y, 0);
    m.transformPoint(&p);
    if (i == 0 || p.x < minX) minX = p.x;
    if (i == 0 || p.y < minY) minY = p.y;
    if (i == 0 || p.x > maxX) maxX = p.x;
    if (i == 0 || p.y > maxY) maxY = p.y;
  }
  return Rect(minX, minY, maxX - minX, maxY - minY);
}

// ------------------------------------------------------------ placement

void Layout::setLayoutType(int type) {
  _layoutType = (type >= ABSOLUTE && type <= RELATIVE) ? type : ABSOLUTE;
  requestDoLayout();
}

void Layout::forceDoLayout() {
  requestDoLayout();
  doLayout();
}

void Layout::doLayout() {
  _doLayoutDirty = false;
  if (_layoutType == ABSOLUTE) return;
  sortAllChildren();
  const Size ps = _contentSize;

  if (_layoutType == RELATIVE) {
    for (Node* child : _children) {
      auto* w = dynamic_cast<Widget*>(child);
      auto* p = w ? dynamic_cast<RelativeLayoutParameter*>(w->getLayoutParameter()) : nullptr;
      if (p && p->getAlign() != RelativeLayoutParameter::RelativeAlign::NONE)
        Helper::alignInParent(child, ps, static_cast<int>(p->getAlign()), p->getMargin());
    }
    return;
  }

  struct Item {
    Node* node;
    float w, h;
    Margin m;
  };
  std::vector<Item> items;
  float total = 0;
  for (Node* child : _children) {
    if (!child->isVisible()) continue;
    Item it{child, child->getContentSize().width * std::fabs(child->getScaleX()),
            child->getContentSize().height * std::fabs(child->getScaleY()), Margin()};
    if (auto* w = dynamic_cast<Widget*>(child))
      if (LayoutParameter* p = w->getLayoutParameter()) it.m = p->getMargin();
    total += it.w + it.m.left + it.m.right;
    items.push_back(it);
  }
  // Places the box's bottom-left corner at (left, bottom).
  auto place = [](const Item& it, float left, float bottom) {
    const Vec2& a = it.node->getAnchorPoint();
    it.node->setPosition(left + a.x * it.w, bottom + a.y * it.h);
  };
  if (_layoutType == VERTICAL) {
    float top = ps.height;
    for (const Item& it : items) {
      const float bottom = top - it.m.top - it.h;
      place(it, it.m.left, bottom);
      top = bottom - it.m.bottom;
    }
    return;
  }
  float x = _layoutType == ROW_RIGHT ? ps.width - total : 0;
  for (const Item& it : items) {
    const float left = x + it.m.left;
    const float bottom = _layoutType == HORIZONTAL ? ps.height - it.m.top - it.h : (ps.height - it.h) * 0.5f;
    place(it, left, bottom);
    x = left + it.w + it.m.right;
  }
}

// ------------------------------------------------------------ children

void Layout::addChild(Node* child) { addChild(child, child ? child->getLocalZOrder() : 0); }

void Layout::addChild(Node* child, int localZOrder) {
  Widget::addChild(child, localZOrder);
  requestDoLayout();
}

void Layout::addChild(Node* child, int localZOrder, int tag) {
  Widget::addChild(child, localZOrder, tag);
  requestDoLayout();
}

void Layout::addChild(Node* child, int localZOrder, const std::string& name) {
  Widget::addChild(child, localZOrder, name);
  requestDoLayout();
}

void Layout::removeChild(Node* child, bool cleanup) {
  Widget::removeChild(child, cleanup);
  requestDoLayout();
}

void Layout::removeAllChildren() { removeAllChildrenWithCleanup(true); }

void Layout::removeAllChildrenWithCleanup(bool cleanup) {
  Widget::removeAllChildrenWithCleanup(cleanup);
  requestDoLayout();
}

void Layout::onSizeChanged() {
  Widget::onSizeChanged();
  if (_colorRender) _colorRender->setContentSize(_contentSize);
  requestDoLayout();
}

void Layout::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
  if (!_visible) return;
  retain();
  onBeforeVisit();
  if (_doLayoutDirty) doLayout();
  const bool clip = _clippingEnabled && renderer;
  if (clip) renderer->pushScissor(getClippingWorldRect());
  Widget::visit(renderer, parentTransform, parentFlags);
  if (clip) renderer->popScissor();
  onAfterVisit();
  release();
}

}  // namespace ui
NS_CC_END
