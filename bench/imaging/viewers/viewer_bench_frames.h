// What the viewer benchmarks count in their window: the frames a volume
// cell showed, and blocks of idle frames timed between the measured ones so
// that both see the same load of the machine.
#pragma once

#include <vector>

#include "imaging/view/isActorVR.h"
#include "imaging/viewers/isViewerVR.h"
#include "support/viewer_harness.h"
#include "viewer_bench_clock.h"

namespace viewerbench {

// Every frame the volume cell shows arrives as a new texture of its sprite.
struct VolumeFrames {
  explicit VolumeFrames(isImageSDK::isViewerVR* v) : actor(v ? v->getVolumeActor() : nullptr) { last = texture(); }
  cocos2d::Texture2D* texture() const { return actor && actor->getSprite() ? actor->getSprite()->getTexture() : nullptr; }
  void poll() {
    cocos2d::Texture2D* t = texture();
    if (t != last) ++count;
    last = t;
  }
  isImageSDK::isActorVR* actor;
  cocos2d::Texture2D* last = nullptr;
  int count = 0;
};

// Idle frames: wall time and the UI thread's own CPU time of each.
struct IdleFrames {
  std::vector<double> wall, cpu;
  void block(fwtest::ViewerHarness* h, int frames = 30) {
    for (int i = 0; i < frames; ++i) {
      const auto t0 = Clock::now();
      const double c0 = threadCpuMs();
      h->frames(1);
      wall.push_back(msSince(t0));
      cpu.push_back(threadCpuMs() - c0);
    }
  }
};

}  // namespace viewerbench
