// The presence listeners of a HAL's devices, and their delivery on one notification
// thread. Listeners are looked up when a notice is delivered, and removing one waits
// for a delivery in progress, so no listener runs after its removal has returned.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/audio_hal.h"
#include "platform/work_queue.h"

namespace sonara::audio {

class AliveNotifier {
 public:
  void add(DeviceId id, AliveListener listener, void* client);
  // False when that listener is not registered for the device.
  bool remove(DeviceId id, AliveListener listener, void* client);
  // Tells the device's listeners, later, on the notification thread.
  void notify(DeviceId id);
  // Waits until the notices queued so far have been delivered.
  void drain() { queue_.drain(); }

 private:
  using Entry = std::pair<AliveListener, void*>;

  std::mutex mutex_;
  std::condition_variable delivered_;
  bool delivering_ = false;
  std::thread::id delivery_thread_;
  std::map<DeviceId, std::vector<Entry>> listeners_;
  platform::WorkQueue queue_;  // last member: drained before the rest goes
};

}  // namespace sonara::audio
