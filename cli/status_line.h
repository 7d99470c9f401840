// The in-place status line of `play` on a terminal: one line, cut to the terminal's
// width so that it never wraps or scrolls, cleared before every log line and drawn
// again after it. Elsewhere (a pipe, a file) each new status is printed as a line.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace pelmora::cli {

class StatusLine {
 public:
  explicit StatusLine(bool terminal) : terminal_(terminal) {}
  ~StatusLine();

  // Routes the engine's log lines through this line while it exists.
  void captureLog();

  void show(const std::string& text);
  // A message of the player itself on standard error, kept clear of the status line.
  void message(const std::string& text);
  // A lasting line on standard output (a result, not a problem), kept clear of it too.
  void note(const std::string& text);
  // Clears the line for good (at the end of playback).
  void finish();

  // `text` cut to `columns` - 1 characters (UTF-8 sequences kept whole).
  static std::string fitted(const std::string& text, int columns);

 private:
  static void logSink(const char* line, void* context);
  void printApart(FILE* stream, const std::string& text);
  void clearLocked();
  void drawLocked();

  std::mutex mutex_;
  bool terminal_;
  bool captured_ = false;
  bool drawn_ = false;
  std::string text_;
};

}  // namespace pelmora::cli
