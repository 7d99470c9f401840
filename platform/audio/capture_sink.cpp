#include "platform/audio/capture_sink.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/audio/device_samples.h"
#include "platform/log.h"

namespace sonara::audio {

namespace {

double captureMinutes() {
  const char* text = std::getenv("PELMORA_CAPTURE_MINUTES");
  if (!text || !*text) return 5;
  char* end = nullptr;
  double minutes = std::strtod(text, &end);
  if (!end || *end != '\0' || !std::isfinite(minutes) || minutes <= 0) return 5;
  return minutes;
}

void makeParent(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) platform::makeDirectories(path.substr(0, slash));
}

}  // namespace

CaptureSink::CaptureSink(const std::string& path)
    : path_(path), lock_(path), max_segment_seconds_(captureMinutes() * 60) {}

CaptureSink::~CaptureSink() {
  if (data_) std::fclose(data_);
  if (log_) std::fclose(log_);
}

Status CaptureSink::claim(const std::string& device_name, pid_t* holder) {
  if (holder) *holder = -1;
  if (path_.empty()) return kNoError;
  std::lock_guard lock(mutex_);
  // The capture must be writable before anything is said to play; the file itself is
  // emptied only when the playback starts.
  makeParent(path_);
  FILE* probe = std::fopen(path_.c_str(), "ab");
  if (!probe) {
    platform::logLine("the device \"%s\" cannot write its capture file %s: %s", device_name.c_str(),
                      path_.c_str(), std::strerror(errno));
    return kErrorIllegalOperation;
  }
  std::fclose(probe);
  pid_t other = -1;
  std::string error;
  if (!lock_.take(&other, &error)) {
    if (holder) *holder = other;
    if (error.empty()) {
      platform::logLine("the device \"%s\" is in use by %s", device_name.c_str(),
                        other > 0 ? describeProcess(other).c_str() : "another process");
      return kErrorDeviceBusy;
    }
    platform::logLine("the device \"%s\" cannot be taken: %s", device_name.c_str(), error.c_str());
    return kErrorIllegalOperation;
  }
  // The event log starts with the taking of the device; the sound is kept until the
  // playback starts.
  openLogLocked();
  fresh_ = true;
  return kNoError;
}

void CaptureSink::release() {
  std::lock_guard lock(mutex_);
  lock_.release();
}

pid_t CaptureSink::otherHolder() const {
  if (path_.empty()) return -1;
  std::lock_guard lock(mutex_);
  return lock_.otherHolder();
}

bool CaptureSink::openLogLocked() {
  if (log_) std::fclose(log_);
  makeParent(path_);
  log_ = std::fopen((path_ + ".log").c_str(), "w");
  if (!log_) return false;
  std::fputs(pending_events_.c_str(), log_);
  std::fflush(log_);
  pending_events_.clear();
  return true;
}

bool CaptureSink::openDataLocked() {
  if (data_) std::fclose(data_);
  makeParent(path_);
  data_ = std::fopen(path_.c_str(), "wb");
  written_ = 0;
  segment_seconds_ = 0;
  ::unlink((path_ + ".1").c_str());
  if (!data_ || (!log_ && !openLogLocked())) {
    platform::logLine("the capture file %s cannot be written: %s", path_.c_str(), std::strerror(errno));
    if (data_) std::fclose(data_);
    data_ = nullptr;
    return false;
  }
  return true;
}

bool CaptureSink::begin() {
  if (path_.empty()) return true;
  std::lock_guard lock(mutex_);
  if (write_failed_) {
    platform::logLine("the capture file %s could not be written in full", path_.c_str());
    write_failed_ = false;
  }
  if (!fresh_ && data_) return true;
  fresh_ = false;
  return openDataLocked();
}

