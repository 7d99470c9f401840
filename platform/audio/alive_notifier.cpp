#include "platform/audio/alive_notifier.h"

#include <algorithm>

namespace sonara::audio {

void AliveNotifier::add(DeviceId id, AliveListener listener, void* client) {
  std::lock_guard lock(mutex_);
  listeners_[id].emplace_back(listener, client);
}

bool AliveNotifier::remove(DeviceId id, AliveListener listener, void* client) {
  std::unique_lock lock(mutex_);
  auto& list = listeners_[id];
  auto it = std::find(list.begin(), list.end(), Entry(listener, client));
  if (it == list.end()) return false;
  list.erase(it);
  if (std::this_thread::get_id() != delivery_thread_) {
    delivered_.wait(lock, [this] { return !delivering_; });
  }
  return true;
}

void AliveNotifier::notify(DeviceId id) {
  queue_.async([this, id] {
    std::unique_lock lock(mutex_);
    auto listeners = listeners_[id];
    delivering_ = true;
    delivery_thread_ = std::this_thread::get_id();
    lock.unlock();
    for (const auto& [listener, client] : listeners) listener(id, client);
    lock.lock();
    delivering_ = false;
    delivered_.notify_all();
  });
}

}  // namespace sonara::audio
