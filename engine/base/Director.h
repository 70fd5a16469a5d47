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

#include <chrono>
#include <thread>

#include "engine/base/Ref.h"
#include "engine/base/Scheduler.h"

NS_CC_BEGIN

class TextureCache;

class Director {
 public:
  static Director* getInstance();
  // Ends (if needed) and deletes the Director and its scheduler, so that a
  // later getInstance() starts afresh. Meant for tests and process exit.
  static void destroyInstance();

  Scheduler* getScheduler() const { return _scheduler; }
  void setScheduler(Scheduler* scheduler);
  // The texture cache tied to this Director's scheduler (UI thread).
  TextureCache* getTextureCache() const;

  // Frames completed so far.
  unsigned int getTotalFrames() const { return _totalFrames; }
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
  // True when the frame loop was asked to stop.
  bool isQuitRequested() const { return _quitRequested; }

  // True on the thread that created the Director (the UI thread).
  bool isUIThread() const { return std::this_thread::get_id() == _uiThread; }

  // The application's frame loop marks itself running so that end() only
  // requests the stop.
  void setFrameLoopRunning(bool running) { _frameLoopRunning = running; }

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

  Scheduler* _scheduler = nullptr;
  unsigned int _totalFrames = 0;
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
