// One line of English text per event on standard error.
#pragma once

namespace sonara::platform {

// printf-style; a trailing newline is added. Never call from the real-time thread.
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Tests capture what the engine logs.
using LogSink = void (*)(const char* line, void* context);
void setLogSink(LogSink sink, void* context);  // null restores standard error

}  // namespace sonara::platform
