// Builds WAV, AIFF and AIFF-C files of known samples for the PCM decoder's tests, in memory.
// RIFF chunks are little-endian, FORM chunks big-endian, and every odd-sized chunk is
// followed by a pad byte unless a test asks for the fault. Samples go in interleaved, as the
// integers the file holds (-8388608..8388607 for 24 bits; 8-bit WAV stores them offset by
// 128) or as floating-point values for float files.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/byte_output.h"

enum class PcmContainer { Wav, Aiff, Aifc };

// The format tag of a WAV file's "fmt " chunk.
enum class WavFormat : uint16_t { Pcm = 1, IeeeFloat = 3, Extensible = 0xFFFE };

// A chunk a test adds: "id3 " in WAV or "ID3 " in AIFF holding a tag, a "LIST" of "INFO", junk.
struct PcmChunk {
  std::string id;  // four characters
  std::vector<uint8_t> body;
  bool after_data = false;  // after the sound data rather than before it
  bool pad = true;          // false: no pad byte after an odd-sized body, as some writers do
};

struct PcmFileSetup {
  PcmContainer container = PcmContainer::Wav;
  uint16_t channels = 2;
  uint32_t sample_rate = 44100;
  uint16_t bits = 16;     // integers: 8, 16, 24, 32; floats: 32, 64
  bool floating = false;  // the samples come from `float_samples`
  std::vector<int32_t> samples;
  std::vector<double> float_samples;  // stored as float when `bits` is 32
  // WAV: none picks Pcm for integers and IeeeFloat for floats. Extensible takes its
  // sub-format (PCM or IEEE float) from `floating`.
  std::optional<WavFormat> wav_format;
  std::optional<uint16_t> valid_bits;    // Extensible; none: `bits`
  std::optional<uint32_t> channel_mask;  // Extensible; none: the usual layout for the count
  bool fact = false;                     // WAV: a "fact" chunk with the frame count
  // AIFF-C compression type: "NONE" and "twos" big-endian integers, "sowt" little-endian
  // integers, "fl32"/"FL32"/"fl64"/"FL64" big-endian floats. Empty: "NONE", or "fl32"/"fl64".
  std::string compression;
  std::vector<PcmChunk> chunks;
  // Damage switches: each writes the given value in place of the true one.
  std::optional<uint32_t> form_size;       // the RIFF or FORM size
  std::optional<uint32_t> data_size;       // the "data" or "SSND" size (SSND's counts its 8 header bytes)
  std::optional<uint16_t> channels_field;  // the count in "fmt " or "COMM"; the data keeps `channels`
  std::optional<uint16_t> block_align;     // WAV
  std::optional<uint32_t> frames_field;    // AIFF's frame count in "COMM"
  bool omit_format = false;                // no "fmt " or "COMM" chunk
  bool omit_data = false;                  // no "data" or "SSND" chunk
  std::optional<size_t> truncate_at;       // the file cut after this many bytes
};

// The 80-bit IEEE 754 extended value of an integer rate, as AIFF's "COMM" holds it: sign
// and 15-bit exponent, then a 64-bit mantissa whose top bit is the explicit integer bit.
// Exact for every 32-bit rate.
inline std::vector<uint8_t> aiffExtendedRate(uint32_t rate) {
  std::vector<uint8_t> out;
  if (rate == 0) {
    out.assign(10, 0);
    return out;
  }
  int top = 31;
  while (!(rate >> top)) --top;
  putBE(out, 16383 + top, 2);
  putBE(out, static_cast<uint64_t>(rate) << (63 - top), 8);
  return out;
}

// The WAVE_FORMAT_EXTENSIBLE speaker mask players expect for 1 to 8 channels.
inline uint32_t defaultChannelMask(uint16_t channels) {
  static const uint32_t kMasks[] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x13F, 0x63F};
  return channels < 9 ? kMasks[channels] : 0;
}

