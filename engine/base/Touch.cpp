#include "engine/base/Touch.h"

#include <atomic>
#include <ctime>

NS_CC_BEGIN

namespace {
std::atomic<unsigned int> g_lastInput{0};
}

void Touch::setTouchInfo(int id, float x, float y) {
  _id = id;
  _prevPoint = _point;
  _point.set(x, y);
  if (!_startPointCaptured) {
    _startPoint = _point;
    _prevPoint = _point;
    _startPointCaptured = true;
  }
}

unsigned int Touch::getTimeStamp() { return g_lastInput.load(std::memory_order_relaxed); }

void Touch::updateTimeStamp() {
  g_lastInput.store(static_cast<unsigned int>(static_cast<unsigned long long>(std::time(nullptr)) & 0xffffffffu),
                    std::memory_order_relaxed);
}

NS_CC_END
