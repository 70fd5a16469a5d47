// Steps frames until the notification centre has nothing left to deliver,
// also of what the deliveries themselves post: a marker posted on the serial
// queue arrives in the next frame only when nothing was queued before it.
// The serial queue hands out one delivery a frame for the whole program, so
// cells and overlays that post several notifications take many frames to
// settle; tests wait for that before they look.
#pragma once

#include <functional>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace fwtest {

// An id no part of the program uses, for the marker.
constexpr int kSettleMarkerId = 9004;

// Frames stepped with `step` until the queues are empty: the frames it took,
// or -1 when they were not empty after `maxFrames`.
inline int settleNotifications(const std::function<void()>& step, int maxFrames = 5000) {
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  cocos2d::Node* marker = cocos2d::Node::create();
  marker->retain();
  bool arrived = false;
  nc->addObserver(marker, marker, [&arrived](cocos2d::Ref*, unsigned int, NSUI::NSNotificationData*) { arrived = true; },
                  kSettleMarkerId);
  int frames = 0;
  bool quiet = false;
  while (!quiet && frames < maxFrames) {
    arrived = false;
    nc->postNotification(nullptr, kSettleMarkerId, nullptr, marker, false);
    int waited = 0;
    while (!arrived && frames < maxFrames) {
      step();
      ++waited;
      ++frames;
    }
    quiet = arrived && waited == 1;
  }
  nc->removeAllObservers(marker);
  marker->release();
  return quiet ? frames : -1;
}

}  // namespace fwtest
