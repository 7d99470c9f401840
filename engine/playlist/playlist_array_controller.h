// The engine's one playlist: ordered rows with a selection, the conversion of paths
// and partial records into complete records (opening each file with a decoder
// plug-in, cached by path and modification time), track IDs that are never reused,
// the three state flags, error counts, change reports, and the play order.
//
// Guarding: one recursive monitor covers the rows, the selection, the play order and
// the cache, so the main thread and the play engine's threads may use the model at
// once. Files are opened outside it, and change reports are delivered on the calling
// thread after it has been released.
//
// A CD list watches the folders of its files (and the volumes holding them) and
// removes the rows whose files vanished, as when the disc is ejected.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/playlist/playlist_item_info.h"

namespace sonara {
class PluginManager;
namespace platform {
class FolderWatch;
}
}  // namespace sonara

class PlaylistArrayController {
 public:
  using ChangeTarget = std::function<void(const std::vector<PlaylistItemInfoRef>&, const char* type)>;

  explicit PlaylistArrayController(sonara::PluginManager& plugins);
  ~PlaylistArrayController();  // stops the folder watch
  PlaylistArrayController(const PlaylistArrayController&) = delete;
  PlaylistArrayController& operator=(const PlaylistArrayController&) = delete;

  void initialize();
  void resetPlaylist(bool notify);
  bool insertInfos(const std::vector<PlaylistItemInfoRef>& infos, size_t row, bool notify, bool detail);
  bool removeAllInfos(bool notify) {
    resetPlaylist(notify);
    return true;
  }
  bool removeAllSelectedInfoes(bool notify);
  bool removeInfo(const PlaylistItemInfoRef& info, bool notify);
  bool removeInfos(const std::vector<PlaylistItemInfoRef>& infos, bool notify);
  bool removeInfoAtIndex(int64_t row, bool notify);
  bool removeInfoTrackID(uint64_t id, bool notify);
  bool moveSelectedInfoesFrom(size_t from, size_t to);

  size_t getNumInfos() const;
  double getTotalDuration() const;
  double getTruncatedTotalDuration() const;

  // The per-file part of a record, or null (logged).
  std::optional<sonara::Dict> createInformationBaseByPath(const std::string& path);
  // A complete record built from a partial one, or null (logged); `info` is unchanged.
  PlaylistItemInfoRef createInformationCompletelyByInfo(const PlaylistItemInfo& info);
  PlaylistItemInfoRef updateCompleteInfoByID(uint64_t id);

  std::vector<PlaylistItemInfoRef> getAllInfos() const;
  PlaylistItemInfoRef getSingleSelectedInfo() const;
  PlaylistItemInfoRef getInfoByID(uint64_t id) const;
  PlaylistItemInfoRef getInfoAtIndex(int64_t row) const;
  bool setTitle(const std::string& title, uint64_t id, bool notify);
  bool setArtist(const std::string& artist, uint64_t id, bool notify);
  bool setStatus(uint64_t id, bool playing, bool pause, bool notify);

  uint64_t createUniqueTrackID();
  uint64_t convertUniqueTrackID(uint64_t proposed);

  size_t getNumberErrorTracks() const;
  void clearErrorTracks();
  void markErrorTrack(const PlaylistItemInfoRef& info);
  uint32_t getErrorCount(const PlaylistItemInfoRef& info) const;

  bool fixed() const { return fixed_; }
  void setFixed(bool v) { fixed_ = v; }
  bool saved() const { return saved_; }
  void setSaved(bool v) { saved_ = v; }
  bool cd() const { return cd_; }
  void setCd(bool v) { cd_ = v; }
  std::string playlist_path() const;
  void setPlaylist_path(std::string path);

  void setChangeNotificationTarget(ChangeTarget target);

  // --- playlist files (playlist_array_controller_files.cpp) -----------------------
  // Writes the rows as an XML playlist, atomically; false (logged) on failure.
  bool savePlaylist(const std::string& path) const;
  // The partial records of an XML playlist; nothing when the file is not a
  // dictionary property list (logged).
  static std::optional<std::vector<PlaylistItemInfoRef>> parsePlaylistFile(const std::string& path);

  // --- cue sheets (playlist_array_controller_cue.cpp) ------------------------------
  // The partial records (path, title, artist, offset, duration) of a cue sheet's
  // tracks, in sheet order; empty when the sheet cannot be read or lists none (logged).
  static std::vector<PlaylistItemInfoRef> parseCueFile(const std::string& path);

  // --- folder watching of CD lists (playlist_array_controller_observer.cpp) -------
  // Rebuilds the watch over the rows' folders, after every insertion and removal by
  // record, ID, row or selection (never with the monitor held). Only a CD list with
  // rows is watched. False when the watch could not be created (logged).
  bool updateObserver();
  // The folders to watch for these files: each one's parent folder and the mount
  // point holding it, each folder once, in order.
  static std::vector<std::string> createDirsForObserver(const std::vector<std::string>& paths);
  bool refreshObserver(const std::vector<std::string>& dirs);
  void clearObserver();
  // The paths whose file no longer exists, in order.
  static std::vector<std::string> pathsDeletedInObserver(const std::vector<std::string>& paths);
  // For each path, the first row holding it; paths without a row are skipped.
  std::vector<PlaylistItemInfoRef> infosFromPaths(const std::vector<std::string>& paths) const;
  // A batch of the watch (FolderWatch::Change bits), on the main thread: removes the
  // rows whose files are gone, with a Remove report.
  void observeDirStreamCallback(uint32_t changes);
  std::vector<std::string> observer_watch_path() const;
  bool observing() const;

