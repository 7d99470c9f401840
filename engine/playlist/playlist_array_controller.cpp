#include "engine/playlist/playlist_array_controller.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/plugin/decoder_host.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/folder_watch.h"  // the model owns its watch
#include "platform/log.h"
#include "platform/path_names.h"
#include "platform/services.h"
#include "platform/work_queue.h"

using sonara::Dict;
using sonara::Value;
using sonara::platform::logLine;

namespace {

constexpr double kStoredTimeSlack = 0.02;

std::optional<int64_t> modificationTimeNs(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

PlaylistArrayController::PlaylistArrayController(sonara::PluginManager& plugins) : plugins_(plugins) {}

void PlaylistArrayController::initialize() {
  std::lock_guard lock(monitor_);
  playlist_id_ = static_cast<uint64_t>(sonara::platform::userDefaults().integer(USER_DEFAULT_PLAYLIST_ID_KEY)) + 1;
  track_id_ = 1;
  {
    std::lock_guard cache(cache_mutex_);
    cache_.clear();
  }
  id_collection_.clear();
  initPlayOrderDefault();
}

void PlaylistArrayController::report(const std::vector<PlaylistItemInfoRef>& infos, const char* type,
                                     bool notify) {
  if (!notify) return;
  ChangeTarget target;
  {
    std::lock_guard lock(target_mutex_);
    target = change_notification_target_;
  }
  if (target) target(infos, type);
}

void PlaylistArrayController::setChangeNotificationTarget(ChangeTarget target) {
  std::lock_guard lock(target_mutex_);
  change_notification_target_ = std::move(target);
}

void PlaylistArrayController::resetPlaylist(bool notify) {
  std::vector<PlaylistItemInfoRef> snapshot;
  {
    std::lock_guard lock(monitor_);
    auto& defaults = sonara::platform::userDefaults();
    defaults.set(USER_DEFAULT_PLAYLIST_ID_KEY, Value(playlist_id_));
    defaults.synchronize();
    ++playlist_id_;
    snapshot = rows_;
    rows_.clear();
    selection_.clear();
    updatePlayOrderOnMode();
  }
  report(snapshot, PlaylistChangeNotificatioTypeRemove, notify);
}

uint64_t PlaylistArrayController::createUniqueTrackID() {
  std::lock_guard lock(monitor_);
  uint64_t candidate = track_id_;
  if (id_collection_.count(candidate)) {
    const uint64_t largest = *id_collection_.rbegin();
    // A record may have proposed the largest ID there is; then the lowest free one
    // is taken instead, as an ID never wraps to 0.
    candidate = largest != UINT64_MAX ? largest + 1 : lowestFreeTrackID();
  }
  id_collection_.insert(candidate);
  return candidate;
}

uint64_t PlaylistArrayController::lowestFreeTrackID() const {
  uint64_t expected = 1;
  for (uint64_t id : id_collection_) {
    if (id == 0) continue;
    if (id != expected) break;
    ++expected;
  }
  return expected;
}

uint64_t PlaylistArrayController::convertUniqueTrackID(uint64_t proposed) {
  std::lock_guard lock(monitor_);
  if (proposed != 0 && !id_collection_.count(proposed)) {
    id_collection_.insert(proposed);
    return proposed;
  }
  return createUniqueTrackID();
}

bool PlaylistArrayController::insertInfos(const std::vector<PlaylistItemInfoRef>& infos, size_t row,
                                          bool notify, bool detail) {
  // Build the records first: opening files happens outside the monitor.
  std::vector<PlaylistItemInfoRef> built;
  for (const auto& offered : infos) {
    auto copy = std::make_shared<PlaylistItemInfo>(offered->snapshot());
    uint64_t id = offered->has(TABLE_KEY_ID) ? convertUniqueTrackID(offered->track_id()) : createUniqueTrackID();
    copy->setTrack_id(id);
    if (detail || copy->duration() == 0) {
      copy = createInformationCompletelyByInfo(*copy);
      if (!copy) continue;
    }
    built.push_back(std::move(copy));
  }
  {
    std::lock_guard lock(monitor_);
    uint64_t current = getCurrentTrackIDOfPlayOrder();
    row = std::min(row, rows_.size());
    std::set<size_t> selection;
    for (size_t s : selection_) selection.insert(s < row ? s : s + built.size());
    rows_.insert(rows_.begin() + static_cast<long>(row), built.begin(), built.end());
    selection_ = std::move(selection);
    updatePlayOrderOnMode();
    if (current != 0) pointToPlayOrderByTrackID(current);
  }
  updateObserver();
  report(infos, PlaylistChangeNotificatioTypeAdd, notify);
  return true;
}

void PlaylistArrayController::removeRows(const std::vector<PlaylistItemInfoRef>& infos) {
  for (const auto& info : infos) {
    auto it = std::find(rows_.begin(), rows_.end(), info);
    if (it == rows_.end()) continue;
    size_t index = static_cast<size_t>(it - rows_.begin());
    rows_.erase(it);
    std::set<size_t> selection;
    for (size_t s : selection_) {
      if (s < index) selection.insert(s);
      if (s > index) selection.insert(s - 1);
    }
    selection_ = std::move(selection);
  }
}

bool PlaylistArrayController::removeAllSelectedInfoes(bool notify) {
  std::vector<PlaylistItemInfoRef> removed;
  {
    std::lock_guard lock(monitor_);
    for (size_t s : selection_) {
      if (s < rows_.size()) removed.push_back(rows_[s]);
    }
    for (const auto& info : removed) removePlayOrderTrackID(info->track_id());
    removeRows(removed);
  }
  updateObserver();
  report(removed, PlaylistChangeNotificatioTypeRemove, notify);
  return true;
}

bool PlaylistArrayController::removeInfo(const PlaylistItemInfoRef& info, bool notify) {
  {
    std::lock_guard lock(monitor_);
    removePlayOrderTrackID(info->track_id());
    removeRows({info});
  }
  updateObserver();
  report({info}, PlaylistChangeNotificatioTypeRemove, notify);
  return true;
}

bool PlaylistArrayController::removeInfos(const std::vector<PlaylistItemInfoRef>& infos, bool notify) {
  {
    std::lock_guard lock(monitor_);
    removeRows(infos);
    for (const auto& info : infos) removePlayOrderTrackID(info->track_id());
  }
  updateObserver();
  report(infos, PlaylistChangeNotificatioTypeRemove, notify);
  return true;
}

bool PlaylistArrayController::removeInfoAtIndex(int64_t row, bool notify) {
  PlaylistItemInfoRef info;
  {
    std::lock_guard lock(monitor_);
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return false;
    info = rows_[static_cast<size_t>(row)];
    removePlayOrderTrackID(info->track_id());
    removeRows({info});
  }
  updateObserver();
  report({info}, PlaylistChangeNotificatioTypeRemove, notify);
  return true;
}

// The watch is rebuilt by removeInfo.
bool PlaylistArrayController::removeInfoTrackID(uint64_t id, bool notify) {
  PlaylistItemInfoRef info = getInfoByID(id);
  if (!info) return false;
  return removeInfo(info, notify);
}

bool PlaylistArrayController::moveSelectedInfoesFrom(size_t from, size_t to) {
  PlaylistItemInfoRef moved_marker;
  {
    std::lock_guard lock(monitor_);
    std::vector<PlaylistItemInfoRef> selected;
    for (size_t s : selection_) {
      if (s < rows_.size()) selected.push_back(rows_[s]);
    }
    uint64_t current = getCurrentTrackIDOfPlayOrder();
    size_t below = static_cast<size_t>(std::count_if(selection_.begin(), selection_.end(),
                                                     [&](size_t s) { return s < to; }));
    if (from < rows_.size()) moved_marker = rows_[from];
    removeRows(selected);
    size_t at = std::min(to - std::min(below, to), rows_.size());
    rows_.insert(rows_.begin() + static_cast<long>(at), selected.begin(), selected.end());
    selection_.clear();
    for (size_t i = 0; i < selected.size(); ++i) selection_.insert(at + i);
    updatePlayOrderOnMode();
    pointToPlayOrderByTrackID(current);
  }
  std::vector<PlaylistItemInfoRef> reported;
  if (moved_marker) reported.push_back(moved_marker);
  report(reported, PlaylistChangeNotificatioTypeMove, true);
  return true;
}

size_t PlaylistArrayController::getNumInfos() const {
  std::lock_guard lock(monitor_);
  return rows_.size();
}

double PlaylistArrayController::getTotalDuration() const {
  std::lock_guard lock(monitor_);
  double total = 0;
  for (const auto& r : rows_) total += r->duration();
  return total;
}

double PlaylistArrayController::getTruncatedTotalDuration() const {
  std::lock_guard lock(monitor_);
  double total = 0;
  for (const auto& r : rows_) total += std::floor(r->duration());
  return total;
}

// --- records from files ------------------------------------------------------------------

std::optional<Dict> PlaylistArrayController::createInformationBaseByPath(const std::string& path) {
  if (auto cached = getInfoFromCache(path)) return cached;
  const auto* cls = plugins_.findDecoderClassByPath(path);
  if (!cls) {
    logLine("decoder not found. (%s)", path.c_str());
    return std::nullopt;
  }
  auto decoder = cls->create();
  if (!decoder) {
    logLine("Decoder Allocation Failed.");
    return std::nullopt;
  }
  if (decoder->openByPath(path, nullptr) != 0) {
    logLine("Cannot Open Path. (%s)", path.c_str());
    return std::nullopt;
  }
  Value meta = decoder->getMetaData();
  if (meta.isNull()) {
    logLine("getMetaData returns nil. (%s)", path.c_str());
    return std::nullopt;
  }
  Dict record;
  record[TABLE_KEY_ARTIST] = Value("");
  record[TABLE_KEY_TITLE] = Value(sonara::platform::lastPathComponent(path));
  for (const auto& entry : meta.asArray()) {
    if (const Value& v = entry[METADATA_COMMON_KEY_ARTIST]; !v.isNull()) {
      record[TABLE_KEY_ARTIST] = v;
    } else if (const Value& t = entry[METADATA_COMMON_KEY_TITLE]; !t.isNull()) {
      record[TABLE_KEY_TITLE] = t;
    } else if (const Value& b = entry[METADATA_COMMON_KEY_SRC_BITS]; !b.isNull()) {
      record[TABLE_KEY_SRC_BITS] = b;
    } else if (const Value& r = entry[METADATA_COMMON_KEY_SRC_SAMPLERATE]; !r.isNull()) {
      record[TABLE_KEY_SRC_SAMPLERATE] = r;
    }
  }
  record[TABLE_KEY_DURATION] = Value(static_cast<double>(decoder->getDuration()) / 1e9);
  record[TABLE_KEY_SAMPLERATE] = Value(static_cast<double>(decoder->getSamplingRate()));
  record[TABLE_KEY_CHANNELS] = Value(decoder->getChannels());
  record[TABLE_KEY_BITS] = Value(decoder->getBits());
  record[TABLE_KEY_METADATA] = meta;
  record[TABLE_KEY_CLASS] = Value(cls->className());
  record[TABLE_KEY_ERROR_COUNT] = Value(0);
  addInfoToCache(record, path);
  return record;
}

PlaylistItemInfoRef PlaylistArrayController::createInformationCompletelyByInfo(const PlaylistItemInfo& info) {
  const std::string path = info.fullpath();
  if (path.empty() || path[0] != '/') {
    logLine("createInformationCompletelyByInfo : Invalid Path.");
    return nullptr;
  }
  auto base = createInformationBaseByPath(path);
  if (!base) return nullptr;
  Dict result = *base;
  result[TABLE_KEY_ID] = Value(info.track_id());
  if (info.has(TABLE_KEY_ARTIST)) result[TABLE_KEY_ARTIST] = info.get(TABLE_KEY_ARTIST);
  if (info.has(TABLE_KEY_TITLE)) result[TABLE_KEY_TITLE] = info.get(TABLE_KEY_TITLE);
  const double offset = info.offset();
  const double given = info.duration();
  const double total = sonara::lookup(*base, TABLE_KEY_DURATION).asDouble();
  result[kFileDurationKey] = Value(total);
  if (given != 0) {
    result[TABLE_KEY_OFFSET] = Value(offset);
    // Times stored in hundredths (by other programs) are truncated: a window that
    // reaches within two hundredths (its offset's and its duration's) of the file's
    // end was meant to run to the end, and does, so its last samples are played.
    const bool to_the_end = total > 0 && offset < total && offset + given >= total - kStoredTimeSlack;
    result[TABLE_KEY_DURATION] = Value(to_the_end ? total - offset : given);
  } else if (offset == 0) {
    result[TABLE_KEY_OFFSET] = Value(0.0);
  } else {
    if (offset > total) {
      logLine("createInformationCompletelyByInfo : offset time is informal. (offset:%f file-total-duration:%f)",
              offset, total);
      return nullptr;
    }
    result[TABLE_KEY_OFFSET] = Value(offset);
    result[TABLE_KEY_DURATION] = Value(total - offset);
  }
  result[TABLE_KEY_STATUS] = Value("");
  result[TABLE_KEY_FULLPATH] = Value(path);
  return std::make_shared<PlaylistItemInfo>(std::move(result));
}

PlaylistItemInfoRef PlaylistArrayController::updateCompleteInfoByID(uint64_t id) {
  PlaylistItemInfoRef row = getInfoByID(id);
  if (!row) return nullptr;
  if (auto complete = createInformationCompletelyByInfo(*row)) row->replace(complete->snapshot());
  return row;
}

std::optional<Dict> PlaylistArrayController::getInfoFromCache(const std::string& path) {
  std::lock_guard lock(cache_mutex_);
  auto it = cache_.find(path);
  if (it == cache_.end()) return std::nullopt;
  auto mtime = modificationTimeNs(path);
  if (!mtime) {
    logLine("getInfoFromCache : Getting File Attributes Failed.");
    return std::nullopt;
  }
  if (*mtime == it->second.mtime_ns) return it->second.record;
  cache_.erase(it);
  return std::nullopt;
}

void PlaylistArrayController::addInfoToCache(const Dict& record, const std::string& path) {
  auto mtime = modificationTimeNs(path);
  if (!mtime) {
    logLine("addInfoToCache : Getting File Attributes Failed.");
    return;
  }
  std::lock_guard lock(cache_mutex_);
  cache_[path] = CacheEntry{record, *mtime};
}

// --- lookups and setters ------------------------------------------------------------------

std::vector<PlaylistItemInfoRef> PlaylistArrayController::getAllInfos() const {
  std::lock_guard lock(monitor_);
  return rows_;
}

PlaylistItemInfoRef PlaylistArrayController::getSingleSelectedInfo() const {
  std::lock_guard lock(monitor_);
  if (selection_.empty() || *selection_.begin() >= rows_.size()) return nullptr;
  return rows_[*selection_.begin()];
}

int64_t PlaylistArrayController::rowOfID(uint64_t id) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i]->track_id() == id) return static_cast<int64_t>(i);
  }
  return -1;
}

