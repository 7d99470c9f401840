// Timing helpers for the benchmark programs.
#pragma once

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
