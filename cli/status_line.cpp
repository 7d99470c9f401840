#include "cli/status_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/log.h"

namespace pelmora::cli {

namespace {
int terminalColumns() {
  winsize w{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &w) == 0 && w.ws_col > 0) return w.ws_col;
  return 80;
}
}  // namespace

StatusLine::~StatusLine() {
  if (captured_) {
    sonara::platform::flushLog();
    sonara::platform::setLogSink(nullptr, nullptr);
  }
}

void StatusLine::captureLog() {
  sonara::platform::setLogSink(&StatusLine::logSink, this);
  captured_ = true;
}

void StatusLine::logSink(const char* line, void* context) {
  static_cast<StatusLine*>(context)->message(line);
}

std::string StatusLine::fitted(const std::string& text, int columns) {
  const int room = columns > 1 ? columns - 1 : 1;
  int shown = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (shown == room) return text.substr(0, i);
    // Step over one UTF-8 sequence: a lead byte and its continuation bytes.
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    ++shown;
  }
  return text;
}

void StatusLine::clearLocked() {
  if (terminal_ && drawn_) {
    std::fputs("\r\x1b[K", stdout);
    std::fflush(stdout);
    drawn_ = false;
  }
}

void StatusLine::drawLocked() {
  if (text_.empty()) return;
  if (terminal_) {
    std::printf("\r\x1b[K%s", fitted(text_, terminalColumns()).c_str());
    drawn_ = true;
  } else {
    std::printf("%s\n", text_.c_str());
  }
  std::fflush(stdout);
}

void StatusLine::show(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (text == text_ && (drawn_ || !terminal_)) return;  // nothing new to show
  text_ = text;
  drawLocked();
}

void StatusLine::message(const std::string& text) { printApart(stderr, text); }

void StatusLine::note(const std::string& text) { printApart(stdout, text); }

void StatusLine::printApart(FILE* stream, const std::string& text) {
  std::lock_guard lock(mutex_);
  clearLocked();
  std::fprintf(stream, "%s\n", text.c_str());
  std::fflush(stream);
  if (terminal_) drawLocked();
}

void StatusLine::finish() {
  std::lock_guard lock(mutex_);
  clearLocked();
  text_.clear();
}

}  // namespace pelmora::cli