// The body of a RIFF "LIST" chunk of type "INFO": one sub-chunk per item, id (INAM, IART,
// ICMT...) and text. The text's bytes go in unchanged, so they may be in any code page.
struct InfoList {
  std::vector<std::pair<std::string, std::string>> items;
  bool pad = true;             // false: odd-sized sub-chunks without their pad byte
  bool nul_terminated = true;  // each text ends with a NUL counted in its size, as usual
};

inline PcmChunk infoListChunk(const InfoList& list) {
  PcmChunk chunk{"LIST", {'I', 'N', 'F', 'O'}};
  for (const auto& [id, text] : list.items) {
    putText(chunk.body, id);
    putLE(chunk.body, text.size() + (list.nul_terminated ? 1 : 0), 4);
    putText(chunk.body, text);
    if (list.nul_terminated) chunk.body.push_back(0);
    if (list.pad && (text.size() + (list.nul_terminated ? 1 : 0)) % 2) chunk.body.push_back(0);
  }
  return chunk;
}

// The sample bytes as the file holds them.
inline std::vector<uint8_t> pcmSampleBytes(const PcmFileSetup& s) {
  bool little = s.container == PcmContainer::Wav || (s.container == PcmContainer::Aifc && s.compression == "sowt");
  int bytes = s.bits / 8;
  std::vector<uint8_t> out;
  auto put = [&](uint64_t v) { little ? putLE(out, v, bytes) : putBE(out, v, bytes); };
  if (s.floating) {
    for (double v : s.float_samples) {
      if (s.bits == 64) {
        uint64_t raw;
        std::memcpy(&raw, &v, 8);
        put(raw);
      } else {
        auto f = static_cast<float>(v);
        uint32_t raw;
        std::memcpy(&raw, &f, 4);
        put(raw);
      }
    }
    return out;
  }
  bool unsigned_bytes = s.container == PcmContainer::Wav && s.bits == 8;
  for (int32_t v : s.samples) put(static_cast<uint32_t>(unsigned_bytes ? v + 128 : v));
  return out;
}

// One chunk in the container's byte order, with its pad byte when odd-sized and `pad`.
inline void putPcmChunk(std::vector<uint8_t>& out, bool little, const std::string& id,
                        const std::vector<uint8_t>& body, std::optional<uint32_t> declared = {},
                        bool pad = true) {
  putText(out, id);
  uint64_t size = declared ? *declared : body.size();
  little ? putLE(out, size, 4) : putBE(out, size, 4);
  out.insert(out.end(), body.begin(), body.end());
  if (pad && body.size() % 2) out.push_back(0);
}

