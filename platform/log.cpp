#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace sonara::platform {
namespace {
std::mutex g_mutex;
LogSink g_sink = nullptr;
void* g_context = nullptr;
std::string g_last;        // the last line written
unsigned long g_repeats = 0;  // how often it came again since

void emitLocked(const std::string& line) {
  if (g_sink) {
    g_sink(line.c_str(), g_context);
    return;
  }
  std::string out = line + "\n";
  std::fwrite(out.data(), 1, out.size(), stderr);
}

void flushRepeatsLocked() {
  if (g_repeats == 0) return;
  std::string summary = g_last + " (" + std::to_string(g_repeats) + " more)";
  g_repeats = 0;
  emitLocked(summary);
}

void flushAtExit() { flushLog(); }
}  // namespace

void setLogSink(LogSink sink, void* context) {
  std::lock_guard lock(g_mutex);
  flushRepeatsLocked();
  g_sink = sink;
  g_context = context;
  g_last.clear();
}

void flushLog() {
  std::lock_guard lock(g_mutex);
  flushRepeatsLocked();
}

void logLine(const char* format, ...) {
  char stack[512];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(stack, sizeof stack, format, args);
  va_end(args);
  std::string line;
  if (n < 0) {
    line = format;
  } else if (static_cast<size_t>(n) < sizeof stack) {
    line.assign(stack, static_cast<size_t>(n));
  } else {
    line.resize(static_cast<size_t>(n));
    std::vsnprintf(line.data(), line.size() + 1, format, copy);
  }
  va_end(copy);

  static std::once_flag at_exit;
  std::call_once(at_exit, [] { std::atexit(flushAtExit); });
  std::lock_guard lock(g_mutex);
  if (!g_last.empty() && line == g_last) {
    ++g_repeats;
    return;
  }
  flushRepeatsLocked();
  g_last = line;
  emitLocked(line);
}

}  // namespace sonara::platform
