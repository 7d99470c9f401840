// A session bus of the test's own: a dbus-daemon started for one fixture, its
// address for the programs the test runs, and a way to make it go away mid-test.
// Every wait is bounded.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

class PrivateSessionBus {
 public:
  PrivateSessionBus() {
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      // Its complaints about resource limits are no concern of the test's.
      const int null = ::open("/dev/null", O_WRONLY);
      if (null >= 0) ::dup2(null, STDERR_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1",
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    // The address is the first line the daemon prints, once it listens.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    char c = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{out[0], POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      if (::read(out[0], &c, 1) != 1) break;
      if (c == '\n') break;
      address_ += c;
    }
    ::close(out[0]);
    if (c != '\n') address_.clear();
  }
  ~PrivateSessionBus() { kill(SIGTERM); }
  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

  // Empty when the daemon did not start.
  const std::string& address() const { return address_; }
  // "DBUS_SESSION_BUS_ADDRESS='...'" for a command line.
  std::string env() const { return "DBUS_SESSION_BUS_ADDRESS='" + address_ + "'"; }

  // Ends the daemon (SIGKILL: as it crashes) and waits, boundedly, until it has gone.
  void kill(int signal = SIGKILL) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  std::string address_;
};
