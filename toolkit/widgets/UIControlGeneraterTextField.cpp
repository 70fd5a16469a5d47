// The form-field factory of the picture mixin.
#include "toolkit/widgets/NSTextField.h"
#include "toolkit/widgets/UIControlGenerater.h"

USING_NS_CC;

namespace NSUI {

NSTextField* UIControlGenerater::createTextField(std::string placeholder, Vec2 position, int fontSize,
                                                 Vec2 anchorPoint) {
  NSTextField* field = NSTextField::create(placeholder, Size(150, static_cast<float>(fontSize)));
  if (!field) return nullptr;
  field->setPosition(position);
  field->setAnchorPoint(anchorPoint);
  // The text takes the size; the placeholder keeps its own.
  field->_fontSize = fontSize;
  if (field->isShowingPlaceholder()) {
    field->setPlaceHolder(field->getPlaceHolder());
  } else {
    field->setString(field->getString());
  }
  return field;
}

}  // namespace NSUI