inline std::vector<uint8_t> wavFormatChunk(const PcmFileSetup& s) {
  WavFormat tag = s.wav_format.value_or(s.floating ? WavFormat::IeeeFloat : WavFormat::Pcm);
  uint16_t align = s.block_align.value_or(static_cast<uint16_t>(s.channels * (s.bits / 8)));
  std::vector<uint8_t> fmt;
  putLE(fmt, static_cast<uint16_t>(tag), 2);
  putLE(fmt, s.channels_field.value_or(s.channels), 2);
  putLE(fmt, s.sample_rate, 4);
  putLE(fmt, static_cast<uint64_t>(s.sample_rate) * s.channels * (s.bits / 8), 4);
  putLE(fmt, align, 2);
  putLE(fmt, s.bits, 2);
  if (tag == WavFormat::IeeeFloat) putLE(fmt, 0, 2);
  if (tag == WavFormat::Extensible) {
    putLE(fmt, 22, 2);
    putLE(fmt, s.valid_bits.value_or(s.bits), 2);
    putLE(fmt, s.channel_mask.value_or(defaultChannelMask(s.channels)), 4);
    // KSDATAFORMAT_SUBTYPE_PCM or _IEEE_FLOAT: the format tag, then the fixed GUID tail.
    putLE(fmt, s.floating ? 3 : 1, 4);
    fmt.insert(fmt.end(), {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
  }
  return fmt;
}

inline std::vector<uint8_t> aiffCommonChunk(const PcmFileSetup& s, uint32_t frames) {
  std::vector<uint8_t> comm;
  putBE(comm, s.channels_field.value_or(s.channels), 2);
  putBE(comm, s.frames_field.value_or(frames), 4);
  putBE(comm, s.bits, 2);
  auto rate = aiffExtendedRate(s.sample_rate);
  comm.insert(comm.end(), rate.begin(), rate.end());
  if (s.container == PcmContainer::Aifc) {
    std::string type = s.compression.empty() ? (!s.floating ? "NONE" : s.bits == 64 ? "fl64" : "fl32") : s.compression;
    std::string name = type == "sowt"                     ? "little endian"
                       : type == "NONE" || type == "twos" ? "not compressed"
                       : s.bits == 64                     ? "64-bit floating point"
                                                          : "32-bit floating point";
    putText(comm, type);
    comm.push_back(static_cast<uint8_t>(name.size()));  // a Pascal string padded to even length
    putText(comm, name);
    if (name.size() % 2 == 0) comm.push_back(0);
  }
  return comm;
}

inline std::vector<uint8_t> buildPcmFile(const PcmFileSetup& s) {
  bool wav = s.container == PcmContainer::Wav;
  size_t count = s.floating ? s.float_samples.size() : s.samples.size();
  auto frames = static_cast<uint32_t>(s.channels ? count / s.channels : 0);
  std::vector<uint8_t> body;
  putText(body, wav ? "WAVE" : s.container == PcmContainer::Aiff ? "AIFF" : "AIFC");
  if (s.container == PcmContainer::Aifc) {
    std::vector<uint8_t> version;
    putBE(version, 0xA2805140, 4);  // AIFF-C version 1
    putPcmChunk(body, false, "FVER", version);
  }
  if (!s.omit_format) putPcmChunk(body, wav, wav ? "fmt " : "COMM", wav ? wavFormatChunk(s) : aiffCommonChunk(s, frames));
  if (wav && s.fact) {
    std::vector<uint8_t> fact;
    putLE(fact, frames, 4);
    putPcmChunk(body, true, "fact", fact);
  }
  for (const auto& c : s.chunks) {
    if (!c.after_data) putPcmChunk(body, wav, c.id, c.body, {}, c.pad);
  }
  if (!s.omit_data) {
    std::vector<uint8_t> data;
    if (!wav) data.assign(8, 0);  // SSND offset and block size
    auto samples = pcmSampleBytes(s);
    data.insert(data.end(), samples.begin(), samples.end());
    putPcmChunk(body, wav, wav ? "data" : "SSND", data, s.data_size);
  }
  for (const auto& c : s.chunks) {
    if (c.after_data) putPcmChunk(body, wav, c.id, c.body, {}, c.pad);
  }
  std::vector<uint8_t> out;
  putText(out, wav ? "RIFF" : "FORM");
  uint64_t size = s.form_size ? *s.form_size : body.size();
  wav ? putLE(out, size, 4) : putBE(out, size, 4);
  out.insert(out.end(), body.begin(), body.end());
  if (s.truncate_at && *s.truncate_at < out.size()) out.resize(*s.truncate_at);
  return out;
}

// Where the first sample byte lies in the file `s` builds (with its data chunk present).
inline size_t pcmDataOffset(const PcmFileSetup& s) {
  PcmFileSetup head = s;
  head.samples.clear();
  head.float_samples.clear();
  head.chunks.clear();
  for (const auto& c : s.chunks) {
    if (!c.after_data) head.chunks.push_back(c);
  }
  head.omit_data = true;
  head.truncate_at.reset();
  return buildPcmFile(head).size() + (s.container == PcmContainer::Wav ? 8 : 16);
}

inline void writePcmFile(const std::string& path, const PcmFileSetup& s) { writeFile(path, buildPcmFile(s)); }
