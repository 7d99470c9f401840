#include "engine/playlist/playlist_item_info.h"

using sonara::Dict;
using sonara::Value;

Value PlaylistItemInfo::get(const char* key) const {
  std::lock_guard lock(mutex_);
  return sonara::lookup(fields_, key);
}

void PlaylistItemInfo::set(const char* key, Value value) {
  std::lock_guard lock(mutex_);
  fields_[key] = std::move(value);
}

void PlaylistItemInfo::remove(const char* key) {
  std::lock_guard lock(mutex_);
  fields_.erase(key);
}

bool PlaylistItemInfo::has(const char* key) const {
  std::lock_guard lock(mutex_);
  return fields_.count(key) > 0;
}

Dict PlaylistItemInfo::snapshot() const {
  std::lock_guard lock(mutex_);
  return fields_;
}

void PlaylistItemInfo::replace(Dict fields) {
  std::lock_guard lock(mutex_);
  fields_ = std::move(fields);
}
