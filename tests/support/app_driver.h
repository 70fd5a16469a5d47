// Drives the real program in tests: the application delegate runs in its
// real SDL window (under a virtual screen of its own when there is no
// display) with a scripted frame loop in place of the program's loop, and
// the script feeds it through the real input path (SDL events pushed into
// the window's queue, handled at the next frame).
//
//   fwtest::AppEnvironment env;          // fresh writable folder, closed
//                                        // service port, resource tree
//   AppDelegate app;
//   fwtest::AppDriver driver;
//   int rc = driver.run(app, [&](fwtest::AppDriver& d) {
//     d.frames(3);
//     d.minimize();
//     d.runFor(0.5);
//     ...
//   });                                  // quit event, teardown, rc 0
//
// The script runs on the UI thread inside Application::run, between frames;
// when it returns the driver pushes a quit event (unless the program is
// quitting already) and runs frames until the loop ends, so the teardown
// entry runs as it does in the program. A view set on the Director before
// run() (headless) works too: events then go straight to the view.
//
// Link: the delegate's library, SDL2, GLEW and GL. One launch per process:
// the teardown ends the process-wide services for good (see
// runThisTestInFreshProcess).
#pragma once

#include <SDL2/SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/platform/CCGL.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/renderer/Renderer.h"
#include "engine/renderer/RendererGL.h"
#include "engine_gl/support_xvfb.h"
#include "support/loopback.h"

extern char** environ;

namespace fwtest {

// Starts a virtual screen (default 1920 x 1080, FW_XVFB_SCREEN overrides)
// when there is no display; true when window tests must be skipped.
inline bool startDisplay(int argc, char** argv) {
  // Mesa unloads its driver at exit; kept loaded, allocations it leaves
  // behind stay attributable (and suppressible by name) for leak checks.
  dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_LAZY | RTLD_NODELETE);
  setenv("FW_XVFB_SCREEN", "1920x1080x24", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  return startVirtualScreen(argc, argv);
}

// What one launch of the program reads from its environment: a fresh
// writable folder (removed afterwards), the build's resource tree and the
// service address at a loopback port where nothing listens.
class AppEnvironment {
 public:
  AppEnvironment() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fw-app-XXXXXX").string();
    if (mkdtemp(pattern.data())) writable = pattern + "/";
    setenv("FW_WRITABLE_PATH", writable.c_str(), 1);
#ifdef FW_BINARY_DIR
    setenv("FW_RESOURCE_ROOT", FW_BINARY_DIR "/resources/", 0);
#endif
    serviceUrl = "https://127.0.0.1:" + std::to_string(closedLoopbackPort());
    setenv("FW_SERVICE_URL", serviceUrl.c_str(), 1);
    unsetenv("FW_SERVICE_CA");
    auto* files = cocos2d::FileUtils::getInstance();
    files->setWritablePath(writable);
    if (const char* root = std::getenv("FW_RESOURCE_ROOT")) files->setDefaultResourceRootPath(root);
  }
  ~AppEnvironment() {
    if (!keep && !writable.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(writable, ec);
    }
  }
  AppEnvironment(const AppEnvironment&) = delete;
  AppEnvironment& operator=(const AppEnvironment&) = delete;

  // A port on 127.0.0.1 that was free a moment ago and has no listener.
  static uint16_t closedLoopbackPort() {
    uint16_t port = 9;
    int fd = bindLoopback(port);
    if (fd >= 0) close(fd);
    return port;
  }

  std::string writable;    // ends with '/'
  std::string serviceUrl;  // "https://127.0.0.1:<closed port>"
  bool keep = false;       // keep the folder (to look at what was written)
};

// The pixels of one frame, rows top first, RGB.
struct FramePixels {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
  // (x, y) in window pixels with y from the top.
  const unsigned char* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

class AppDriver {
 public:
  using Script = std::function<void(AppDriver&)>;

  // Runs app.run() with `script` as its frame loop (see the file comment)
  // and returns run()'s result. The frame loop is uninstalled afterwards.
  int run(cocos2d::Application& app, Script script) {
    cocos2d::Application::setFrameLoop([this, script](cocos2d::Application*) {
      if (script) script(*this);
      if (!quitting()) quit();
      for (int i = 0; i < 600 && !quitting(); ++i) frame();
      if (!quitting()) cocos2d::Director::getInstance()->end();  // the quit event never arrived
    });
    const int rc = app.run();
    cocos2d::Application::setFrameLoop(nullptr);
    return rc;
  }

