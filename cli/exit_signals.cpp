#include "cli/exit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace pelmora::cli {
namespace {

std::atomic<int> g_terminating{0};
std::atomic<int> g_other{0};
int g_wake[2] = {-1, -1};

void onSignal(int signal) {
  const int saved = errno;
  if (isTerminating(signal)) {
    g_terminating = signal;
  } else {
    g_other = signal;
  }
  // A full pipe already holds a wake-up.
  if (g_wake[1] >= 0) {
    const ssize_t n = ::write(g_wake[1], "s", 1);
    (void)n;
  }
  errno = saved;
}

}  // namespace

void installPlayerSignals() {
  if (g_wake[0] < 0 && ::pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) g_wake[0] = g_wake[1] = -1;
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) ::sigaction(s, &action, nullptr);
}

int takeSignal() {
  if (int s = g_terminating.load(); s != 0) return s;  // kept: the run is ending
  return g_other.exchange(0);
}

int signalWakeFd() { return g_wake[0]; }

void drainSignalWakes() {
  char bytes[64];
  if (g_wake[0] >= 0) {
    while (::read(g_wake[0], bytes, sizeof bytes) > 0) {
    }
  }
}

int terminatingSignal() { return g_terminating.load(); }

bool isTerminating(int signal) { return signal == SIGINT || signal == SIGTERM || signal == SIGHUP; }

int exitStatusOf(int signal) { return 128 + signal; }

}  // namespace pelmora::cli
