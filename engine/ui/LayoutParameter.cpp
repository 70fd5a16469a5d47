#include "engine/ui/LayoutParameter.h"

#include "engine/base/ccLog.h"

NS_CC_BEGIN
namespace ui {

const Margin Margin::ZERO;

LayoutParameter* LayoutParameter::create() {
  auto* p = new LayoutParameter;
  p->autorelease();
  return p;
}

RelativeLayoutParameter* RelativeLayoutParameter::create() {
  auto* p = new RelativeLayoutParameter;
  p->autorelease();
  return p;
}

void RelativeLayoutParameter::setAlign(int align) {
  _relativeAlign = (align >= 1 && align <= 9) ? static_cast<RelativeAlign>(align) : RelativeAlign::NONE;
}

void RelativeLayoutParameter::setRelativeName(const std::string& name) {
  if (!name.empty()) log("RelativeLayoutParameter: relative names are not supported (\"%s\" ignored)", name.c_str());
}

void RelativeLayoutParameter::setRelativeToWidgetName(const std::string& name) {
  if (!name.empty()) log("RelativeLayoutParameter: relative names are not supported (\"%s\" ignored)", name.c_str());
}

}  // namespace ui
NS_CC_END
