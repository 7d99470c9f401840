#include "platform/audio/capture_sink.h"

#include <cmath>
#include <cstring>

#include "platform/atomic_file.h"

namespace sonara::audio {

CaptureSink::CaptureSink(const std::string& path) : path_(path) {
  if (path.empty()) return;
  auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) platform::makeDirectories(path.substr(0, slash));
  data_ = std::fopen(path.c_str(), "wb");
  log_ = std::fopen((path + ".log").c_str(), "w");
}

CaptureSink::~CaptureSink() {
  if (data_) std::fclose(data_);
  if (log_) std::fclose(log_);
}

void CaptureSink::reserve(size_t samples, uint32_t bytes_per_sample) {
  std::lock_guard lock(mutex_);
  size_t need = samples * std::max<uint32_t>(bytes_per_sample, 4);
  if (scratch_.size() < need) scratch_.resize(need);
}

void CaptureSink::write(const IoBuffer& buffer, uint32_t frames, const StreamDescription& format) {
  std::lock_guard lock(mutex_);
  if (!data_ || frames == 0 || buffer.channels == 0) return;
  const uint32_t channels = buffer.channels;
  const uint32_t width = format.bytes_per_frame && format.channels_per_frame
                             ? format.bytes_per_frame / format.channels_per_frame
                             : 4;
  const size_t samples = size_t{frames} * channels;
  if (scratch_.size() < samples * width) return;  // reserve() was not called: drop, never allocate
  uint8_t* out = scratch_.data();
  const bool raw = format.format_flags & kFormatFlagIsNonMixable;
  const int bits = static_cast<int>(format.bits_per_channel ? format.bits_per_channel : 32);
  const double scale = std::ldexp(1.0, bits - 1);
  const double lo = -scale, hi = scale - 1;
  for (size_t i = 0; i < samples; ++i) {
    uint32_t word;
    if (raw) {
      word = static_cast<const uint32_t*>(buffer.data)[i];
    } else {
      double v = std::nearbyint(static_cast<double>(static_cast<const float*>(buffer.data)[i]) * scale);
      v = v < lo ? lo : v > hi ? hi : v;
      word = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int64_t>(v)));
    }
    for (uint32_t b = 0; b < width; ++b) *out++ = static_cast<uint8_t>(word >> (8 * b));
  }
  size_t bytes = static_cast<size_t>(out - scratch_.data());
  std::fwrite(scratch_.data(), 1, bytes, data_);
  std::fflush(data_);
  written_ += bytes;
}

void CaptureSink::event(const char* name, double sample_time, const std::string& fields) {
  std::lock_guard lock(mutex_);
  if (!log_) return;
  std::fprintf(log_, "{\"event\":\"%s\",\"sample_time\":%.0f,\"offset\":%llu%s%s}\n", name,
               sample_time, static_cast<unsigned long long>(written_), fields.empty() ? "" : ",",
               fields.c_str());
  std::fflush(log_);
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
