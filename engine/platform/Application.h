// Base of the application delegate: the engine calls its entries and runs
// the frame loop.
#pragma once

#include <functional>
#include <string>

#include "engine/base/ccMacros.h"
#include "engine/platform/Common.h"

NS_CC_BEGIN

class Application {
 public:
  enum class Platform { OS_WINDOWS, OS_LINUX, OS_MAC, OS_ANDROID, OS_IPHONE, OS_IPAD };

  Application();
  virtual ~Application();

  // The application object constructed last (null when none lives).
  static Application* getInstance();

  // Runs the application; returns the process exit code:
  //   1. initGLContextAttrs();
  //   2. applicationDidFinishLaunching(); false returns 1 at once;
  //   3. the frame loop, until the window closes or Director::end() is
  //      called from inside it;
  //   4. Director::purgeScenes(): every scene exits, is cleaned up and
  //      released, the pool is drained, while the scheduler, dispatcher
  //      and caches still exist;
  //   5. applicationWillExit(), while the Director and scheduler still exist;
  //   6. Director::end(): listeners and actions removed, the window closed,
  //      pools drained, settings flushed;
  //   7. returns 0.
  int run();

  // Teardown entry, called once at step 5 of run().
  virtual void applicationWillExit() {}
  virtual bool applicationDidFinishLaunching() = 0;
  virtual void applicationDidEnterBackground() {}
  virtual void applicationWillEnterForeground() {}
  virtual void initGLContextAttrs() {}
  // A path handed to the application by the platform (a dropped file),
  // delivered on the UI thread.
  virtual void applicationOpenPath(const char* /*path*/) {}

  void setAnimationInterval(float interval);

  // From the first non-empty of LC_ALL, LC_MESSAGES and LANG.
  LanguageType getCurrentLanguage();
  // ISO 639-1 code of getCurrentLanguage().
  const char* getCurrentLanguageCode();
  Platform getTargetPlatform() { return Platform::OS_LINUX; }

  // Opens an http, https or file URL with xdg-open (no shell). False for
  // other schemes or when xdg-open cannot be started.
  bool openURL(const std::string& url);

  // The window layer installs its frame loop here; without one, run() uses
  // the headless loop (frames paced by the animation interval, no window).
  typedef std::function<void(Application*)> FrameLoop;
  // The windowed view installs its loop only when none is installed, so a
  // loop set before run() (a test's scripted loop) stays in charge.
  static void setFrameLoop(FrameLoop loop);
  static bool hasFrameLoop();

 private:
  void runFrameLoop();
};

NS_CC_END
