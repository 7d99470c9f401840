#include "cli/exit_signals.h"

#include <atomic>
#include <csignal>

namespace pelmora::cli {
namespace {

std::atomic<int> g_terminating{0};
std::atomic<int> g_other{0};

void onSignal(int signal) {
  if (isTerminating(signal)) {
    g_terminating = signal;
  } else {
    g_other = signal;
  }
}

}  // namespace

void installPlayerSignals() {
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) ::sigaction(s, &action, nullptr);
}

int takeSignal() {
  if (int s = g_terminating.load(); s != 0) return s;  // kept: the run is ending
  return g_other.exchange(0);
}

int terminatingSignal() { return g_terminating.load(); }

bool takeSignalIf(int signal) {
  int expected = signal;
  return g_other.compare_exchange_strong(expected, 0);
}

bool isTerminating(int signal) { return signal == SIGINT || signal == SIGTERM || signal == SIGHUP; }

int exitStatusOf(int signal) { return 128 + signal; }

}  // namespace pelmora::cli
