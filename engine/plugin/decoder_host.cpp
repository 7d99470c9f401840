#include "engine/plugin/decoder_host.h"

#include <algorithm>
#include <cmath>

#include "engine/plugin/plugin_manager.h"
#include "platform/path_names.h"

namespace sonara {

std::optional<OpenedDecoder> openDecoder(const PluginManager& plugins, const std::string& path,
                                         const Dict* options, OpenFailure* failure) {
  OpenFailure local;
  OpenFailure& why = failure ? *failure : local;
  const plugin::DecoderClass* cls = plugins.findDecoderClassByPath(path);
  if (!cls) {
    why = {"no decoder plug-in takes this file", 0};
    return std::nullopt;
  }
  std::unique_ptr<plugin::Decoder> decoder = cls->create();
  if (!decoder) {
    why = {"out of memory", plugin::kStatusMemory};
    return std::nullopt;
  }
  int32_t status = decoder->openByPath(path, options);
  if (status != 0) {
    why = {std::string(cls->className()) + " cannot open it", status};
    return std::nullopt;
  }
  return OpenedDecoder{cls, std::move(decoder)};
}

std::optional<StreamDescription> describeStream(plugin::Decoder& decoder, const std::string& path) {
  Value meta = decoder.getMetaData();
  if (meta.isNull()) return std::nullopt;
  StreamDescription d;
  d.rate = decoder.getSamplingRate();
  d.channels = decoder.getChannels();
  d.bits = decoder.getBits();
  d.format = decoder.getFormat();
  d.duration_s = static_cast<double>(decoder.getDuration()) / 1e9;
  std::optional<std::string> title;
  // One key per entry; a key seen again replaces the earlier value.
  for (const auto& entry : meta.asArray()) {
    if (const Value& v = entry[plugin::kMetaArtist]; !v.isNull()) {
      d.artist = v.asString();
    } else if (const Value& t = entry[plugin::kMetaTitle]; !t.isNull()) {
      title = t.asString();
    } else if (const Value& a = entry[plugin::kMetaAlbum]; a.isString()) {
      d.album = a.asString();
    } else if (const Value& n = entry[plugin::kMetaTrackNumber]; n.isString()) {
      d.track = n.asString();
    } else if (const Value& k = entry[plugin::kMetaDiscNumber]; k.isString()) {
      d.disc = k.asString();
    } else if (const Value& y = entry[plugin::kMetaDate]; y.isString()) {
      d.date = y.asString();
    } else if (const Value& b = entry[plugin::kMetaSrcBits]; !b.isNull()) {
      d.src_bits = b.isString() ? std::atoll(b.asString().c_str()) : b.asInt();
    } else if (const Value& r = entry[plugin::kMetaSrcSampleRate]; !r.isNull()) {
      d.src_rate = r.isString() ? std::atof(r.asString().c_str()) : r.asDouble();
    }
  }
  d.title = title.value_or(platform::lastPathComponent(path));
  return d;
}

uint64_t seekTimeOf(double seconds) {
  const double ns = std::ceil(seconds * 1e9);
  return ns <= 0 ? 0 : ns >= 1.8446744073709552e19 ? UINT64_MAX : static_cast<uint64_t>(ns);
}

DecodeWindow::DecodeWindow(double offset_s, double duration_s, uint32_t preferred_frames,
                           double rate, uint32_t channels)
    : chunk_(static_cast<uint32_t>(std::min<uint64_t>(uint64_t{channels} * preferred_frames, kMaxChunkValues))),
      channels_(channels),
      rate_(rate) {
  chunk_ -= channels == 0 ? 0 : chunk_ % channels;  // whole frames
  auto ns = [](double seconds) -> uint64_t {
    double v = seconds * 1e9;
    return v <= 0 ? 0 : v >= 1.8446744073709552e19 ? UINT64_MAX : static_cast<uint64_t>(v);
  };
  start_ = ns(offset_s);
  length_ = ns(duration_s);
  end_ = start_ + length_;
  const double chunk_frames = channels == 0 ? 0 : static_cast<double>(chunk_ / channels);
  uint64_t one_chunk = rate > 0 ? ns(chunk_frames / rate) : 0;
  near_end_ = length_ > one_chunk ? end_ - one_chunk : start_;
}

// Decoders' time stamps lead the next value to deliver by up to one frame (one byte
// of a DSD channel, one frame of PCM; see Decoder::getTimestamp). Counting the frames left as
// floor((end - t) x rate) + 1 delivers exactly the frames before the end for either
// lead, where rounding up would drop the last sample of every PCM window.
uint32_t DecodeWindow::requestSize(uint64_t t) const {
  if (length_ == 0) return chunk_;
  if (t < near_end_) return chunk_;
  double left = (static_cast<double>(end_) - static_cast<double>(t)) * rate_ / 1e9;
  // A thousandth of a frame absorbs the nanosecond truncation of both times.
  double frames = std::floor(left + 1.0 + 1e-3);
  if (frames <= 0) return 0;
  uint64_t n = channels_ * static_cast<uint64_t>(frames);
  return n < chunk_ ? static_cast<uint32_t>(n) : chunk_;
}

}  // namespace sonara
