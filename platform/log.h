// One line of English text per event on standard error. A line repeated at once is
// not written again: the repeats are counted and said in one line, "<line> (435
// more)", when another line comes or the log is flushed.
#pragma once

namespace sonara::platform {

// printf-style; a trailing newline is added. Never call from the real-time thread.
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes the count of a pending run of repeats (also done at exit).
void flushLog();

// Tests capture what the engine logs.
using LogSink = void (*)(const char* line, void* context);
void setLogSink(LogSink sink, void* context);  // null restores standard error

}  // namespace sonara::platform
