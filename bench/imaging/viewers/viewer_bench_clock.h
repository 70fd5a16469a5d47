// Timing helpers shared by the viewer benchmarks: medians, wall-clock
// milliseconds and the UI thread's own CPU time.
#pragma once

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

namespace viewerbench {

using Clock = std::chrono::steady_clock;

inline double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

inline double msSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// CPU time of the calling (UI) thread, in milliseconds: what a frame costs
// the UI thread itself, apart from waiting for the GL rasterizer and the X
// server.
inline double threadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

}  // namespace viewerbench
