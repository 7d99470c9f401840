#include "plugins/system/audio_format_probe.h"

#include <mpg123.h>
#include <sndfile.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <cstring>
#include <memory>

#include "plugins/common/file_handle.h"
#include "plugins/system/sndfile_audio_file.h"

namespace sonara::tessor {
namespace {

std::optional<ProbedFormat> probeSndfile(io::FileHandle& file) {
  std::string why;
  auto found = probeWithSndfile(file, &why);
  if (!found) {
    // A file that starts as WAV or AIFF and is refused is damaged, not unknown.
    const auto head = file.bytesAt(0, 12);
    if (head.size() < 12) return std::nullopt;
    const std::string container(head.begin(), head.begin() + 4);
    const std::string form(head.begin() + 8, head.end());
    const bool wav = container == "RIFF" && form == "WAVE";
    const bool aiff = container == "FORM" && (form == "AIFF" || form == "AIFC");
    if (!wav && !aiff) return std::nullopt;
    return ProbedFormat{DataFormat::Damaged, 0, std::string(wav ? "a damaged WAV file" : "a damaged AIFF file") +
                                                    " (" + why + ")"};
  }
  ProbedFormat p;
  p.description = found->description;
  const int major = found->major;
  if (major == SF_FORMAT_RF64 || major == SF_FORMAT_W64) {
    p.format = DataFormat::Unsupported;
    p.description = major == SF_FORMAT_RF64 ? "RF64 audio (the WAV format for files beyond 4 GiB)" : "Sony Wave64 audio";
    return p;
  }
  if (major == SF_FORMAT_MPEG) return std::nullopt;  // libmpg123 says which layer
  const bool wav_or_aiff = major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_AIFF;
  p.format = wav_or_aiff && found->isLinearPcm() ? DataFormat::LinearPcm : DataFormat::Unsupported;
  return p;
}

// An MP4 (ISO media) file: "ftyp" after the first box's size.
bool looksLikeMp4(const uint8_t* head) { return std::memcmp(head + 4, "ftyp", 4) == 0; }

// An MPEG audio stream starts with an ID3v2 tag or a frame sync; libsndfile would
// hand it to libmpg123 anyway, after reading more of it.
bool looksLikeMpeg(const uint8_t* head) {
  return std::memcmp(head, "ID3", 3) == 0 || (head[0] == 0xFF && (head[1] & 0xE0) == 0xE0);
}

ProbedFormat probeMp4(const std::string& path) {
  ProbedFormat p;
  p.format = DataFormat::Unsupported;
  p.description = "an MP4 file without audio";
  av_log_set_level(AV_LOG_QUIET);
  AVDictionary* options = nullptr;
  // Only the file itself: a crafted file never makes the demuxer open anything else.
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  AVFormatContext* ctx = nullptr;
  const int opened = avformat_open_input(&ctx, ("file:" + path).c_str(), av_find_input_format("mov"), &options);
  av_dict_free(&options);
  if (opened < 0) {
    p.format = DataFormat::Unknown;
    return p;
  }
  const int stream = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (stream >= 0) {
    const AVCodecID codec = ctx->streams[stream]->codecpar->codec_id;
    if (codec == AV_CODEC_ID_ALAC) {
      p.format = DataFormat::AppleLossless;
      p.description = "Apple Lossless audio in an MP4 file";
    } else {
      const AVCodecDescriptor* d = avcodec_descriptor_get(codec);
      p.description = std::string(d && d->long_name ? d->long_name : avcodec_get_name(codec)) + " in an MP4 file";
    }
  }
  avformat_close_input(&ctx);
  return p;
}

ProbedFormat probeMpeg(const std::string& path) {
  ProbedFormat p;
  std::unique_ptr<mpg123_handle, decltype(&mpg123_delete)> mh(mpg123_new(nullptr, nullptr), mpg123_delete);
  if (!mh) return p;
  mpg123_param(mh.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  if (mpg123_open(mh.get(), path.c_str()) != MPG123_OK) return p;
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  mpg123_frameinfo info{};
  if (mpg123_getformat(mh.get(), &rate, &channels, &encoding) == MPG123_OK &&
      mpg123_info(mh.get(), &info) == MPG123_OK && info.layer >= 1 && info.layer <= 3) {
    p.format = DataFormat::MpegAudio;
    p.mpeg_layer = info.layer;
    p.description = "MPEG audio layer " + std::to_string(info.layer);
  }
  mpg123_close(mh.get());
  return p;
}

}  // namespace

ProbedFormat probeAudioFormat(const std::string& path) {
  io::FileHandle file;
  uint8_t head[8] = {};
  if (!file.open(path) || file.read(head, sizeof head) != sizeof head) return {};
  if (looksLikeMp4(head)) return probeMp4(path);
  if (looksLikeMpeg(head)) return probeMpeg(path);
  if (auto p = probeSndfile(file)) return *p;
  file.close();
  return probeMpeg(path);
}

}  // namespace sonara::tessor
