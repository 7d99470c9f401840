// Collects the engine's log lines while it lives.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/log.h"

class LogCapture {
 public:
  LogCapture() { sonara::platform::setLogSink(&LogCapture::sink, this); }
  ~LogCapture() { sonara::platform::setLogSink(nullptr, nullptr); }

  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  bool contains(const std::string& text) const {
    auto all = lines();
    return std::any_of(all.begin(), all.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }

 private:
  static void sink(const char* line, void* self) {
    auto* capture = static_cast<LogCapture*>(self);
    std::lock_guard lock(capture->mutex_);
    capture->lines_.emplace_back(line);
  }
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};