  // Selection (row indexes, sorted).
  std::set<size_t> selectionIndexes() const;
  void setSelectionIndexes(std::set<size_t> rows);

  // --- play order ------------------------------------------------------------------
  void initPlayOrderDefault();
  void initPlayOrderAtRandom();
  void updatePlayOrderOnMode();
  void resetPlayOrder();
  int64_t getCurrentPlayOrderIndex() const;
  uint64_t getCurrentTrackIDOfPlayOrder() const;
  uint64_t getNextTrackIDOfPlayOrder() const;
  uint64_t getPrevTrackIDOfPlayOrder() const;
  uint64_t getFirstPlayOrderTrackID() const;
  uint64_t getEndPlayOrderTrackID() const;
  uint64_t getNextPlayOrderTrackIDFromID(uint64_t id) const;
  uint64_t getPrevPlayOrderTrackIDFromID(uint64_t id) const;
  void nextPlayOrder();
  void prevPlayOrder();
  bool pointToPlayOrderByTrackID(uint64_t id);
  bool pointToPlayOrderAtCurrentFirstSelection();
  double getDurationAtCurrentPlayOrderIndex() const;
  double getTruncatedDurationAtCurrentPlayOrderIndex() const;
  double getBaseDurationAtPlayOrderIndex(size_t position) const;
  double getBaseDurationAtCurrentPlayOrderIndex() const;
  double getBaseDurationPlayOrderAtTrackID(uint64_t id) const;
  double getTruncatedBaseDurationAtPlayOrderIndex(size_t position) const;
  double getTruncatedBaseDurationAtCurrentPlayOrderIndex() const;
  double getTruncatedBaseDurationPlayOrderAtTrackID(uint64_t id) const;
  void removePlayOrderTrackID(uint64_t id);
  // Repeat-all while shuffled: the order of the next cycle is drawn when the current
  // cycle's last track has been decoded (to queue its first track for a gapless
  // join), but takes effect only when the current cycle has been played: when its
  // first track starts, or when the user moves on past the end. Until then the
  // positions stay those of the current cycle. Any rebuild drops it. A cycle of more
  // than one track never begins with `ending_id`. Returns its first ID (0: none).
  uint64_t prepareNextShuffledCycle(uint64_t ending_id);
  // Makes the prepared cycle the play order at position 0; false when none is prepared.
  bool adoptNextCycle();
  bool adoptNextCycleStartingWith(uint64_t id);
  const std::vector<uint64_t>& playOrder() const { return play_order_; }  // tests
  int64_t playOrderPosition() const { return play_order_index_; }
  uint32_t playOrderMode() const { return play_order_mode_; }

  std::recursive_mutex& monitor() const { return monitor_; }

 private:
  struct CacheEntry {
    sonara::Dict record;
    int64_t mtime_ns;
  };
  std::optional<sonara::Dict> getInfoFromCache(const std::string& path);
  void addInfoToCache(const sonara::Dict& record, const std::string& path);
  void report(const std::vector<PlaylistItemInfoRef>& infos, const char* type, bool notify);
  int64_t rowOfID(uint64_t id) const;
  uint64_t lowestFreeTrackID() const;
  double baseDuration(size_t end, bool truncated) const;
  double durationOf(uint64_t id, bool truncated) const;
  void removeRows(const std::vector<PlaylistItemInfoRef>& infos);

  sonara::PluginManager& plugins_;
  mutable std::recursive_mutex monitor_;
  std::vector<PlaylistItemInfoRef> rows_;
  std::set<size_t> selection_;
  std::vector<uint64_t> play_order_;
  int64_t play_order_index_ = 0;
  std::vector<uint64_t> play_order_backup_;
  std::optional<std::vector<uint64_t>> next_cycle_;
  std::set<uint64_t> id_collection_;
  bool fixed_ = false;
  bool saved_ = true;
  bool cd_ = false;
  std::string playlist_path_;
  uint32_t play_order_mode_ = 0;
  uint64_t track_id_ = 1;
  uint64_t playlist_id_ = 0;
  std::mutex cache_mutex_;
  std::map<std::string, CacheEntry> cache_;
  std::mutex target_mutex_;
  ChangeTarget change_notification_target_;

  // The folder watch has a lock of its own, so that rebuilds from two threads never
  // overlap; it is never held together with the monitor. A rebuild applies only when
  // its snapshot of the rows is newer than the one applied last.
  mutable std::recursive_mutex observer_mutex_;
  std::vector<std::string> observer_watch_path_;
  std::unique_ptr<sonara::platform::FolderWatch> observer_stream_;
  uint64_t observer_event_id_ = UINT64_MAX;  // each stream starts from now; never advanced
  uint64_t observer_snapshot_ = 0;           // under the monitor: the last snapshot taken
  uint64_t observer_applied_ = 0;            // under observer_mutex_: the last one applied
  // Batches posted to the main loop reach the model only while this lives.
  std::shared_ptr<PlaylistArrayController*> lifetime_ = std::make_shared<PlaylistArrayController*>(this);
};
