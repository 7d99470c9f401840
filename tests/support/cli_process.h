// pelmora-cli run in the background on a pseudo-terminal, as a user at a terminal
// would run it: what it prints is read as it comes, keys are typed, signals sent.
// Every wait is bounded and fails the test instead of hanging.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

class CliProcess {
 public:
  // Runs `command` with /bin/sh on a terminal `columns` wide.
  explicit CliProcess(const std::string& command, int columns = 200) {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    pid_ = ::forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~CliProcess() {
    if (pid_ > 0 && status_ < 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  bool started() const { return pid_ > 0 && master_ >= 0; }
  pid_t pid() const { return pid_; }

  // Reads until `text` has appeared in the output (after `from`), or the wait ends.
  bool waitFor(const std::string& text, int seconds = 30, size_t from = 0) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (out_.find(text, from) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline || !readSome(100)) {
        return out_.find(text, from) != std::string::npos;
      }
    }
    return true;
  }
  void type(const std::string& keys) {
    if (::write(master_, keys.data(), keys.size()) < 0) return;
  }
  void signal(int s) { ::kill(pid_, s); }

  // The exit status (128 + N when killed by signal N), or -1 when it did not end.
  int waitExit(int seconds = 30) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (status_ < 0) {
      readSome(50);
      int raw = 0;
      pid_t r = ::waitpid(pid_, &raw, WNOHANG);
      if (r == pid_) {
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        while (readSome(50)) {
        }
        break;
      }
      if (std::chrono::steady_clock::now() > deadline) break;
    }
    return status_;
  }
  const std::string& output() const { return out_; }

 private:
  // False at the end of the output or on a quiet wait that ended with the child.
  bool readSome(int timeout_ms) {
    pollfd p{master_, POLLIN, 0};
    int ready = ::poll(&p, 1, timeout_ms);
    if (ready <= 0) return ready == 0 && status_ < 0;
    char buf[4096];
    ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) return false;
    out_.append(buf, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  int status_ = -1;
  std::string out_;
};
