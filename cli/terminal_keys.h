// Single key presses from the controlling terminal, without echo; the terminal's
// settings are put back when the object goes.
#pragma once

#include <termios.h>

namespace pelmora::cli {

class TerminalKeys {
 public:
  TerminalKeys();
  ~TerminalKeys();
  TerminalKeys(const TerminalKeys&) = delete;
  TerminalKeys& operator=(const TerminalKeys&) = delete;

  // The next key pressed, or -1 when none is waiting.
  int next();
  bool active() const { return active_; }

 private:
  termios saved_{};
  bool active_ = false;
};

}  // namespace pelmora::cli
