#include "platform/log.h"

#include <chrono>
#include <cstdarg>
#include <deque>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>

#include "platform/vformat.h"

namespace sonara::platform {
namespace {

using Clock = std::chrono::steady_clock;

// A line said lately: further copies within a few seconds are counted, not written.
struct Recent {
  std::string line;
  unsigned long repeats = 0;
  Clock::time_point last;
};

constexpr size_t kRecentLines = 8;
constexpr auto kRepeatWindow = std::chrono::seconds(10);

std::mutex g_mutex;
LogSink g_sink = nullptr;
void* g_context = nullptr;
std::deque<Recent> g_recent;

void emitLocked(const std::string& line) {
  if (g_sink) {
    g_sink(line.c_str(), g_context);
    return;
  }
  std::string out = line + "\n";
  std::fwrite(out.data(), 1, out.size(), stderr);
}

void summarizeLocked(Recent& r) {
  if (r.repeats == 0) return;
  std::string summary = r.line + " (" + std::to_string(r.repeats) + " more)";
  r.repeats = 0;
  emitLocked(summary);
}

// Lines not repeated for a while leave the window, saying their count as they go.
void expireLocked(Clock::time_point now) {
  while (!g_recent.empty() && (g_recent.size() > kRecentLines || now - g_recent.front().last > kRepeatWindow)) {
    summarizeLocked(g_recent.front());
    g_recent.pop_front();
  }
}

void flushRepeatsLocked() {
  for (auto& r : g_recent) summarizeLocked(r);
  g_recent.clear();
}

void flushAtExit() { flushLog(); }
}  // namespace

void setLogSink(LogSink sink, void* context) {
  std::lock_guard lock(g_mutex);
  flushRepeatsLocked();
  g_sink = sink;
  g_context = context;
}

void flushLog() {
  std::lock_guard lock(g_mutex);
  flushRepeatsLocked();
}

namespace {
void logLineV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
}

void logLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  logLineV(format, args);
  va_end(args);
}

void logLineOnce(const char* format, ...) {
  static std::mutex said_mutex;
  static std::set<std::string> said;
  {
    std::lock_guard lock(said_mutex);
    if (!said.insert(format).second) return;
  }
  va_list args;
  va_start(args, format);
  logLineV(format, args);
  va_end(args);
}

namespace {
void logLineV(const char* format, va_list args) {
  std::string line = vformat(format, args);

  static std::once_flag at_exit;
  std::call_once(at_exit, [] { std::atexit(flushAtExit); });
  std::lock_guard lock(g_mutex);
  const auto now = Clock::now();
  for (auto it = g_recent.begin(); it != g_recent.end(); ++it) {
    if (it->line != line || now - it->last > kRepeatWindow) continue;
    ++it->repeats;
    it->last = now;
    // Most recently repeated last, so the window keeps the lines still coming.
    Recent moved = std::move(*it);
    g_recent.erase(it);
    g_recent.push_back(std::move(moved));
    return;
  }
  g_recent.push_back(Recent{line, 0, now});
  expireLocked(now);
  emitLocked(line);
}
}  // namespace

}  // namespace sonara::platform
