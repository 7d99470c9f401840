#include "plugins/system/mpg123_audio_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "plugins/common/id3_text_frames.h"
#include "plugins/system/taglib_info.h"

namespace sonara::tessor {
namespace {

// libmpg123 reads through the project's file handle.
mpg123_ssize_t readerRead(void* handle, void* buffer, size_t bytes) {
  return static_cast<mpg123_ssize_t>(static_cast<io::FileHandle*>(handle)->read(buffer, bytes));
}

off_t readerSeek(void* handle, off_t offset, int whence) {
  auto* file = static_cast<io::FileHandle*>(handle);
  int64_t base = 0;
  if (whence == SEEK_CUR) base = file->position();
  if (whence == SEEK_END) base = file->length();
  const int64_t to = base + offset;
  if (to < 0 || !file->seek(static_cast<uint64_t>(to))) return -1;
  return static_cast<off_t>(to);
}

// Every rate libmpg123 knows, in both channel layouts, as 32-bit floats: the stream
// comes out in its own format, converted by nothing.
void acceptOnlyFloat(mpg123_handle* h) {
  mpg123_format_none(h);
  const long* rates = nullptr;
  size_t count = 0;
  mpg123_rates(&rates, &count);
  for (size_t i = 0; i < count; ++i) mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
}

}  // namespace

std::unique_ptr<Mpg123AudioFile> Mpg123AudioFile::open(const std::string& path, std::string* why) {
  std::unique_ptr<Mpg123AudioFile> self(new Mpg123AudioFile());
  self->path_ = path;
  if (!self->file_.open(path)) {
    *why = std::string("open failed.(") + std::strerror(errno) + ")";
    return nullptr;
  }
  self->file_.bypassCache(true);
  int error = MPG123_OK;
  mpg123_handle* h = mpg123_new(nullptr, &error);
  if (!h) {
    *why = std::string("mpg123_new failed.(") + mpg123_plain_strerror(error) + ")";
    return nullptr;
  }
  self->handle_ = h;
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
  // A damaged stretch in the middle is searched through to the next good frame, as
  // other players do, instead of ending the track there.
  mpg123_param(h, MPG123_RESYNC_LIMIT, -1, 0);
  acceptOnlyFloat(h);
  if (mpg123_replace_reader_handle(h, readerRead, readerSeek, nullptr) != MPG123_OK ||
      mpg123_open_handle(h, &self->file_) != MPG123_OK) {
    *why = std::string("mpg123_open_handle failed.(") + mpg123_strerror(h) + ")";
    return nullptr;
  }
  mpg123_set_filesize(h, static_cast<off_t>(self->file_.length()));
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 || channels <= 0 ||
      encoding != MPG123_ENC_FLOAT_32) {
    *why = std::string("mpg123_getformat failed.(") + mpg123_strerror(h) + ")";
    return nullptr;
  }
  // The first frame's format holds for the whole stream: a later frame of another
  // layout is converted to it rather than reinterpreted.
  mpg123_format_none(h);
  mpg123_format(h, rate, channels == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_FLOAT_32);
  mpg123_frameinfo info{};
  mpg123_info(h, &info);
  self->format_.type = AudioFileType::Mpeg;
  self->format_.sample_rate = static_cast<double>(rate);
  self->format_.channels = static_cast<uint32_t>(channels);
  self->format_.bits_per_channel = 0;
  self->format_.frames_per_packet = static_cast<uint32_t>(std::max(mpg123_spf(h), 1));
  long delay = -1;
  long padding = -1;
  double unused = 0;
  mpg123_getstate(h, MPG123_ENC_DELAY, &delay, &unused);
  mpg123_getstate(h, MPG123_ENC_PADDING, &padding, &unused);
  self->encoder_delay_ = delay;
  self->encoder_padding_ = padding;
  // Without a LAME/Info header the length is only estimated from the file size; a
  // scan of the frame headers (no decoding) makes it exact.
  if (delay < 0 && mpg123_scan(h) != MPG123_OK) {
    *why = std::string("mpg123_scan failed.(") + mpg123_strerror(h) + ")";
    return nullptr;
  }
  const off_t length = mpg123_length(h);
  self->frames_ = length > 0 ? static_cast<uint64_t>(length) : 0;
  if (mpg123_seek(h, 0, SEEK_SET) < 0) {
    *why = std::string("mpg123_seek failed.(") + mpg123_strerror(h) + ")";
    return nullptr;
  }
  return self;
}

Mpg123AudioFile::~Mpg123AudioFile() {
  if (handle_) {
    mpg123_close(handle_);
    mpg123_delete(handle_);
  }
}

int64_t Mpg123AudioFile::read(float* out, uint32_t frames) {
  const size_t frame_bytes = sizeof(float) * format_.channels;
  size_t got = 0;
  const size_t wanted = size_t{frames} * frame_bytes;
  while (got < wanted) {
    size_t done = 0;
    const int status = mpg123_read(handle_, reinterpret_cast<unsigned char*>(out) + got, wanted - got, &done);
    got += done;
    if (status == MPG123_DONE) break;
    if (status == MPG123_NEW_FORMAT) continue;  // the same format, restated
    if (status != MPG123_OK) {
      last_error_ = mpg123_errcode(handle_);
      return -1;
    }
    if (done == 0) break;
  }
  return static_cast<int64_t>(got / frame_bytes);
}

bool Mpg123AudioFile::seek(uint64_t frame) {
  if (mpg123_seek(handle_, static_cast<off_t>(frame), SEEK_SET) < 0) {
    last_error_ = mpg123_errcode(handle_);
    return false;
  }
  return true;
}

std::optional<PacketTableInfo> Mpg123AudioFile::packetTableInfo() {
  if (encoder_delay_ < 0) return std::nullopt;
  return PacketTableInfo{static_cast<int64_t>(frames_), static_cast<uint32_t>(encoder_delay_),
                         static_cast<uint32_t>(std::max(encoder_padding_, 0L))};
}

std::vector<uint8_t> Mpg123AudioFile::rawID3Tag() {
  auto tag = id3::readID3v2TextTag([&](uint64_t at, size_t n) { return file_.bytesAt(at, n); }, 0,
                                   static_cast<uint64_t>(std::max<int64_t>(file_.length(), 0)));
  return tag ? std::move(*tag) : std::vector<uint8_t>{};
}

InfoDictionary Mpg123AudioFile::infoDictionary() { return readTagLibInfo(path_); }

}  // namespace sonara::tessor
