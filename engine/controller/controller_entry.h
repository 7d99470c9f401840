// Work the main thread does for the engine (an API call, a posted event, a timer)
// runs inside an entry. A client event may call Toolkit_Exit; the controller it
// releases is destroyed when the outermost entry ends, so the code still running for
// it never touches freed memory.
#pragma once

#include <memory>

class TkDelegate;

class ControllerEntry {
 public:
  ControllerEntry();
  ~ControllerEntry();
  ControllerEntry(const ControllerEntry&) = delete;
  ControllerEntry& operator=(const ControllerEntry&) = delete;

  // Destroys `controller` now when no entry is running on this thread, else when
  // the outermost one ends.
  static void release(std::unique_ptr<TkDelegate> controller);
};
