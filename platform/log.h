// One line of English text per event on standard error. A line said again within a
// few seconds (among the last few different lines) is not written again: the
// repeats are counted and said in one line, "<line> (435 more)", when the line has
// been quiet for a while and others come, or when the log is flushed (at exit).
#pragma once

namespace sonara::platform {

// printf-style; a trailing newline is added. Never call from the real-time thread.
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Like logLine, but said only the first time this format is used in the process: for
// a lasting condition met again at every resume, skip and back.
void logLineOnce(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes the count of a pending run of repeats (also done at exit).
void flushLog();

// Tests capture what the engine logs.
using LogSink = void (*)(const char* line, void* context);
void setLogSink(LogSink sink, void* context);  // null restores standard error

}  // namespace sonara::platform
