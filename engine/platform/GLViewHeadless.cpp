#include <new>

#include "engine/platform/GLViewImpl.h"

NS_CC_BEGIN

GLViewImpl* GLViewImpl::createHeadless(const Size& frame) {
  auto* view = new (std::nothrow) GLViewImpl();
  if (!view) return nullptr;
  view->_headless = true;
  view->setViewName("headless");
  view->setFrameSize(frame.width, frame.height);
  view->autorelease();
  return view;
}

NS_CC_END
