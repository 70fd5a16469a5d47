#include "engine/ui/Helper.h"

#include <cmath>

#include "engine/2d/Node.h"
#include "engine/ui/LayoutParameter.h"
#include "engine/ui/Widget.h"

NS_CC_BEGIN
namespace ui {

void Helper::doLayout(Node* root) {
  if (!root) return;
  const Size ps = root->getContentSize();
  for (Node* child : root->getChildren()) {
    if (auto* w = dynamic_cast<Widget*>(child)) {
      w->updateSizeAndPosition(ps);
      auto* p = dynamic_cast<RelativeLayoutParameter*>(w->getLayoutParameter());
      if (p && p->getAlign() != RelativeLayoutParameter::RelativeAlign::NONE)
        alignInParent(child, ps, static_cast<int>(p->getAlign()), p->getMargin());
    }
    doLayout(child);
  }
}

void Helper::alignInParent(Node* node, const Size& ps, int align, const Margin& m) {
  if (!node || align < 1 || align > 9) return;
  const float w = node->getContentSize().width * std::fabs(node->getScaleX());
  const float h = node->getContentSize().height * std::fabs(node->getScaleY());
  const int col = (align - 1) % 3, row = (align - 1) / 3;
  const float left = col == 0 ? m.left : col == 1 ? (ps.width - w) * 0.5f : ps.width - w - m.right;
  const float bottom = row == 0 ? ps.height - h - m.top : row == 1 ? (ps.height - h) * 0.5f : m.bottom;
  const Vec2& a = node->getAnchorPoint();
  node->setPosition(left + a.x * w, bottom + a.y * h);
}

std::string Helper::getSubStringOfUTF8String(const std::string& str, std::string::size_type start,
                                             std::string::size_type length) {
  // Byte offset of each character start; continuation bytes (10xxxxxx)
  // belong to the character before them.
  std::string::size_type i = 0, ch = 0, from = std::string::npos;
  const std::string::size_type n = str.size();
  auto next = [&](std::string::size_type pos) {
    ++pos;
    while (pos < n && (static_cast<unsigned char>(str[pos]) & 0xC0) == 0x80) ++pos;
    return pos;
  };
  while (i < n && ch < start) {
    i = next(i);
    ++ch;
  }
  if (i >= n) return "";
  from = i;
  std::string::size_type taken = 0;
  while (i < n && taken < length) {
    i = next(i);
    ++taken;
  }
  return str.substr(from, i - from);
}

}  // namespace ui
NS_CC_END
