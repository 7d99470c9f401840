// The host's side of the decoder contract: choosing and opening a decoder for a
// file, reading what it says about the stream, and the request sizes of a track
// window.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "plugin/decoder_plugin.h"

namespace sonara {

class PluginManager;

struct OpenedDecoder {
  const plugin::DecoderClass* decoder_class = nullptr;
  std::unique_ptr<plugin::Decoder> decoder;
};

struct OpenFailure {
  std::string reason;  // for people
  int32_t status = 0;  // the decoder's status, 0 when no decoder was found
};

// Chooses the class by the manager's rules and opens a new decoder object.
std::optional<OpenedDecoder> openDecoder(const PluginManager& plugins, const std::string& path,
                                         const Dict* options, OpenFailure* failure);

// What an open decoder says about its stream and the file's tags.
struct StreamDescription {
  float rate = 0;
  uint32_t channels = 0;
  uint32_t bits = 0;
  uint32_t format = 0;
  double duration_s = 0;
  std::string title;   // the file name when the file has no title
  std::string artist;  // empty when the file has none
  std::string album;   // album, track and disc numbers and date as tagged; empty when
  std::string track;   // the file has none
  std::string disc;
  std::string date;
  int64_t src_bits = 0;
  double src_rate = 0;
};

// nullopt when the decoder has no metadata list.
std::optional<StreamDescription> describeStream(plugin::Decoder& decoder, const std::string& path);

// Request sizes inside a track window (offset and duration in seconds; a duration of
// 0 plays to the end): full chunks until the last, which is shortened so that nothing
// past the end is asked for and nothing before it is left out.
// The time to ask a decoder to seek to for a position in seconds: rounded up to the
// nanosecond, so that a decoder truncating rate x time to a frame lands on the frame
// the position names even where seconds cannot hold it exactly (a cue track starting
// at 2.49333... s starts on frame 109956 at 44.1 kHz, not on 109955).
uint64_t seekTimeOf(double seconds);

class DecodeWindow {
 public:
  // A decoder asking for more per request (a damaged header's rate or channel
  // count) is asked for this many values at a time: a few MiB, never gigabytes.
  static constexpr uint64_t kMaxChunkValues = uint64_t{1} << 20;
  DecodeWindow(double offset_s, double duration_s, uint32_t preferred_frames, double rate,
               uint32_t channels);
  uint32_t chunk() const { return chunk_; }
  uint32_t channels() const { return channels_; }
  double rate() const { return rate_; }
  uint64_t startNs() const { return start_; }
  // Values to ask for when the decoder's time stamp is `t` ns; 0 at the end.
  uint32_t requestSize(uint64_t t) const;

 private:
  uint32_t chunk_;
  uint32_t channels_;
  double rate_;
  uint64_t start_;
  uint64_t length_;
  uint64_t end_;
  uint64_t near_end_;
};

}  // namespace sonara
