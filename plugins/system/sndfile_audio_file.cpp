#include "plugins/system/sndfile_audio_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "plugins/common/id3_text_frames.h"
#include "plugins/system/taglib_info.h"

namespace sonara::tessor {
namespace {

// libsndfile reads through the project's file handle.
sf_count_t vioLength(void* user) { return static_cast<io::FileHandle*>(user)->length(); }

sf_count_t vioSeek(sf_count_t offset, int whence, void* user) {
  auto* file = static_cast<io::FileHandle*>(user);
  int64_t base = 0;
  if (whence == SEEK_CUR) base = file->position();
  if (whence == SEEK_END) base = file->length();
  const int64_t to = base + offset;
  if (to < 0 || !file->seek(static_cast<uint64_t>(to))) return -1;
  return to;
}

sf_count_t vioRead(void* ptr, sf_count_t count, void* user) {
  if (count <= 0) return 0;
  const int64_t n = static_cast<io::FileHandle*>(user)->read(ptr, static_cast<size_t>(count));
  return n < 0 ? 0 : n;
}

sf_count_t vioWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t vioTell(void* user) { return static_cast<io::FileHandle*>(user)->position(); }

SF_VIRTUAL_IO kVirtualIo = {vioLength, vioSeek, vioRead, vioWrite, vioTell};

SNDFILE* openVirtual(io::FileHandle& file, SF_INFO* info, std::string* why) {
  *info = SF_INFO{};
  if (!file.seek(0)) return nullptr;
  SNDFILE* f = sf_open_virtual(&kVirtualIo, SFM_READ, info, &file);
  if (!f && why) *why = sf_strerror(nullptr);
  return f;
}

std::string libraryName(int format) {
  SF_FORMAT_INFO fi{};
  fi.format = format;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &fi, sizeof fi) != 0 || !fi.name) return "unknown";
  return fi.name;
}

// "24-bit PCM in a WAV file", "IMA ADPCM in a WAV file".
std::string describe(const SndfileFormat& f) {
  std::string data;
  if (f.subtype == SF_FORMAT_FLOAT || f.subtype == SF_FORMAT_DOUBLE) {
    data = std::to_string(f.bitsPerSample()) + "-bit floating-point PCM";
  } else if (f.isLinearPcm()) {
    data = std::to_string(f.bitsPerSample()) + "-bit PCM";
  } else {
    data = libraryName(f.subtype);
  }
  std::string container;
  switch (f.major) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX: container = "WAV"; break;
    case SF_FORMAT_AIFF: container = "AIFF"; break;
    default: container = libraryName(f.major);
  }
  const bool vowel = std::string_view("AEIOU").find(container[0]) != std::string_view::npos;
  return data + " in " + (vowel ? "an " : "a ") + container + " file";
}

// Tags larger than this in a LIST chunk are not looked at; INFO texts are short.
constexpr uint64_t kMaxInfoListBytes = 1u << 20;

}  // namespace

bool SndfileFormat::isLinearPcm() const { return bitsPerSample() != 0; }

uint32_t SndfileFormat::bitsPerSample() const {
  switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT: return 32;
    case SF_FORMAT_DOUBLE: return 64;
    default: return 0;
  }
}

std::optional<SndfileFormat> probeWithSndfile(io::FileHandle& file, std::string* why) {
  SndfileFormat f;
  SNDFILE* sndfile = openVirtual(file, &f.info, why);
  if (!sndfile) return std::nullopt;
  sf_close(sndfile);
  f.major = f.info.format & SF_FORMAT_TYPEMASK;
  f.subtype = f.info.format & SF_FORMAT_SUBMASK;
  f.description = describe(f);
  return f;
}

std::unique_ptr<SndfileAudioFile> SndfileAudioFile::open(const std::string& path, std::string* why) {
  std::unique_ptr<SndfileAudioFile> self(new SndfileAudioFile());
  self->path_ = path;
  if (!self->file_.open(path)) {
    *why = std::string("open failed.(") + std::strerror(errno) + ")";
    return nullptr;
  }
  self->file_.bypassCache(true);
  SF_INFO info{};
  self->sndfile_ = openVirtual(self->file_, &info, why);
  if (!self->sndfile_) {
    *why = "sf_open_virtual failed.(" + *why + ")";
    return nullptr;
  }
  const int major = info.format & SF_FORMAT_TYPEMASK;
  SndfileFormat format{major, info.format & SF_FORMAT_SUBMASK, info, {}};
  if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX && major != SF_FORMAT_AIFF) {
    *why = "not a WAV or AIFF file";
    return nullptr;
  }
  if (!format.isLinearPcm() || info.channels <= 0 || info.samplerate <= 0 || info.frames < 0) {
    *why = "not linear PCM";
    return nullptr;
  }
  self->format_.type = major == SF_FORMAT_AIFF ? AudioFileType::Aiff : AudioFileType::Wave;
  self->format_.sample_rate = info.samplerate;
  self->format_.channels = static_cast<uint32_t>(info.channels);
  self->format_.bits_per_channel = format.bitsPerSample();
  self->frames_ = static_cast<uint64_t>(info.frames);
  if (auto chunks = listChunks(self->file_)) self->chunks_ = std::move(*chunks);
  self->format_.stored_bits_per_channel = self->format_.bits_per_channel;
  self->format_.bits_per_channel = self->significantBits(self->format_.bits_per_channel);
  // libsndfile reads on from where its own header parsing left the handle.
  if (sf_seek(self->sndfile_, 0, SEEK_SET) != 0) {
    *why = std::string("sf_seek failed.(") + sf_strerror(self->sndfile_) + ")";
    return nullptr;
  }
  return self;
}

