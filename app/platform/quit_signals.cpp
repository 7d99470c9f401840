#include "app/platform/quit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace sonara::platform {

namespace {

// The pipe's ends; the write end is used from the handler only.
int wake_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onSignal(int signal) {
  const int saved = errno;
  const auto byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] ssize_t written = ::write(wake_pipe[1], &byte, 1);  // a full pipe already wakes
  errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(std::function<void()> quit, QObject* parent) : QObject(parent), quit_(std::move(quit)) {
  if (::pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(wake_pipe[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitSignals::drain);
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

QuitSignals::~QuitSignals() {
  for (int signal : kSignals) ::signal(signal, SIG_DFL);
  notifier_.reset();
  for (int& end : wake_pipe) {
    if (end >= 0) ::close(end);
    end = -1;
  }
}

void QuitSignals::drain() {
  unsigned char byte = 0;
  bool any = false;
  while (::read(wake_pipe[0], &byte, 1) == 1) {
    received_ = byte;
    any = true;
  }
  if (any && quit_) quit_();
}

}  // namespace sonara::platform
