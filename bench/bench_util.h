// Timing helpers for the benchmark programs.
#pragma once

#include <sys/resource.h>

#include <chrono>

template <typename F>
double secondsOf(F&& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best of `runs` timings: the least disturbed by the rest of the machine.
template <typename F>
double bestSecondsOf(int runs, F&& work) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    double s = secondsOf(work);
    if (s < best) best = s;
  }
  return best;
}

// CPU seconds of the whole process so far, every thread (ended ones too) counted.
inline double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
