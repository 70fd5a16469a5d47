// The Director owns the scheduler and runs frames on the UI thread.
//
// One frame (stepFrame) runs, in this order:
//   1. platform events are dispatched;
//   2. a pending scene switch is applied;
//   3. the scheduler updates (handed-in functions, update callbacks, timers);
//   4. the scene is visited and rendered (skipped while animation is stopped);
//   5. buffers are swapped;
//   6. the UI thread's autorelease pool is drained;
//   7. the frame counter is incremented.
// Steps 1, 2, 4 and 5 need the window and scene layers; without them (the
// headless engine) they do nothing, and tests drive frames with stepFrame(dt)
// under their own clock.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>
#include <type_traits>
#include <vector>

#include "engine/base/Ref.h"
#include "engine/base/Scheduler.h"
#include "engine/base/ccTypes.h"
#include "engine/math/Geometry.h"

NS_CC_BEGIN

class ActionManager;
class EventDispatcher;
class GLView;
class Renderer;
class Scene;
class TextureCache;

class Director {
 public:
  static Director* getInstance();
  // The Director when one exists, else null; never creates one. Any thread
  // (worker threads reach the scheduler's hand-off queue through it).
  static Director* getInstanceIfExists();
  // Ends (if needed) and deletes the Director and its scheduler, so that a
  // later getInstance() starts afresh. Meant for tests and process exit.
  static void destroyInstance();

  Scheduler* getScheduler() const { return _scheduler; }
  void setScheduler(Scheduler* scheduler);
  // The texture cache tied to this Director's scheduler (UI thread).
  TextureCache* getTextureCache() const;

  // Frames completed so far. Any thread.
  unsigned int getTotalFrames() const { return _totalFrames.load(std::memory_order_relaxed); }
  // Time passed to the last frame.
  float getDeltaTime() const { return _deltaTime; }

  void setAnimationInterval(float interval);
  float getAnimationInterval() const { return _animationInterval; }
  // Stopping halts rendering only: the scheduler, handed-in functions and
  // pool draining keep running at the frame interval. The first frame after
  // startAnimation() gets at most one animation interval as its time.
  void stopAnimation();
  void startAnimation();
  bool isAnimationStopped() const { return _animationStopped; }

  // Accepted; there is no statistics display.
  void setDisplayStats(bool on) { _displayStats = on; }
  bool isDisplayStats() const { return _displayStats; }
  void setContentScaleFactor(float scale) { _contentScaleFactor = scale; }
  float getContentScaleFactor() const { return _contentScaleFactor; }

  // Smoothed work time of recent frames, in seconds (not the frame
  // interval: a frame that does little reports little).
  float getSecondsPerFrame() const;
  // Makes getSecondsPerFrame() answer seconds; a negative value clears it.
  void setSecondsPerFrameOverride(float seconds) { _secondsPerFrameOverride = seconds; }

  // Runs exactly one frame with the given time step (UI thread).
  void stepFrame(float dt = 1.0f / 60.0f);
  // Runs one frame timed by the wall clock (used by the frame loop).
  void mainLoop();
  // The next frame gets dt = 0 (after long blocking work).
  void setNextDeltaTimeZero(bool zero) { _nextDeltaTimeZero = zero; }

  // Ends the engine: pools drained, UserDefault flushed, handed-in functions
  // dropped from now on. Called while the application's frame loop runs, it
  // only asks the loop to stop; Application::run then finishes the teardown.
  void end();
  bool isEnded() const { return _ended; }
  // Takes the scenes down while every service still exists: pending scene
  // requests are dropped, active touches cancelled, the running scene exits,
  // every scene on the stack is cleaned up and released, and the UI
  // thread's pool is drained. Application::run calls it after the frame
  // loop and before the teardown entry; end() calls it again (then a no-op).
  void purgeScenes();
  // True when the frame loop was asked to stop.
  bool isQuitRequested() const { return _quitRequested; }

  // True on the thread that created the Director (the UI thread).
  bool isUIThread() const { return std::this_thread::get_id() == _uiThread; }

  // The application's frame loop marks itself running so that end() only
  // requests the stop.
  void setFrameLoopRunning(bool running) { _frameLoopRunning = running; }

  // ------------------------------------------------------------ view
  // Retained. The view's frame size is the design size.
  void setOpenGLView(GLView* view);
  GLView* getOpenGLView() const { return _openGLView; }
  // The design size (= frame size); (0, 0) without a view.
  Size getWinSize() const;
  Size getWinSizeInPixels() const { return getWinSize(); }
  Size getVisibleSize() const { return getWinSize(); }
  Vec2 getVisibleOrigin() const { return Vec2(0, 0); }

  // ------------------------------------------------------------ scenes
  // Requests take effect at step 2 of the next frame, in the order made:
  //  - runWithScene: the first scene enters (refused while one runs);
  //  - pushScene: the running scene exits (no cleanup), the new one enters;
  //  - popScene: the top scene exits, is cleaned up and released; the scene
  //    below enters again. Popping the last scene is refused with a log.
  // Active touches are cancelled before a switch.
  void runWithScene(Scene* scene);
  void pushScene(Scene* scene);
  void popScene();
  // Pops exactly one scene, like popScene(); the value is reserved (0 and 1
  // behave alike, others are logged).
  void popScene(int reserved);
  Scene* getRunningScene() const { return _runningScene; }
  // Scenes on the stack once the pending requests are applied.
  int getSceneStackSize() const;

  // Cleared once per frame with this colour (global: it shows behind every
  // screen).
  void setClearColor(const Color4F& color) { _clearColor = color; }
  const Color4F& getClearColor() const { return _clearColor; }

  // ------------------------------------------------------------ services
  Renderer* getRenderer() const { return _renderer; }
  EventDispatcher* getEventDispatcher() const { return _eventDispatcher; }
  ActionManager* getActionManager() const { return _actionManager; }

 protected:
  Director();
  ~Director();

 private:
  // Frame steps filled in by the window and scene layers.
  void dispatchPlatformEvents();
  void applyPendingScene();
  void visitAndRender();
  void swapBuffers();
  void teardownScenes();
  void enterScene(Scene* scene);
  void exitScene(Scene* scene);

  enum class SceneRequest { RUN, PUSH, POP };
  struct PendingScene {
    SceneRequest request;
    Scene* scene;  // retained (null for POP)
  };

  Scheduler* _scheduler = nullptr;
  std::atomic<unsigned int> _totalFrames{0};
  GLView* _openGLView = nullptr;
  Renderer* _renderer = nullptr;
  EventDispatcher* _eventDispatcher = nullptr;
  ActionManager* _actionManager = nullptr;
  std::vector<Scene*> _scenesStack;  // retained
  Scene* _runningScene = nullptr;
  std::vector<PendingScene> _pendingScenes;
  Color4F _clearColor{0, 0, 0, 1};
  float _deltaTime = 0;
  float _animationInterval = 1.0f / 60.0f;
  bool _animationStopped = false;
  bool _clampNextDelta = false;
  bool _nextDeltaTimeZero = false;
  bool _displayStats = false;
  float _contentScaleFactor = 1.0f;
  double _secondsPerFrame = 0;
  bool _haveFrameTime = false;
  float _secondsPerFrameOverride = -1.0f;
  bool _ended = false;
  bool _quitRequested = false;
  bool _frameLoopRunning = false;
  std::thread::id _uiThread;
  std::chrono::steady_clock::time_point _lastMainLoop;
  bool _haveLastMainLoop = false;
};

NS_CC_END
