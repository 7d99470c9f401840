// The main loop on Qt's event loop, for the desktop program. The main thread is the
// thread of the QCoreApplication, which must exist before the loop is made. Posted
// work is a queued call on an object living there, in the order posted; delayed work
// is a precise Qt timer of that object. run() is the application's exec() (so that
// closing the last window ends it too), or a nested event loop when it is called
// from inside one.
#pragma once

#include <QObject>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/main_loop.h"

class QEventLoop;

namespace sonara::platform {

class QtMainLoop final : public QObject, public MainLoop {
 public:
  QtMainLoop();
  ~QtMainLoop() override;

  void post(Task task) override;
  // From another thread: waits until the task has run. Once the loop has stopped
  // (run() returned, or the loop is destroyed) a task not yet started is dropped and
  // the wait ends, so a thread never waits on a main thread that is gone.
  void postAndWait(Task task) override;
  DelayedPerformId performAfter(std::chrono::nanoseconds delay, Task task) override;
  void cancel(DelayedPerformId id) override;
  void run() override;
  // Turns the event loop for the slice (events, posted and delayed work); a quit()
  // meanwhile ends it early.
  void runFor(std::chrono::nanoseconds slice) override;
  void quit() override;
  bool isMainThread() const override;

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  struct Waiter;
  struct Delayed {
    Task task;
    std::chrono::steady_clock::time_point deadline;
    int qt_timer = 0;  // 0 until the timer has been started on the main thread
  };

  void startTimerFor(DelayedPerformId id);
  void quitOnMainThread();
  void abandonWaiters();

  mutable std::mutex mutex_;
  std::map<DelayedPerformId, Delayed> delayed_;
  std::map<int, DelayedPerformId> by_qt_timer_;
  DelayedPerformId next_id_ = 1;
  std::vector<std::weak_ptr<Waiter>> waiters_;
  bool stopped_ = false;

  // Main thread only.
  bool quit_pending_ = false;
  int runs_ = 0;                  // run() calls active
  bool app_exec_ = false;         // the outermost run is the application's exec()
  std::vector<QEventLoop*> nested_runs_;
  int slices_ = 0;                // runFor() calls active
  bool end_slices_ = false;
};

}  // namespace sonara::platform
