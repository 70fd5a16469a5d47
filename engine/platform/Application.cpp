#include "engine/platform/Application.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <thread>

#include "engine/base/Director.h"
#include "engine/base/ccLog.h"

extern char** environ;

NS_CC_BEGIN

namespace {
std::atomic<Application*> g_application{nullptr};
Application::FrameLoop& frameLoopHook() {
  static Application::FrameLoop* hook = new Application::FrameLoop;
  return *hook;
}
}  // namespace

Application::Application() { g_application.store(this); }

Application::~Application() {
  Application* self = this;
  g_application.compare_exchange_strong(self, nullptr);
}

Application* Application::getInstance() { return g_application.load(); }

void Application::setFrameLoop(FrameLoop loop) { frameLoopHook() = std::move(loop); }

bool Application::hasFrameLoop() { return static_cast<bool>(frameLoopHook()); }

int Application::run() {
  initGLContextAttrs();
  if (!applicationDidFinishLaunching()) return 1;
  Director* director = Director::getInstance();
  director->setFrameLoopRunning(true);
  runFrameLoop();
  director->setFrameLoopRunning(false);
  // Screens clean up while the services they reach still exist.
  director->purgeScenes();
  applicationWillExit();
  Director::getInstance()->end();
  return 0;
}

void Application::runFrameLoop() {
  if (frameLoopHook()) {
    frameLoopHook()(this);
    return;
  }
  // Headless: frames at the animation interval until the end is requested.
  Director* director = Director::getInstance();
  auto next = std::chrono::steady_clock::now();
  while (!director->isQuitRequested()) {
    director->mainLoop();
    next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(director->getAnimationInterval()));
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now;  // fell behind: no burst of catch-up frames
    std::this_thread::sleep_until(next);
  }
}

void Application::setAnimationInterval(float interval) {
  Director::getInstance()->setAnimationInterval(interval);
}

LanguageType Application::getCurrentLanguage() { return languageTypeFromLocale(currentLocaleName()); }

const char* Application::getCurrentLanguageCode() { return languageCode(getCurrentLanguage()); }

bool Application::openURL(const std::string& url) {
  std::string scheme;
  size_t colon = url.find(':');
  if (colon != std::string::npos) scheme = url.substr(0, colon);
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  if (scheme != "http" && scheme != "https" && scheme != "file") {
    log("openURL: refusing '%s'", url.c_str());
    return false;
  }
  std::string program = "xdg-open";
  char* argv[] = {program.data(), const_cast<char*>(url.c_str()), nullptr};
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ);
  if (rc != 0) {
    log("openURL: cannot start xdg-open (error %d)", rc);
    return false;
  }
  // Reap the child without blocking the caller.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

NS_CC_END
