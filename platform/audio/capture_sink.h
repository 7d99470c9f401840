// What a virtual device would receive: the exact bytes in its physical format, and
// beside them "<capture>.log", one JSON object per line for every event with its
// device sample time and byte offset in the capture.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/audio_hal.h"

namespace sonara::audio {

class CaptureSink {
 public:
  // Starts both files empty. An empty path captures nothing.
  explicit CaptureSink(const std::string& path);
  ~CaptureSink();
  CaptureSink(const CaptureSink&) = delete;
  CaptureSink& operator=(const CaptureSink&) = delete;

  // Room for the largest cycle, so that writing never allocates.
  void reserve(size_t samples, uint32_t bytes_per_sample);
  // Converts `frames` frames of an IO buffer to the physical format and appends them.
  // Mixable formats: float x 2^(bits-1), rounded, clamped to the integer range;
  // non-mixable formats: the raw words. Little-endian, bytes_per_frame/channels bytes.
  void write(const IoBuffer& buffer, uint32_t frames, const StreamDescription& format);
  // Appends {"event": name, "sample_time": t, "offset": bytes so far, <fields>}.
  // `fields` is either empty or JSON members without braces ("\"rate\":44100").
  void event(const char* name, double sample_time, const std::string& fields = "");
  uint64_t bytesWritten() const;
  const std::string& path() const { return path_; }

 private:
  mutable std::mutex mutex_;
  std::string path_;
  FILE* data_ = nullptr;
  FILE* log_ = nullptr;
  uint64_t written_ = 0;
  std::vector<uint8_t> scratch_;
};

// JSON members describing a physical format, for event fields.
std::string formatFields(const StreamDescription& format);

}  // namespace sonara::audio
