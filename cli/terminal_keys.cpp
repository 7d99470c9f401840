#include "cli/terminal_keys.h"

#include <poll.h>
#include <unistd.h>

namespace pelmora::cli {

TerminalKeys::TerminalKeys() {
  if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &saved_) != 0) return;
  termios raw = saved_;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  active_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

TerminalKeys::~TerminalKeys() {
  if (active_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
}

int TerminalKeys::next() {
  if (!active_) return -1;
  pollfd p{STDIN_FILENO, POLLIN, 0};
  unsigned char c;
  if (::poll(&p, 1, 0) > 0 && ::read(STDIN_FILENO, &c, 1) == 1) return c;
  return -1;
}

}  // namespace pelmora::cli
