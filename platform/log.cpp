#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace sonara::platform {
namespace {
std::mutex g_mutex;
LogSink g_sink = nullptr;
void* g_context = nullptr;
}  // namespace

void setLogSink(LogSink sink, void* context) {
  std::lock_guard lock(g_mutex);
  g_sink = sink;
  g_context = context;
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

  std::lock_guard lock(g_mutex);
  if (g_sink) {
    g_sink(line.c_str(), g_context);
    return;
  }
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace sonara::platform
