// Relabelling of widget trees from the localisation table
// (NSUI::NSLanguage::translateNode, declared in the foundation's
// NSLanguage.h). It lives with the widgets because it knows the text field.
#include <vector>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/widgets/NSTextField.h"

namespace NSUI {

void NSLanguage::translateNode(cocos2d::Node* node, std::string prefix) {
  if (!node) return;
  // A copy of the child list, each child kept alive while the walk runs
  // (a relabelled widget may change its own subtree).
  std::vector<cocos2d::Node*> children;
  for (cocos2d::Node* child : node->getChildren()) {
    child->retain();
    children.push_back(child);
  }
  for (cocos2d::Node* child : children) {
    if (auto* text = dynamic_cast<cocos2d::ui::Text*>(child)) {
      const std::string translation = getString(prefix + child->getName());
      if (!translation.empty()) text->setString(translation, false);
    } else if (auto* button = dynamic_cast<cocos2d::ui::Button*>(child)) {
      const std::string translation = getString(prefix + child->getName());
      if (!translation.empty()) button->setTitleText(translation);
    } else if (auto* field = dynamic_cast<NSTextField*>(child)) {
      const std::string translation = getString(prefix + child->getName());
      if (!translation.empty()) {
        field->_placeholder = translation;
        // Redrawn only where the placeholder shows (or nothing does): typed
        // text stays as it is.
        if (field->getElementCount() == 0 || field->_showingPlaceholder) {
          field->setTextByCharacters(translation, field->_placeholderFontName, field->_placeholderFontSize,
                                     field->_placeholderColor);
          field->_showingPlaceholder = true;
        }
      }
    } else if (child->getChildrenCount() > 0) {
      translateNode(child, prefix);
    }
  }
  for (cocos2d::Node* child : children) child->release();
}

}  // namespace NSUI
