#include "engine/base/Director.h"

#include "engine/renderer/TextureCache.h"

#include <atomic>
#include <mutex>

#include "engine/base/AutoreleasePool.h"
#include "engine/base/UserDefault.h"
#include "engine/base/ccLog.h"

NS_CC_BEGIN

namespace {
std::atomic<Director*> g_director{nullptr};
std::mutex g_directorMutex;
// Weight of the newest frame in the smoothed work time.
constexpr double kFrameTimeSmoothing = 0.1;
}  // namespace

Director* Director::getInstance() {
  Director* d = g_director.load(std::memory_order_acquire);
  if (d) return d;
  std::lock_guard<std::mutex> lock(g_directorMutex);
  d = g_director.load(std::memory_order_relaxed);
  if (!d) {
    d = new Director;
    g_director.store(d, std::memory_order_release);
  }
  return d;
}

void Director::destroyInstance() {
  Director* d;
  {
    std::lock_guard<std::mutex> lock(g_directorMutex);
    d = g_director.exchange(nullptr);
  }
  if (!d) return;
  d->_frameLoopRunning = false;
  TextureCache::destroyInstance();
  d->end();
  delete d;
}

Director::Director() : _uiThread(std::this_thread::get_id()) {
  PoolManager::getInstance()->setUIThread(_uiThread);
  _scheduler = new Scheduler;
}

Director::~Director() { CC_SAFE_RELEASE(_scheduler); }

void Director::setScheduler(Scheduler* scheduler) {
  if (scheduler == _scheduler) return;
  CC_SAFE_RETAIN(scheduler);
  CC_SAFE_RELEASE(_scheduler);
  _scheduler = scheduler;
}

void Director::setAnimationInterval(float interval) {
  if (interval > 0) _animationInterval = interval;
}

void Director::stopAnimation() { _animationStopped = true; }

void Director::startAnimation() {
  if (_animationStopped) _clampNextDelta = true;
  _animationStopped = false;
}

float Director::getSecondsPerFrame() const {
  if (_secondsPerFrameOverride >= 0) return _secondsPerFrameOverride;
  return static_cast<float>(_secondsPerFrame);
}

void Director::stepFrame(float dt) {
  if (_ended) return;
  CCASSERT(isUIThread(), "frames run on the UI thread");
  const auto start = std::chrono::steady_clock::now();
  if (_nextDeltaTimeZero) {
    dt = 0;
    _nextDeltaTimeZero = false;
  }
  if (_clampNextDelta) {
    if (dt > _animationInterval) dt = _animationInterval;
    _clampNextDelta = false;
  }
  if (dt < 0) dt = 0;
  _deltaTime = dt;

  dispatchPlatformEvents();                                 // 1
  applyPendingScene();                                      // 2
  _scheduler->update(dt);                                   // 3
  if (!_animationStopped) visitAndRender();                 // 4
  swapBuffers();                                            // 5
  PoolManager::getInstance()->getCurrentPool()->clear();    // 6
  ++_totalFrames;                                           // 7

  const double work = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (_haveFrameTime) {
    _secondsPerFrame += (work - _secondsPerFrame) * kFrameTimeSmoothing;
  } else {
    _secondsPerFrame = work;
    _haveFrameTime = true;
  }
}

void Director::mainLoop() {
  const auto now = std::chrono::steady_clock::now();
  float dt = _animationInterval;
  if (_haveLastMainLoop) dt = std::chrono::duration<float>(now - _lastMainLoop).count();
  _lastMainLoop = now;
  _haveLastMainLoop = true;
  stepFrame(dt);
}

void Director::end() {
  if (_ended) return;
  if (_frameLoopRunning) {
    _quitRequested = true;
    return;
  }
  _quitRequested = true;
  _ended = true;
  teardownScenes();
  // Objects released by the drain may autorelease others: drain until empty.
  if (isUIThread()) {
    auto* pool = PoolManager::getInstance()->getCurrentPool();
    for (int round = 0; round < 16 && pool->getObjectCount() > 0; ++round) pool->clear();
  }
  UserDefault::getInstance()->flush();
  _scheduler->closeFunctionQueue();
  Ref::printLeaks();
}

// ------------------------------------------------------------ frame steps
// The window layer polls its events here; headless there are none.
void Director::dispatchPlatformEvents() {}
// The scene layer applies run/push/pop requests here.
void Director::applyPendingScene() {}
// The scene layer visits the running scene and renders every camera pass.
void Director::visitAndRender() {}
// The window layer presents the frame.
void Director::swapBuffers() {}
// The scene layer makes running scenes exit and cleans them up.
void Director::teardownScenes() {}

NS_CC_END
