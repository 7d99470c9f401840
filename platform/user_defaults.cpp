#include "platform/user_defaults.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/atomic_file.h"
#include "platform/log.h"
#include "platform/property_list.h"

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
  if (!bytes) return;  // no settings yet
  auto parsed = parsePropertyListDictionary(*bytes);
  if (parsed) {
    values_ = std::move(parsed->values);
    raw_ = std::move(parsed->raw);
    return;
  }
  std::string aside = path_ + ".damaged-" + std::to_string(std::time(nullptr));
  if (std::rename(path_.c_str(), aside.c_str()) == 0) {
    logLine("Settings file %s is damaged; moved aside to %s.", path_.c_str(), aside.c_str());
  } else {
    logLine("Settings file %s is damaged and cannot be moved aside; it will not be rewritten.",
            path_.c_str());
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