SndfileAudioFile::~SndfileAudioFile() {
  if (sndfile_) sf_close(sndfile_);
}

int64_t SndfileAudioFile::read(float* out, uint32_t frames) {
  const sf_count_t n = sf_readf_float(sndfile_, out, frames);
  // libsndfile takes a failed read for the end of the data: the handle knows better.
  if (n == 0 && (sf_error(sndfile_) != SF_ERR_NO_ERROR || file_.readFailed())) return -1;
  return n;
}

bool SndfileAudioFile::seek(uint64_t frame) {
  if (frame > frames_) return false;
  return sf_seek(sndfile_, static_cast<sf_count_t>(frame), SEEK_SET) >= 0;
}

int SndfileAudioFile::lastError() const { return file_.readFailed() ? EIO : sf_error(sndfile_); }

const ChunkRef* SndfileAudioFile::soundChunk() const {
  const char* id = format_.type == AudioFileType::Aiff ? "SSND" : "data";
  for (const auto& c : chunks_.chunks) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

std::vector<uint8_t> SndfileAudioFile::chunkBytes(const ChunkRef& chunk, uint64_t max) {
  return file_.bytesAt(chunk.offset, static_cast<size_t>(std::min(chunk.stored, max)));
}

std::vector<std::vector<uint8_t>> SndfileAudioFile::id3Chunks() {
  std::vector<std::vector<uint8_t>> tags;
  for (const char* id : {"id3 ", "ID3 "}) {
    for (const auto& chunk : chunks_.chunks) {
      if (chunk.id != id) continue;
      auto tag = id3::readID3v2TextTag([&](uint64_t at, size_t n) { return file_.bytesAt(chunk.offset + at, n); },
                                       0, chunk.stored);
      if (tag) tags.push_back(std::move(*tag));
    }
    if (!tags.empty()) break;
  }
  return tags;
}

std::vector<uint8_t> SndfileAudioFile::rawID3Tag() {
  auto tags = id3Chunks();
  return tags.empty() ? std::vector<uint8_t>{} : std::move(tags.front());
}

std::vector<std::vector<uint8_t>> SndfileAudioFile::infoLists() {
  std::vector<std::vector<uint8_t>> lists;
  for (const auto& chunk : chunks_.chunks) {
    if (chunk.id != "LIST" || chunk.stored < 4) continue;
    std::vector<uint8_t> bytes = chunkBytes(chunk, kMaxInfoListBytes);
    if (bytes.size() < 4 || std::memcmp(bytes.data(), "INFO", 4) != 0) continue;
    lists.emplace_back(bytes.begin() + 4, bytes.end());
  }
  return lists;
}

// TagLib first; libsndfile also knows AIFF's NAME and AUTH chunks, which TagLib
// does not read.
InfoDictionary SndfileAudioFile::infoDictionary() {
  InfoDictionary d = readTagLibInfo(path_);
  auto text = [this](int which) -> std::optional<std::string> {
    const char* s = sf_get_string(sndfile_, which);
    if (!s || !*s) return std::nullopt;
    return std::string(s);
  };
  if (!d.title) d.title = text(SF_STR_TITLE);
  if (!d.artist) d.artist = text(SF_STR_ARTIST);
  return d;
}

// The bits of each sample that carry the signal, when the header says fewer than
// the container's: WAVE_FORMAT_EXTENSIBLE's valid bits, AIFF's sample size.
uint32_t SndfileAudioFile::significantBits(uint32_t container_bits) {
  for (const auto& c : chunks_.chunks) {
    uint32_t declared = 0;
    if (c.id == "fmt " && c.stored >= 20) {
      const auto fmt = file_.bytesAt(c.offset, 20);
      const bool extensible = fmt.size() == 20 && fmt[0] == 0xFE && fmt[1] == 0xFF;
      if (extensible) declared = uint32_t{fmt[18]} | uint32_t{fmt[19]} << 8;
    } else if (c.id == "COMM" && c.stored >= 8) {
      const auto comm = file_.bytesAt(c.offset, 8);
      if (comm.size() == 8) declared = uint32_t{comm[6]} << 8 | comm[7];
    } else {
      continue;
    }
    if (declared > 0 && declared < container_bits) return declared;
  }
  return container_bits;
}

}  // namespace sonara::tessor
