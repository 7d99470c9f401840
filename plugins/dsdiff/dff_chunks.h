// One class per DSDIFF chunk kind the decoder reads, each a DFFChunk on its header.
// Offsets named "local" are relative to the chunk's start (its header included).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "plugins/common/id3_text_frames.h"
#include "plugins/dsdiff/dff_chunk.h"

namespace sonara::dsdiff {

// "FVER": the format version, 32 bits at local offset 12.
class DFFFormatVersionChunk : public DFFChunk {
 public:
  using DFFChunk::DFFChunk;
  uint32_t version() const;
  // "FVER" with a version whose first byte is not 0.
  bool isValid() const;
};

// "FS  ": the 1-bit sampling frequency in Hz.
class DFFSampleRateChunk : public DFFChunk {
 public:
  using DFFChunk::DFFChunk;
  uint32_t getSampleRate() const;
};

// "CHNL": the channel count (the channel identifiers after it are not read).
class DFFChannelsChunk : public DFFChunk {
 public:
  using DFFChunk::DFFChunk;
  uint16_t getNumChannels() const;
};

// "CMPR": the compression type; "DST " is compressed.
class DFFCompressionTypeChunk : public DFFChunk {
 public:
  using DFFChunk::DFFChunk;
  bool isCompressed() const;
};

// "PROP": the sound properties, its local chunks from local offset 16.
class DFFPropertyChunk : public DFFChunk {
 public:
  using DFFChunk::DFFChunk;
  std::optional<DFFSampleRateChunk> getSampleRateChunk() const;
  std::optional<DFFChannelsChunk> getChannelsChunk() const;
  std::optional<DFFCompressionTypeChunk> getCompressionTypeChunk() const;
};

// "DSD ": byte-interleaved sound data from local offset 12.
class DFFDSDSoundDataChunk : public DFFChunk {
 public:
  using DFFChunk::DFFChunk;
  uint64_t dataSizeInBytes() const { return ckDataSize(); }
};

// A text chunk of the edited master information: "DIAR" and "DITI" hold a 32-bit
// length and the text; "EMID" is all text.
class DFFTextChunk : public DFFChunk {
 public:
  using DFFChunk::DFFChunk;
  // The text as UTF-8, trailing NULs dropped; nothing when it cannot be read.
  std::optional<std::string> getText() const;
};
class DFFArtistChunk : public DFFTextChunk {
 public:
  using DFFTextChunk::DFFTextChunk;
};
class DFFTitleChunk : public DFFTextChunk {
 public:
  using DFFTextChunk::DFFTextChunk;
};
class DFFEditedMasterIDChunk : public DFFTextChunk {
 public:
  using DFFTextChunk::DFFTextChunk;
};
class DFFMarkerChunk : public DFFChunk {
 public:
  using DFFChunk::DFFChunk;
};

// "DIIN": the edited master information, its local chunks from local offset 12.
class DFFEditedMasterInformationChunk : public DFFChunk {
 public:
  using DFFChunk::DFFChunk;
  std::optional<DFFEditedMasterIDChunk> getEditedMasterChunk() const;
  std::optional<DFFMarkerChunk> getMarkerChunk() const;
  std::optional<DFFArtistChunk> getArtistChunk() const;
  std::optional<DFFTitleChunk> getTitleChunk() const;
};

// One comment of a "COMT" chunk: a 14-byte header and its text.
class DFFComment {
 public:
  DFFComment(const uint8_t header[14], std::string text);
  uint16_t year() const { return year_; }
  uint8_t month() const { return month_; }
  uint8_t day() const { return day_; }
  uint8_t hour() const { return hour_; }
  uint8_t minute() const { return minute_; }
  uint16_t cmtType() const { return type_; }
  uint16_t cmtRef() const { return ref_; }
  const std::string& getText() const { return text_; }
  // "YYYY/MM/DD hh:mm", or empty before the year 2000.
  std::string getTimeStampString() const;
  // The text with what kind of comment it is; nothing for an unknown kind.
  std::optional<std::string> getVerboseText() const;

 private:
  uint16_t year_;
  uint8_t month_, day_, hour_, minute_;
  uint16_t type_, ref_;
  std::string text_;
};

// "COMT": a 16-bit count, then the comments, each text padded to an even length.
class DFFCommentChunk : public DFFChunk {
 public:
  using DFFChunk::DFFChunk;
  uint16_t getLength() const;
  // The i-th comment; nothing beyond the count or the chunk.
  std::optional<DFFComment> getCommentAt(uint32_t index) const;
  // Every comment's verbose text followed by a line feed.
  std::string getAllText() const;
};

// "ID3 ": an ID3v2 tag filling the chunk data.
class DFFID3v2Chunk : public DFFChunk {
 public:
  using DFFChunk::DFFChunk;
  std::optional<id3::TextFrames> parse() const;
};

// "FRM8", the whole file: its form type at local offset 12, local chunks from 16.
class DFFFormDSDChunk : public DFFChunk {
 public:
  // The form with its "DSD " and "PROP" chunks and a channel count that is not 0;
  // nothing when one of these is missing.
  static std::optional<DFFFormDSDChunk> make(io::FileHandle& file, uint64_t offset);
  // A form whose sound is DST-compressed: a "DST " sound chunk or a "CMPR" of "DST ".
  static bool holdsDSTSoundData(io::FileHandle& file);

  bool isValid() const;  // "FRM8" of form type "DSD "
  std::optional<DFFFormatVersionChunk> getFormatVersionChunk() const;
  DFFPropertyChunk getPropertyChunk() const { return DFFPropertyChunk(*file_, prop_offset_); }
  std::optional<DFFCommentChunk> getCommentChunk() const;
  std::optional<DFFEditedMasterInformationChunk> getEditedMasterInformationChunk() const;
  std::optional<DFFID3v2Chunk> getID3Chunk() const;
  DFFDSDSoundDataChunk getDSDSoundDataChunk() const { return DFFDSDSoundDataChunk(*file_, dsd_offset_); }
  // Bytes per channel: the data size over the channel count.
  uint64_t getTotalDataSizeInSamples() const;
  uint32_t numChannels() const { return num_channels_; }
  uint64_t soundDataChunkOffset() const { return dsd_offset_; }

 private:
  DFFFormDSDChunk(io::FileHandle& file, uint64_t offset) : DFFChunk(file, offset) {}

  uint64_t dsd_offset_ = 0;
  uint64_t prop_offset_ = 0;
  uint32_t num_channels_ = 0;
};

}  // namespace sonara::dsdiff
