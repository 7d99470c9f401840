// What a virtual device would receive: the exact bytes in its physical format, and
// beside them "<capture>.log", one JSON object per line for every event with its
// device sample time and byte offset in the capture.
//
// The capture is emptied only when a playback starts on the device (a listing, or a
// run that fails before playing, leaves the last capture alone); the event log starts
// afresh when a process takes the device, and events before that wait in memory. A process that takes the device holds it against other processes
// (see CaptureLock). The capture keeps the last minutes only: when the file holds
// `$PELMORA_CAPTURE_MINUTES` (default 5) of sound it becomes "<capture>.1" and a
// new file starts, so the two together hold at least the last N and at most 2N
// minutes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/audio_hal.h"
#include "platform/audio/capture_lock.h"

namespace sonara::audio {

class CaptureSink {
 public:
  // An empty path captures nothing. Nothing is written until begin().
  explicit CaptureSink(const std::string& path);
  ~CaptureSink();
  CaptureSink(const CaptureSink&) = delete;
  CaptureSink& operator=(const CaptureSink&) = delete;

  // Taking the device for this process: the lock and a writable capture file. On
  // failure the reason is logged; `*holder` is the other process holding it, or -1.
  Status claim(const std::string& device_name, pid_t* holder);
  void release();
  // Another process's PID when it holds the device, else -1.
  pid_t otherHolder() const;

  // A playback starts: the first one after claim() (or ever) empties both files.
  // False when the capture cannot be written.
  bool begin();

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
  bool openLogLocked();
  bool openDataLocked();
  void rotateLocked();

  mutable std::mutex mutex_;
  std::string path_;
  CaptureLock lock_;
  FILE* data_ = nullptr;
  FILE* log_ = nullptr;
  bool fresh_ = true;          // the next begin() empties the files
  bool write_failed_ = false;  // said once in the log, at the next claim or begin
  uint64_t written_ = 0;
  double segment_seconds_ = 0;
  double max_segment_seconds_ = 300;
  std::string pending_events_;  // events before the files are open
  std::vector<uint8_t> scratch_;
};

// JSON members describing a physical format, for event fields.
std::string formatFields(const StreamDescription& format);

}  // namespace sonara::audio
