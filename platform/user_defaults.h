// Per-user settings kept across runs: typed values by key in one XML property list,
// $XDG_CONFIG_HOME/pelmora/defaults.plist ($SONARA_DEFAULTS overrides the path).
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/property_list.h"
#include "plugin/value.h"

namespace sonara::platform {

class UserDefaults {
 public:
  // Reads the file at `path`. A file that is not a property-list dictionary is
  // reported in one log line and renamed aside (path + ".damaged-<time>"), so it is
  // never overwritten; the settings then start empty.
  explicit UserDefaults(std::string path);

  // The path chosen by the environment for this user.
  static std::string defaultPath();

  const std::string& path() const { return path_; }

  Value object(const std::string& key) const;  // null when absent
  std::optional<std::string> string(const std::string& key) const;
  int64_t integer(const std::string& key) const;  // 0 when absent
  double real(const std::string& key) const;      // 0.0 when absent
  bool boolean(const std::string& key) const;     // false when absent

  void set(const std::string& key, Value value);
  // Bytes kept as a property list's data entry (the playlist's column widths, for
  // example); nothing when the key is absent or holds something else.
  std::optional<std::string> data(const std::string& key) const;
  void setData(const std::string& key, const std::string& bytes);
  void remove(const std::string& key);

  // Writes the file atomically when something changed; a file that is a symbolic link
  // stays one (its target is replaced). Keys this program never set keep their values
  // and types. False (with a log line) when it could not be written; the previous
  // file is then intact.
  bool synchronize();

 private:
  void load();

  mutable std::mutex mutex_;
  std::string path_;
  Dict values_;
  // Entries of the file a value cannot hold (dates, data, large unsigned numbers),
  // written back as they were read until the program sets or removes them.
  decltype(PropertyListDictionary::raw) raw_;
  bool dirty_ = false;
};

}  // namespace sonara::platform
