#include "platform/user_defaults.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/atomic_file.h"
#include "platform/log.h"
#include "platform/property_list.h"

#include <plist/plist.h>

namespace sonara::platform {

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) { load(); }

std::string UserDefaults::defaultPath() {
  if (const char* p = std::getenv("SONARA_DEFAULTS"); p && *p) return p;
  std::string base;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
    base = x;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    base = std::string(h) + "/.config";
  } else {
    base = ".";
  }
  return base + "/pelmora/defaults.plist";
}

void UserDefaults::load() {
  auto bytes = readWholeFile(path_);
  if (!bytes) {
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0 && errno == ENOENT) return;  // no settings yet
    // Something is there that cannot be read: say so, and never write over it.
    if (S_ISDIR(st.st_mode)) {
      logLine("Settings file %s is a folder, not a file; settings will not be saved.", path_.c_str());
    } else {
      const int why = ::access(path_.c_str(), R_OK) != 0 ? errno : EINVAL;
      logLine("Settings file %s cannot be read (%s); settings will not be saved.", path_.c_str(),
              why == EINVAL ? "not a readable settings file" : std::strerror(why));
    }
    path_.clear();
    return;
  }
  std::string why;
  auto parsed = parsePropertyListDictionary(*bytes, &why);
  if (parsed) {
    values_ = std::move(parsed->values);
    raw_ = std::move(parsed->raw);
    return;
  }
  // A date a person can read: defaults.plist.damaged-2026-12-08T10-15-00.
  char stamp[32] = "unknown-time";
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  if (::localtime_r(&now, &local)) std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H-%M-%S", &local);
  std::string aside = path_ + ".damaged-" + stamp;
  if (std::rename(path_.c_str(), aside.c_str()) == 0) {
    logLine("Settings file %s is damaged%s; moved aside to %s.", path_.c_str(),
            why.empty() ? "" : (" (" + why + ")").c_str(), aside.c_str());
  } else {
    logLine("Settings file %s is damaged%s and cannot be moved aside; it will not be rewritten.",
            path_.c_str(), why.empty() ? "" : (" (" + why + ")").c_str());
    path_.clear();  // never overwrite what the user may still want to rescue
  }
}

Value UserDefaults::object(const std::string& key) const {
  std::lock_guard lock(mutex_);
  return lookup(values_, key);
}

std::optional<std::string> UserDefaults::string(const std::string& key) const {
  Value v = object(key);
  if (!v.isString()) return std::nullopt;
  return v.asString();
}

int64_t UserDefaults::integer(const std::string& key) const { return object(key).asInt(); }
double UserDefaults::real(const std::string& key) const { return object(key).asDouble(); }
bool UserDefaults::boolean(const std::string& key) const { return object(key).asBool(); }

void UserDefaults::set(const std::string& key, Value value) {
  std::lock_guard lock(mutex_);
  values_[key] = std::move(value);
  raw_.erase(key);
  dirty_ = true;
}

std::optional<std::string> UserDefaults::data(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = raw_.find(key);
  if (it == raw_.end()) return std::nullopt;
  auto* node = static_cast<plist_t>(it->second->node());
  if (plist_get_node_type(node) != PLIST_DATA) return std::nullopt;
  uint64_t length = 0;
  const char* bytes = plist_get_data_ptr(node, &length);
  return std::string(bytes ? bytes : "", bytes ? length : 0);
}

void UserDefaults::setData(const std::string& key, const std::string& bytes) {
  plist_t node = plist_new_data(bytes.data(), bytes.size());
  auto entry = std::make_shared<const RawPropertyListEntry>(node);  // a copy
  plist_free(node);
  std::lock_guard lock(mutex_);
  values_[key] = Value();  // as a data entry is read
  raw_[key] = std::move(entry);
  dirty_ = true;
}

void UserDefaults::remove(const std::string& key) {
  std::lock_guard lock(mutex_);
  raw_.erase(key);
  dirty_ |= values_.erase(key) > 0;
}

bool UserDefaults::synchronize() {
  std::lock_guard lock(mutex_);
  if (!dirty_) return true;
  if (path_.empty()) return false;
  if (auto error = writeFileAtomically(path_, toXmlPropertyList(values_, raw_))) {
    logLine("Cannot save settings: %s", error->c_str());
    return false;
  }
  dirty_ = false;
  return true;
}

}  // namespace sonara::platform
