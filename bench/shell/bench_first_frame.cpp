// Time from process start to the first frame on screen: the program's launch
// (the delegate of the shell library in its real window, its frame loop
// stopped after the first swap; a first run in a fresh writable folder and a
// second run in a folder that has seen one) against a bare SDL window with a
// GL context that clears and swaps once. Every sample is a fresh process on
// the same virtual screen (1920 x 1080, started here when there is no
// display); the clock starts just before the process is spawned and stops
// at the child's report after its swap (CLOCK_MONOTONIC is shared by all
// processes).
//
//   bench_first_frame [--benchmark_* options]
//
// After the benchmarks a summary gives the medians, their difference and
// their ratio.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/platform/CCGL.h"
#include "shell/AppDelegate.h"
#include "tests/engine_gl/support_xvfb.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

int64_t monotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The child's report: the clock right after its first swap, on stdout.
void report() {
  std::printf("FIRST_FRAME %lld\n", static_cast<long long>(monotonicNs()));
  std::fflush(stdout);
}

// ------------------------------------------------------------ children
int runProgram() {
  AppDelegate app;
  cocos2d::Ref::enableCheckMemory();
  cocos2d::Ref::setLeakID(256);
  cocos2d::Application::setFrameLoop([](cocos2d::Application*) {
    cocos2d::Director::getInstance()->mainLoop();
    report();
    cocos2d::Director::getInstance()->end();
  });
  return cocos2d::Application::getInstance()->run();
}

int runBareWindow() {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
  SDL_Rect area{0, 0, 0, 0};
  if (SDL_GetDisplayUsableBounds(0, &area) != 0) SDL_GetDisplayBounds(0, &area);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
  SDL_Window* window = SDL_CreateWindow("bare", area.x, area.y, area.w, area.h, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
  if (!window) return 1;
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (!context) return 1;
  glViewport(0, 0, area.w, area.h);
  glClearColor(0.15f, 0.17f, 0.2f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  SDL_GL_SwapWindow(window);
  report();
  SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}

// ------------------------------------------------------------ parent
std::string g_self;

// Spawns this program as `mode`; the time from just before the spawn to the
// child's report, in seconds (negative on failure). Waits for the child.
double timeChild(const char* mode) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::string self = g_self, arg = mode;
  char* argv[] = {self.data(), arg.data(), nullptr};
  const int64_t start = monotonicNs();
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return -1;
  }
  std::string out;
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  const size_t at = out.find("FIRST_FRAME ");
  if (at == std::string::npos || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  const long long stamp = std::atoll(out.c_str() + at + 12);
  return static_cast<double>(stamp - start) / 1e9;
}

std::string freshFolder() {
  std::string pattern = (fs::temp_directory_path() / "fw-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return "";
  return pattern + "/";
}

std::vector<double> g_bare, g_firstRun, g_secondRun;

void sample(benchmark::State& state, const char* mode, std::vector<double>& into, bool freshEachTime) {
  std::string folder = freshEachTime ? "" : freshFolder();
  if (!freshEachTime) {
    setenv("FW_WRITABLE_PATH", folder.c_str(), 1);
    timeChild("--child=program");  // the first run of this folder, not timed
  }
  for (auto _ : state) {
    if (freshEachTime) {
      folder = freshFolder();
      setenv("FW_WRITABLE_PATH", folder.c_str(), 1);
    }
    const double seconds = timeChild(mode);
    if (seconds < 0) {
      state.SkipWithError("the child did not report its first frame");
      break;
    }
    state.SetIterationTime(seconds);
    into.push_back(seconds);
    if (freshEachTime) fs::remove_all(folder);
  }
  if (!freshEachTime) fs::remove_all(folder);
}

void BM_BareWindowFirstFrame(benchmark::State& state) { sample(state, "--child=bare", g_bare, true); }
void BM_ProgramFirstFrame_FirstRun(benchmark::State& state) {
  sample(state, "--child=program", g_firstRun, true);
}
void BM_ProgramFirstFrame_SecondRun(benchmark::State& state) {
  sample(state, "--child=program", g_secondRun, false);
}

BENCHMARK(BM_BareWindowFirstFrame)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramFirstFrame_FirstRun)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgramFirstFrame_SecondRun)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--child=program") == 0) return runProgram();
  if (argc > 1 && std::strcmp(argv[1], "--child=bare") == 0) return runBareWindow();

  setenv("FW_XVFB_SCREEN", "1920x1080x24", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("FW_RESOURCE_ROOT", FW_BINARY_DIR "/resources/", 0);
  setenv("FW_SERVICE_URL", "https://127.0.0.1:9", 1);
  if (startVirtualScreen(argc, argv)) {
    std::fprintf(stderr, "no display and no Xvfb: nothing to measure\n");
    return 0;
  }
  g_self = fs::read_symlink("/proc/self/exe").string();

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const double bare = median(g_bare), first = median(g_firstRun), second = median(g_secondRun);
  if (bare > 0) {
    std::printf("\nfirst frame, median of each: bare SDL window %.0f ms; program first run %.0f ms "
                "(+%.0f ms, x%.2f); second run %.0f ms (+%.0f ms, x%.2f)\n",
                bare * 1e3, first * 1e3, (first - bare) * 1e3, first / bare, second * 1e3, (second - bare) * 1e3,
                second / bare);
  }
  return 0;
}