  // ------------------------------------------------------------ frames
  // One frame timed by the wall clock, then a pause to the frame interval.
  // Nothing once the program is quitting.
  void frame() {
    auto* director = cocos2d::Director::getInstance();
    if (quitting()) return;
    const auto start = std::chrono::steady_clock::now();
    director->mainLoop();
    std::this_thread::sleep_until(start + std::chrono::duration<double>(director->getAnimationInterval()));
  }
  void frames(int n) {
    for (int i = 0; i < n && !quitting(); ++i) frame();
  }
  // Frames for at least `seconds` of wall-clock time.
  void runFor(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!quitting() && std::chrono::steady_clock::now() < end) frame();
  }
  // Frames until done() (checked after each frame) or the time is up.
  bool runUntil(const std::function<bool()>& done, double seconds = 10) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!quitting() && std::chrono::steady_clock::now() < end) {
      frame();
      if (done()) return true;
    }
    return done();
  }
  bool quitting() const {
    auto* director = cocos2d::Director::getInstanceIfExists();
    return !director || director->isQuitRequested();
  }

  // ------------------------------------------------------------ input
  // The window's events go into SDL's queue and are handled at the next
  // frame, as the platform's would be; without a window they go to the view.
  bool windowed() const { return SDL_WasInit(SDL_INIT_VIDEO) != 0 && SDL_GL_GetCurrentWindow() != nullptr; }
  Uint32 windowId() const { return windowed() ? SDL_GetWindowID(SDL_GL_GetCurrentWindow()) : 0; }
  bool push(SDL_Event e) {
    if (!e.common.timestamp) e.common.timestamp = SDL_GetTicks();
    return SDL_PushEvent(&e) == 1;
  }
  void windowEvent(Uint8 which) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = windowId();
    e.window.event = which;
    push(e);
  }
  void minimize() {
    if (windowed()) windowEvent(SDL_WINDOWEVENT_MINIMIZED);
    else if (auto* v = view()) v->injectMinimize();
  }
  void restore() {
    if (windowed()) windowEvent(SDL_WINDOWEVENT_RESTORED);
    else if (auto* v = view()) v->injectRestore();
  }
  // A file or folder dropped on the window.
  void drop(const std::string& path) {
    if (!windowed()) {
      if (auto* v = view()) v->injectDrop(path);
      return;
    }
    SDL_Event e{};
    e.type = SDL_DROPFILE;
    e.drop.windowID = windowId();
    e.drop.file = SDL_strdup(path.c_str());  // the window frees it
    push(e);
  }
  // Mouse input at (x, y) in design units (origin bottom-left); button 0
  // left, 1 right, 2 middle. A drag is down, moves, up.
  void mouseDown(float x, float y, int button = 0) { mouseButton(true, x, y, button); }
  void mouseUp(float x, float y, int button = 0) { mouseButton(false, x, y, button); }
  void mouseMove(float x, float y, int heldButton = -1) {
    if (!windowed()) {
      if (auto* v = view()) v->injectMouseMove(x, y, heldButton);
      return;
    }
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = windowId();
    e.motion.x = static_cast<Sint32>(x);
    e.motion.y = static_cast<Sint32>(view()->getFrameSize().height - y);
    e.motion.state = heldButton == 0 ? SDL_BUTTON_LMASK : heldButton == 1 ? SDL_BUTTON_RMASK
                     : heldButton == 2 ? SDL_BUTTON_MMASK : 0;
    push(e);
  }
  void click(float x, float y) {
    mouseDown(x, y);
    mouseUp(x, y);
  }
  // A key pressed and released (SDL key code, e.g. SDLK_ESCAPE).
  void key(SDL_Keycode code) {
    for (Uint32 type : {SDL_KEYDOWN, SDL_KEYUP}) {
      SDL_Event e{};
      e.type = type;
      e.key.windowID = windowId();
      e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
      e.key.keysym.sym = code;
      e.key.keysym.scancode = SDL_GetScancodeFromKey(code);
      push(e);
    }
  }
  // Text typed into the focused field (UTF-8, under 32 bytes per event).
  void text(const std::string& utf8) {
    if (!windowed()) {
      if (auto* v = view()) v->injectText(utf8);
      return;
    }
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = windowId();
    SDL_strlcpy(e.text.text, utf8.c_str(), sizeof e.text.text);
    push(e);
  }
  // The quit event (what closing the window or SIGTERM gives).
  void quit() {
    if (windowed()) {
      SDL_Event e{};
      e.type = SDL_QUIT;
      push(e);
    } else if (auto* d = cocos2d::Director::getInstanceIfExists()) {
      d->end();
    }
  }

  // ------------------------------------------------------------ pixels
  // Runs one frame and reads what it drew (before the swap); empty without
  // a window or while rendering is stopped (in the background). With a
  // path, also writes the pixels as a PNG file there.
  FramePixels grabFrame(const std::string& pngPath = "") {
    FramePixels out;
    auto* director = cocos2d::Director::getInstance();
    auto* gl = dynamic_cast<cocos2d::RendererGL*>(director->getRenderer()->getBackend());
    cocos2d::GLView* v = view();
    if (!gl || !v || !cocos2d::GL::isContextReady() || director->isAnimationStopped() || quitting()) return out;
    bool done = false;
    gl->runAfterNextFrame([&] {
      const int w = static_cast<int>(v->getFrameSize().width), h = static_cast<int>(v->getFrameSize().height);
      std::vector<unsigned char> raw(static_cast<size_t>(w) * h * 3);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadBuffer(GL_BACK);
      glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, raw.data());
      out.width = w;
      out.height = h;
      out.rgb.resize(raw.size());
      const size_t stride = static_cast<size_t>(w) * 3;
      for (int row = 0; row < h; ++row)
        std::copy_n(&raw[static_cast<size_t>(h - 1 - row) * stride], stride, &out.rgb[row * stride]);
      done = true;
    });
    for (int i = 0; i < 5 && !done && !quitting(); ++i) frame();
    if (done && !pngPath.empty()) cocos2d::Image::writePng(pngPath, out.rgb.data(), out.width, out.height, 3);
    return out;
  }

  static cocos2d::GLView* view() {
    auto* d = cocos2d::Director::getInstanceIfExists();
    return d ? d->getOpenGLView() : nullptr;
  }

 private:
  void mouseButton(bool down, float x, float y, int button) {
    if (!windowed()) {
      if (auto* v = view()) {
        if (down) v->injectMouseDown(x, y, button);
        else v->injectMouseUp(x, y, button);
      }
      return;
    }
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = windowId();
    e.button.button = button == 1 ? SDL_BUTTON_RIGHT : button == 2 ? SDL_BUTTON_MIDDLE : SDL_BUTTON_LEFT;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = static_cast<Sint32>(x);
    e.button.y = static_cast<Sint32>(view()->getFrameSize().height - y);
    push(e);
  }
};