// The full segment becomes "<capture>.1"; a new one starts. Runs on the virtual IO
// thread, which stands in for hardware and may block.
void CaptureSink::rotateLocked() {
  std::fclose(data_);
  data_ = nullptr;
  if (std::rename(path_.c_str(), (path_ + ".1").c_str()) != 0) write_failed_ = true;
  data_ = std::fopen(path_.c_str(), "wb");
  if (!data_) write_failed_ = true;
  segment_seconds_ = 0;
  if (log_) {
    std::fprintf(log_, "{\"event\":\"rotate\",\"offset\":%llu}\n", static_cast<unsigned long long>(written_));
    std::fflush(log_);
  }
}

void CaptureSink::reserve(size_t samples, uint32_t bytes_per_sample) {
  std::lock_guard lock(mutex_);
  size_t need = samples * std::max<uint32_t>(bytes_per_sample, 4);
  if (scratch_.size() < need) scratch_.resize(need);
}

void CaptureSink::write(const IoBuffer& buffer, uint32_t frames, const StreamDescription& format) {
  if (path_.empty()) return;  // fixed at construction: nothing to wait for
  std::lock_guard lock(mutex_);
  if (!data_ || frames == 0 || buffer.channels == 0) return;
  const uint32_t channels = buffer.channels;
  const uint32_t width = format.bytes_per_frame && format.channels_per_frame
                             ? format.bytes_per_frame / format.channels_per_frame
                             : 4;
  const size_t samples = size_t{frames} * channels;
  if (scratch_.size() < samples * width) return;  // reserve() was not called: drop, never allocate
  const bool raw = format.format_flags & kFormatFlagIsNonMixable;
  const uint32_t bits = format.bits_per_channel ? format.bits_per_channel : 32;
  if (raw) {
    wordsToBytes(buffer.data, samples, width, ByteOrder::Little, scratch_.data());
  } else {
    floatsToIntegers({static_cast<const float*>(buffer.data), samples}, bits, width, ByteOrder::Little,
                     scratch_.data());
  }
  const size_t bytes = samples * width;
  if (std::fwrite(scratch_.data(), 1, bytes, data_) != bytes || std::fflush(data_) != 0) write_failed_ = true;
  written_ += bytes;
  if (format.sample_rate > 0) segment_seconds_ += frames / format.sample_rate;
  if (segment_seconds_ >= max_segment_seconds_) rotateLocked();
}

void CaptureSink::event(const char* name, double sample_time, const std::string& fields) {
  std::lock_guard lock(mutex_);
  if (path_.empty()) return;
  char head[160];
  std::snprintf(head, sizeof head, "{\"event\":\"%s\",\"sample_time\":%.0f,\"offset\":%llu", name, sample_time,
                static_cast<unsigned long long>(written_));
  // The monotonic clock lets a reader measure wall-clock gaps (a device's restart
  // delay) from the log alone, free of when any listener heard of them.
  char tail[48];
  std::snprintf(tail, sizeof tail, ",\"time_ms\":%.3f}\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count());
  std::string line = std::string(head) + (fields.empty() ? "" : ",") + fields + tail;
  if (log_) {
    std::fputs(line.c_str(), log_);
    std::fflush(log_);
  } else if (pending_events_.size() < (64u << 10)) {
    pending_events_ += line;
  }
}

uint64_t CaptureSink::bytesWritten() const {
  std::lock_guard lock(mutex_);
  return written_;
}

std::string formatFields(const StreamDescription& f) {
  char text[256];
  std::snprintf(text, sizeof text,
                "\"rate\":%.0f,\"bits\":%u,\"bytes_per_frame\":%u,\"channels\":%u,"
                "\"non_mixable\":%s,\"dsd\":%s",
                f.sample_rate, f.bits_per_channel, f.bytes_per_frame, f.channels_per_frame,
                (f.format_flags & kFormatFlagIsNonMixable) ? "true" : "false",
                (f.format_flags & kFormatFlagCarriesNativeDSD) ? "true" : "false");
  return text;
}

}  // namespace sonara::audio
