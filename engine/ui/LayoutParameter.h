// Placement hints a parent Layout (and Helper::doLayout) reads from its
// Widget children: margins and, for relative placement, an alignment in
// the parent.
#pragma once

#include <string>

#include "engine/base/Ref.h"
#include "engine/base/ccMacros.h"

NS_CC_BEGIN
namespace ui {

// Distances in design units: left, top, right, bottom.
class Margin {
 public:
  float left = 0, top = 0, right = 0, bottom = 0;
  Margin() = default;
  Margin(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}
  bool equals(const Margin& o) const { return left == o.left && top == o.top && right == o.right && bottom == o.bottom; }
  static const Margin ZERO;
};

class LayoutParameter : public Ref {
 public:
  enum class Type { NONE = 0, LINEAR = 1, RELATIVE = 2 };

  static LayoutParameter* create();

  void setMargin(const Margin& margin) { _margin = margin; }
  const Margin& getMargin() const { return _margin; }
  Type getLayoutType() const { return _layoutParameterType; }

 protected:
  Margin _margin;
  Type _layoutParameterType = Type::NONE;
};

class RelativeLayoutParameter : public LayoutParameter {
 public:
  // 1 top-left, 2 top-centre, 3 top-right, 4 centre-left, 5 centre,
  // 6 centre-right, 7 bottom-left, 8 bottom-centre, 9 bottom-right.
  enum class RelativeAlign {
    NONE = 0,
    PARENT_TOP_LEFT = 1,
    PARENT_TOP_CENTER_HORIZONTAL = 2,
    PARENT_TOP_RIGHT = 3,
    PARENT_LEFT_CENTER_VERTICAL = 4,
    CENTER_IN_PARENT = 5,
    PARENT_RIGHT_CENTER_VERTICAL = 6,
    PARENT_LEFT_BOTTOM = 7,
    PARENT_BOTTOM_CENTER_HORIZONTAL = 8,
    PARENT_RIGHT_BOTTOM = 9,
  };

  static RelativeLayoutParameter* create();

  void setAlign(RelativeAlign align) { _relativeAlign = align; }
  // 0..9 as above; other values mean NONE.
  void setAlign(int align);
  RelativeAlign getAlign() const { return _relativeAlign; }
  // Placement relative to named siblings is not supported: a non-empty
  // name is logged and ignored.
  void setRelativeName(const std::string& name);
  const std::string& getRelativeName() const { return _relativeLayoutName; }
  void setRelativeToWidgetName(const std::string& name);
  const std::string& getRelativeToWidgetName() const { return _relativeWidgetName; }

 protected:
  RelativeLayoutParameter() { _layoutParameterType = Type::RELATIVE; }
  RelativeAlign _relativeAlign = RelativeAlign::NONE;
  std::string _relativeLayoutName;
  std::string _relativeWidgetName;
};

}  // namespace ui
NS_CC_END