// ------------------------------------------------------------ processes
// A program started with the current environment; with `captureOutput` its
// standard output and error arrive on `output` (the engine logs to stderr).
struct ChildProcess {
  pid_t pid = -1;
  int output = -1;
  std::string seen;  // output read so far
};

inline ChildProcess spawnProgram(const std::string& program, const std::vector<std::string>& args,
                                 bool captureOutput = false) {
  ChildProcess child;
  std::vector<std::string> copy = args;
  copy.insert(copy.begin(), program);
  std::vector<char*> argv;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  int fds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (captureOutput && pipe2(fds, O_CLOEXEC) == 0) {
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  }
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (fds[1] >= 0) close(fds[1]);
  if (rc != 0) {
    if (fds[0] >= 0) close(fds[0]);
    return child;
  }
  child.pid = pid;
  child.output = fds[0];
  return child;
}

// Reads the child's output until it holds `needle` (true), the output ends
// or the time is up (false).
inline bool waitForOutput(ChildProcess& child, const std::string& needle, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (child.output >= 0 && child.seen.find(needle) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{child.output, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[4096];
    const ssize_t n = read(child.output, buf, sizeof buf);
    if (n <= 0) break;
    child.seen.append(buf, static_cast<size_t>(n));
  }
  return child.seen.find(needle) != std::string::npos;
}

// Waits for the child's end (reading the rest of its output); the status as
// waitpid gives it, -1 when there is no child. With `seconds` >= 0 a child
// still running after that long is killed (SIGKILL), so a hung program fails
// its test instead of stalling the run.
inline int waitProgram(ChildProcess& child, double seconds = -1) {
  if (child.pid < 0) return -1;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds < 0 ? 1e9 : seconds);
  auto leftMs = [&] {
    return static_cast<int>(std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count()));
  };
  if (child.output >= 0) {
    char buf[4096];
    for (;;) {
      pollfd p{child.output, POLLIN, 0};
      const int ready = poll(&p, 1, seconds < 0 ? -1 : leftMs());
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) break;  // time is up
      const ssize_t n = read(child.output, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      child.seen.append(buf, static_cast<size_t>(n));
    }
    close(child.output);
    child.output = -1;
  }
  int status = 0;
  for (;;) {
    const pid_t got = waitpid(child.pid, &status, seconds < 0 ? 0 : WNOHANG);
    if (got == child.pid) break;
    if (got < 0 && errno != EINTR) return -1;
    if (got == 0) {
      if (leftMs() == 0) {
        child.seen += "\n[killed: still running after " + std::to_string(seconds) + " s]\n";
        kill(child.pid, SIGKILL);
        seconds = -1;  // now wait for the kill to land
        continue;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  child.pid = -1;
  return status;
}

// Runs the current test program again, in a fresh process, for exactly the
// named test (its environment inherited: display, writable folder, service
// address). True when it passed. Use it where one test needs a second launch
// of the program, or when a launch already happened in this process.
inline bool runTestInFreshProcess(const std::string& fullTestName) {
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  ChildProcess child = spawnProgram(self, {"--gtest_filter=" + fullTestName, "--gtest_also_run_disabled_tests"});
  const int status = waitProgram(child, 200);
  return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace fwtest
