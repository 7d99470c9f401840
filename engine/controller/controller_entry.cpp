#include "engine/controller/controller_entry.h"

#include <vector>

#include "engine/controller/tk_delegate.h"

namespace {
thread_local int t_depth = 0;
thread_local std::vector<std::unique_ptr<TkDelegate>> t_retired;
}  // namespace

ControllerEntry::ControllerEntry() { ++t_depth; }

ControllerEntry::~ControllerEntry() {
  if (--t_depth > 0) return;
  // Destroying may run more entries (a controller's last work); take the list first.
  while (!t_retired.empty()) {
    auto retired = std::move(t_retired);
    t_retired.clear();
    ++t_depth;
    retired.clear();
    --t_depth;
  }
}

void ControllerEntry::release(std::unique_ptr<TkDelegate> controller) {
  if (t_depth == 0) {
    controller.reset();
    return;
  }
  t_retired.push_back(std::move(controller));
}
