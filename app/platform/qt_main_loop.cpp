#include "app/platform/qt_main_loop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>
#include <condition_variable>

namespace sonara::platform {

using Clock = std::chrono::steady_clock;

// One postAndWait: the waiting thread and the main thread meet here. The task is
// owned here, so a task dropped unrun never touches the waiter's stack.
struct QtMainLoop::Waiter {
  std::mutex mutex;
  std::condition_variable changed;
  Task task;
  bool started = false;
  bool done = false;
  bool abandoned = false;
};

QtMainLoop::QtMainLoop() {
  if (auto* app = QCoreApplication::instance()) moveToThread(app->thread());
}

QtMainLoop::~QtMainLoop() { abandonWaiters(); }

void QtMainLoop::post(Task task) {
  QMetaObject::invokeMethod(this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

void QtMainLoop::postAndWait(Task task) {
  if (isMainThread()) {
    task();
    return;
  }
  auto waiter = std::make_shared<Waiter>();
  waiter->task = std::move(task);
  {
    std::lock_guard lock(mutex_);
    if (stopped_) return;
    std::erase_if(waiters_, [](const auto& w) { return w.expired(); });
    waiters_.push_back(waiter);
  }
  post([waiter] {
    {
      std::lock_guard lock(waiter->mutex);
      if (waiter->abandoned) return;
      waiter->started = true;
    }
    waiter->task();
    std::lock_guard lock(waiter->mutex);
    waiter->done = true;
    waiter->changed.notify_all();
  });
  std::unique_lock lock(waiter->mutex);
  waiter->changed.wait(lock, [&] { return waiter->done || waiter->abandoned; });
}

// On the main thread: every wait whose task has not started ends unrun.
void QtMainLoop::abandonWaiters() {
  std::vector<std::shared_ptr<Waiter>> pending;
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    for (auto& weak : waiters_) {
      if (auto waiter = weak.lock()) pending.push_back(std::move(waiter));
    }
    waiters_.clear();
  }
  for (auto& waiter : pending) {
    std::lock_guard lock(waiter->mutex);
    if (waiter->started) continue;
    waiter->abandoned = true;
    waiter->changed.notify_all();
  }
}

DelayedPerformId QtMainLoop::performAfter(std::chrono::nanoseconds delay, Task task) {
  DelayedPerformId id;
  {
    std::lock_guard lock(mutex_);
    id = next_id_++;
    delayed_.emplace(id, Delayed{std::move(task), Clock::now() + delay, 0});
  }
  // A Qt timer belongs to its thread: one asked for elsewhere starts there.
  if (isMainThread()) {
    startTimerFor(id);
  } else {
    QMetaObject::invokeMethod(this, [this, id] { startTimerFor(id); }, Qt::QueuedConnection);
  }
  return id;
}

void QtMainLoop::startTimerFor(DelayedPerformId id) {
  Task orphan;
  {
    std::lock_guard lock(mutex_);
    auto it = delayed_.find(id);
    if (it == delayed_.end()) return;  // cancelled before its timer started
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(it->second.deadline - Clock::now());
    const int timer = startTimer(std::max(left, std::chrono::milliseconds(0)), Qt::PreciseTimer);
    if (timer != 0) {
      it->second.qt_timer = timer;
      by_qt_timer_[timer] = id;
      return;
    }
    // No timer to be had: the work runs as soon as the loop turns.
    orphan = std::move(it->second.task);
    delayed_.erase(it);
  }
  post(std::move(orphan));
}

void QtMainLoop::timerEvent(QTimerEvent* event) {
  const int timer = event->timerId();
  killTimer(timer);
  Task task;
  {
    std::lock_guard lock(mutex_);
    auto known = by_qt_timer_.find(timer);
    if (known == by_qt_timer_.end()) return;
    auto it = delayed_.find(known->second);
    by_qt_timer_.erase(known);
    if (it == delayed_.end()) return;  // cancelled from another thread
    task = std::move(it->second.task);
    delayed_.erase(it);
  }
  task();
}

void QtMainLoop::cancel(DelayedPerformId id) {
  const bool main = isMainThread();
  int timer = 0;
  Task dropped;  // its captures go outside the lock
  {
    std::lock_guard lock(mutex_);
    auto it = delayed_.find(id);
    if (it == delayed_.end()) return;
    timer = it->second.qt_timer;
    dropped = std::move(it->second.task);
    delayed_.erase(it);
    if (timer != 0 && main) by_qt_timer_.erase(timer);
  }
  // Elsewhere the timer fires once more and finds nothing to run.
  if (timer != 0 && main) killTimer(timer);
}

void QtMainLoop::run() {
  if (quit_pending_) {
    quit_pending_ = false;
    return;
  }
  {
    std::lock_guard lock(mutex_);
    stopped_ = false;
  }
  ++runs_;
  // The outermost loop is the application's, so that the application quits as it
  // does by itself (the last window closed); inside another loop, a nested one.
  if (QThread::currentThread()->loopLevel() == 0 && !app_exec_) {
    app_exec_ = true;
    QCoreApplication::exec();
    app_exec_ = false;
  } else {
    QEventLoop loop;
    nested_runs_.push_back(&loop);
    loop.exec();
    nested_runs_.pop_back();
  }
  quit_pending_ = false;
  if (--runs_ == 0) abandonWaiters();
}

void QtMainLoop::runFor(std::chrono::nanoseconds slice) {
  if (slice <= std::chrono::nanoseconds(0)) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return;
  }
  bool expired = false;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, [&expired] { expired = true; });
  timer.start(std::chrono::ceil<std::chrono::milliseconds>(slice));
  ++slices_;
  // Not an exec(): a slice turns even after the application's loop has ended.
  while (!expired && !end_slices_) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  if (--slices_ == 0) end_slices_ = false;
}

void QtMainLoop::quit() {
  if (!isMainThread()) {
    QMetaObject::invokeMethod(this, [this] { quitOnMainThread(); }, Qt::QueuedConnection);
    return;
  }
  quitOnMainThread();
}

void QtMainLoop::quitOnMainThread() {
  if (slices_ > 0) end_slices_ = true;
  if (!nested_runs_.empty()) {
    nested_runs_.back()->exit();
  } else if (app_exec_) {
    QCoreApplication::exit(0);
  } else {
    quit_pending_ = true;  // the next run() returns at once
  }
}

bool QtMainLoop::isMainThread() const { return QThread::currentThread() == thread(); }

}  // namespace sonara::platform