PlaylistItemInfoRef PlaylistArrayController::getInfoByID(uint64_t id) const {
  std::lock_guard lock(monitor_);
  int64_t row = rowOfID(id);
  return row < 0 ? nullptr : rows_[static_cast<size_t>(row)];
}

PlaylistItemInfoRef PlaylistArrayController::getInfoAtIndex(int64_t row) const {
  std::lock_guard lock(monitor_);
  if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return nullptr;
  return rows_[static_cast<size_t>(row)];
}

bool PlaylistArrayController::setTitle(const std::string& title, uint64_t id, bool notify) {
  auto info = getInfoByID(id);
  if (!info) return false;
  info->setTitle(title);
  report({info}, PlaylistChangeNotificatioTypeEdit, notify);
  return true;
}

bool PlaylistArrayController::setArtist(const std::string& artist, uint64_t id, bool notify) {
  auto info = getInfoByID(id);
  if (!info) return false;
  info->setArtist(artist);
  report({info}, PlaylistChangeNotificatioTypeEdit, notify);
  return true;
}

// Status images: the desktop program shows its own artwork for these names.
bool PlaylistArrayController::setStatus(uint64_t id, bool playing, bool pause, bool notify) {
  auto info = getInfoByID(id);
  if (!info) return false;
  info->set(TABLE_KEY_STATUS, Value(playing ? (pause ? "pause.png" : "playing_indicator.png") : ""));
  report({info}, PlaylistChangeNotificatioTypeEdit, notify);
  return true;
}

