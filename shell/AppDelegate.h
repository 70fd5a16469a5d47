// The application delegate: starts the program on the engine, reacts to the
// window going to the background and coming back and to a path handed in,
// and takes every service down in a fixed order when the engine ends.
//
// It lives on the stack of the program entry (shell/main.cpp) for the whole
// run. One launch per process: the teardown ends the process-wide services
// for good.
#pragma once

#include "engine/platform/Application.h"

class AppDelegate : public cocos2d::Application {
 public:
  AppDelegate() = default;
  ~AppDelegate() override = default;

  // Teardown: discovery stopped and deleted, imaging registries released,
  // the task service stopped and released, the new-version notice stopped
  // and released, the DICOM library ended, the UI-file cache ended, the
  // settings singleton released, the statistics service shut down and
  // released, and last the notification centre, the data-object manager
  // and the HTTP client. A service that does not exist is skipped.
  void applicationWillExit() override;
  // Launch: settings and localisation, the window inside the work area
  // (unless the engine has a view already), search paths, design size =
  // frame size, the DICOM library's callbacks, the data objects, the login
  // watch and statistics, the home screen as the first scene, the
  // new-version notice, discovery, the echo of the known nodes, the launch
  // event and the two sounds. False only when no window can be opened (or
  // after a teardown in the same process).
  bool applicationDidFinishLaunching() override;
  // Rendering stops (frames, timers and notifications go on).
  void applicationDidEnterBackground() override;
  // Rendering again, a discovery sweep, the update check renewed, the
  // new-version notice, an echo sweep over the local subnets.
  void applicationWillEnterForeground() override;
  // 8 bits each for red, green, blue and alpha, 24 for depth, 8 for stencil.
  void initGLContextAttrs() override;
  // Posts the path as NOTIFY_IMPORT_PATH (2026): no sender, broadcast,
  // serial kind, the path as text ("" for null).
  void applicationOpenPath(const char* path) override;
};
