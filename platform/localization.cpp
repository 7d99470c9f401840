#include "platform/localization.h"

#include <mutex>

namespace sonara::platform {
namespace {
std::mutex g_mutex;
std::map<std::string, std::string>& table() {
  static std::map<std::string, std::string> t;
  return t;
}
}  // namespace

std::string localizedString(const std::string& key) {
  std::lock_guard lock(g_mutex);
  auto it = table().find(key);
  return it == table().end() ? key : it->second;
}

void setLocalizationTable(std::map<std::string, std::string> t) {
  std::lock_guard lock(g_mutex);
  table() = std::move(t);
}

}  // namespace sonara::platform