size_t PlaylistArrayController::getNumberErrorTracks() const {
  std::lock_guard lock(monitor_);
  return static_cast<size_t>(std::count_if(rows_.begin(), rows_.end(), [](const auto& r) {
    return r->get(TABLE_KEY_ERROR_COUNT).asInt() != 0;
  }));
}

void PlaylistArrayController::clearErrorTracks() {
  std::lock_guard lock(monitor_);
  for (const auto& r : rows_) r->set(TABLE_KEY_ERROR_COUNT, Value(0));
}

void PlaylistArrayController::markErrorTrack(const PlaylistItemInfoRef& info) {
  std::lock_guard lock(monitor_);
  if (!info || std::find(rows_.begin(), rows_.end(), info) == rows_.end()) return;
  if (!info->has(TABLE_KEY_ERROR_COUNT)) return;
  info->set(TABLE_KEY_ERROR_COUNT, Value(info->get(TABLE_KEY_ERROR_COUNT).asInt() + 1));
}

uint32_t PlaylistArrayController::getErrorCount(const PlaylistItemInfoRef& info) const {
  std::lock_guard lock(monitor_);
  if (!info || std::find(rows_.begin(), rows_.end(), info) == rows_.end()) return 0;
  return static_cast<uint32_t>(info->get(TABLE_KEY_ERROR_COUNT).asInt());
}

std::string PlaylistArrayController::playlist_path() const {
  std::lock_guard lock(monitor_);
  return playlist_path_;
}

void PlaylistArrayController::setPlaylist_path(std::string path) {
  std::lock_guard lock(monitor_);
  playlist_path_ = std::move(path);
}

std::set<size_t> PlaylistArrayController::selectionIndexes() const {
  std::lock_guard lock(monitor_);
  return selection_;
}

void PlaylistArrayController::setSelectionIndexes(std::set<size_t> rows) {
  std::lock_guard lock(monitor_);
  selection_.clear();
  for (size_t r : rows) {
    if (r < rows_.size()) selection_.insert(r);
  }
}
