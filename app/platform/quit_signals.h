// SIGINT, SIGTERM and SIGHUP end the desktop program as its Quit does (a logout, a
// kill, Ctrl-C in the terminal that started it): the handler only writes a byte to a
// pipe, and the main loop reads it and calls back. Settings and the last playlist are
// saved and the device is given back as it was found.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace sonara::platform {

class QuitSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; `quit` runs on the main thread, once per signal.
  explicit QuitSignals(std::function<void()> quit, QObject* parent = nullptr);
  ~QuitSignals() override;  // the default handlers come back

  // The signal that asked to quit, or 0.
  int received() const { return received_; }

 private:
  void drain();

  std::function<void()> quit_;
  std::unique_ptr<QSocketNotifier> notifier_;
  int received_ = 0;
};

}  // namespace sonara::platform
