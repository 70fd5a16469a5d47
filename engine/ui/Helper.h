// Layout helpers over plain node trees.
#pragma once

#include <string>

#include "engine/base/ccMacros.h"
#include "engine/math/Geometry.h"

NS_CC_BEGIN

class Node;

namespace ui {

class Margin;

class Helper {
 public:
  // Over the subtree below root, parents before children: applies percent
  // sizes and positions of Widgets and the alignments of their
  // RelativeLayoutParameters against the parents' current content sizes.
  static void doLayout(Node* root);

  // length UTF-8 characters from character start (clamped to the text);
  // "" when start is past the end.
  static std::string getSubStringOfUTF8String(const std::string& str, std::string::size_type start,
                                              std::string::size_type length);

  // Places node's bounding box (anchor and scale respected) inside a parent
  // of parentSize: align 1 top-left … 9 bottom-right (row by row); margins
  // apply on the sides the box is aligned to. Other values do nothing.
  static void alignInParent(Node* node, const Size& parentSize, int align, const Margin& margin);
};

}  // namespace ui
NS_CC_END
