#include "engine/base/Director.h"

#include "engine/renderer/TextureCache.h"

#include <atomic>
#include <mutex>

#include "engine/2d/ActionManager.h"
#include "engine/2d/FontAtlas.h"
#include "engine/2d/Camera.h"
#include "engine/2d/Scene.h"
#include "engine/audio/SimpleAudioEngine.h"
#include "engine/base/AutoreleasePool.h"
#include "engine/base/EventDispatcher.h"
#include "engine/base/UserDefault.h"
#include "engine/base/ccLog.h"
#include "engine/platform/GLView.h"
#include "engine/renderer/Renderer.h"

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

Director* Director::getInstanceIfExists() { return g_director.load(std::memory_order_acquire); }

void Director::destroyInstance() {
  Director* d = g_director.load(std::memory_order_acquire);
  if (!d) return;
  // End while the Director is still reachable, so that scenes cleaning up
  // find their scheduler, action manager and dispatcher.
  d->_frameLoopRunning = false;
  // Scenes go first, so that their cleanups find the texture cache they
  // used instead of making a new one.
  d->purgeScenes();
  TextureCache::destroyInstance();
  FontAtlas::releaseTextures();
  d->end();
  // A cache made during the end would outlive the scheduler it points to.
  TextureCache::destroyInstance();
  {
    std::lock_guard<std::mutex> lock(g_directorMutex);
    g_director.store(nullptr, std::memory_order_release);
  }
  delete d;
}

Director::Director() : _uiThread(std::this_thread::get_id()) {
  PoolManager::getInstance()->setUIThread(_uiThread);
  _scheduler = new Scheduler;
  _actionManager = new ActionManager;
  _scheduler->schedulePerFrame([this](float dt) { _actionManager->update(dt); }, _actionManager,
                               Scheduler::PRIORITY_SYSTEM, false);
  _eventDispatcher = new EventDispatcher;
  _renderer = new Renderer;
}

Director::~Director() {
  for (auto& p : _pendingScenes) CC_SAFE_RELEASE(p.scene);
  _pendingScenes.clear();
  for (Scene* sc : _scenesStack) sc->release();
  _scenesStack.clear();
  _runningScene = nullptr;
  if (_scheduler) _scheduler->unscheduleUpdate(_actionManager);
  CC_SAFE_RELEASE_NULL(_actionManager);
  CC_SAFE_RELEASE_NULL(_eventDispatcher);
  CC_SAFE_RELEASE_NULL(_openGLView);
  delete _renderer;
  _renderer = nullptr;
  CC_SAFE_RELEASE(_scheduler);
}

// ------------------------------------------------------------ view
void Director::setOpenGLView(GLView* view) {
  if (view == _openGLView) return;
  CC_SAFE_RETAIN(view);
  CC_SAFE_RELEASE(_openGLView);
  _openGLView = view;
}

Size Director::getWinSize() const { return _openGLView ? _openGLView->getDesignResolutionSize() : Size::ZERO; }

// ------------------------------------------------------------ scenes
void Director::runWithScene(Scene* scene) {
  if (!scene) return;
  scene->retain();
  _pendingScenes.push_back({SceneRequest::RUN, scene});
}

void Director::pushScene(Scene* scene) {
  if (!scene) return;
  scene->retain();
  _pendingScenes.push_back({SceneRequest::PUSH, scene});
}

void Director::popScene() { _pendingScenes.push_back({SceneRequest::POP, nullptr}); }

void Director::popScene(int reserved) {
  if (reserved != 0 && reserved != 1) log("Director::popScene(%d): the value is reserved; one scene is popped", reserved);
  popScene();
}

int Director::getSceneStackSize() const {
  int n = static_cast<int>(_scenesStack.size());
  for (const auto& p : _pendingScenes) {
    switch (p.request) {
      case SceneRequest::RUN: if (n == 0) n = 1; break;
      case SceneRequest::PUSH: ++n; break;
      case SceneRequest::POP: if (n > 1) --n; break;
    }
  }
  return n;
}

void Director::enterScene(Scene* scene) {
  _runningScene = scene;
  scene->onEnter();
  scene->onEnterTransitionDidFinish();
}

void Director::exitScene(Scene* scene) {
  if (!scene->isRunning()) return;
  scene->onExitTransitionDidStart();
  scene->onExit();
}

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
  _totalFrames.fetch_add(1, std::memory_order_relaxed);    // 7

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
  // The audio thread must be gone before the process tears down.
  SimpleAudioEngine::end();
  _scheduler->closeFunctionQueue();
  Ref::printLeaks();
}

// ------------------------------------------------------------ frame steps
// The view translates its platform events into input here; headless there
// are none (tests inject input between frames).
void Director::dispatchPlatformEvents() {
  if (_openGLView) _openGLView->pollEvents();
}

void Director::applyPendingScene() {
  if (_pendingScenes.empty()) return;
  // A switch during a touch cancels it, so no listener keeps a capture.
  if (_openGLView) _openGLView->cancelAllTouches();
  // Requests made by the enter/exit callbacks below wait for the next frame.
  std::vector<PendingScene> requests;
  requests.swap(_pendingScenes);
  for (auto& req : requests) {
    switch (req.request) {
      case SceneRequest::RUN:
        if (!_scenesStack.empty()) {
          log("Director::runWithScene: a scene is already running; use pushScene");
          break;
        }
        req.scene->retain();
        _scenesStack.push_back(req.scene);
        enterScene(req.scene);
        break;
      case SceneRequest::PUSH:
        if (_runningScene) exitScene(_runningScene);
        req.scene->retain();
        _scenesStack.push_back(req.scene);
        enterScene(req.scene);
        break;
      case SceneRequest::POP: {
        if (_scenesStack.size() <= 1) {
          log("Director::popScene: refusing to pop the last scene");
          break;
        }
        Scene* top = _scenesStack.back();
        exitScene(top);
        top->cleanup();
        _scenesStack.pop_back();
        _runningScene = nullptr;
        top->release();
        enterScene(_scenesStack.back());
        break;
      }
    }
    CC_SAFE_RELEASE(req.scene);
  }
}

void Director::visitAndRender() {
  if (!_runningScene) return;
  Scene* scene = _runningScene;
  scene->retain();
  _renderer->beginFrame(_clearColor);
  scene->render(_renderer);
  _renderer->endFrame();
  scene->release();
}

void Director::swapBuffers() {
  if (_openGLView) _openGLView->swapBuffers();
}

void Director::purgeScenes() {
  for (auto& p : _pendingScenes) CC_SAFE_RELEASE(p.scene);
  _pendingScenes.clear();
  if (_openGLView) _openGLView->cancelAllTouches();
  if (_runningScene) exitScene(_runningScene);
  _runningScene = nullptr;
  while (!_scenesStack.empty()) {
    Scene* s = _scenesStack.back();
    _scenesStack.pop_back();
    s->cleanup();
    s->release();
  }
  // Objects released by the drain may autorelease others: drain until empty.
  if (isUIThread()) {
    auto* pool = PoolManager::getInstance()->getCurrentPool();
    for (int round = 0; round < 16 && pool->getObjectCount() > 0; ++round) pool->clear();
  }
}

// Scenes go (purgeScenes), then listeners, actions and the window.
void Director::teardownScenes() {
  purgeScenes();
  _eventDispatcher->removeAllEventListeners();
  _actionManager->removeAllActions();
  if (_openGLView) _openGLView->end();
}

NS_CC_END
