// One playlist row: a string-keyed record with the TABLE_KEY_* keys. The record is
// shared by the playlist and the play engine and may be read from any thread; a row
// completed on a worker thread keeps its identity.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "engine/api/constants.h"
#include "plugin/value.h"

// The length in seconds of the whole file a complete record plays from, kept beside
// its window (TABLE_KEY_OFFSET, TABLE_KEY_DURATION) so that a writer can tell a
// window from the whole file. The engine's own key: never stored in playlist files.
inline constexpr char kFileDurationKey[] = "FILE_DURATION";

class PlaylistItemInfo {
 public:
  PlaylistItemInfo() = default;
  explicit PlaylistItemInfo(sonara::Dict fields) : fields_(std::move(fields)) {}

  sonara::Value get(const char* key) const;
  void set(const char* key, sonara::Value value);
  void remove(const char* key);
  bool has(const char* key) const;
  sonara::Dict snapshot() const;
  void replace(sonara::Dict fields);

  // Typed accessors; a missing key reads as 0, 0.0 or the empty string.
  uint64_t track_id() const { return static_cast<uint64_t>(get(TABLE_KEY_ID).asInt()); }
  void setTrack_id(uint64_t id) { set(TABLE_KEY_ID, sonara::Value(id)); }
  std::string artist() const { return get(TABLE_KEY_ARTIST).asString(); }
  void setArtist(std::string v) { set(TABLE_KEY_ARTIST, sonara::Value(std::move(v))); }
  std::string title() const { return get(TABLE_KEY_TITLE).asString(); }
  void setTitle(std::string v) { set(TABLE_KEY_TITLE, sonara::Value(std::move(v))); }
  double offset() const { return get(TABLE_KEY_OFFSET).asDouble(); }
  void setOffset(double v) { set(TABLE_KEY_OFFSET, sonara::Value(v)); }
  double duration() const { return get(TABLE_KEY_DURATION).asDouble(); }
  void setDuration(double v) { set(TABLE_KEY_DURATION, sonara::Value(v)); }
  std::string fullpath() const { return get(TABLE_KEY_FULLPATH).asString(); }
  void setFullpath(std::string v) { set(TABLE_KEY_FULLPATH, sonara::Value(std::move(v))); }
  // The decoder class, by its name.
  std::string decoder_class() const { return get(TABLE_KEY_CLASS).asString(); }
  void setDecoder_class(std::string v) { set(TABLE_KEY_CLASS, sonara::Value(std::move(v))); }
  bool isComplete() const { return has(TABLE_KEY_CLASS); }

 private:
  mutable std::mutex mutex_;
  sonara::Dict fields_;
};

using PlaylistItemInfoRef = std::shared_ptr<PlaylistItemInfo>;
