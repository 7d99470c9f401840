#include "engine/plugin/plugin_manager.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "engine/plugin/plugin_bundle.h"
#include "platform/log.h"
#include "platform/path_names.h"

namespace sonara {

using platform::logLine;
using platform::lastPathComponent;
using platform::lowerCaseExtension;

namespace {

std::vector<std::string> splitAtDots(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    auto dot = text.find('.', start);
    parts.push_back(text.substr(start, dot - start));
    if (dot == std::string::npos) return parts;
    start = dot + 1;
  }
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Bundles in `dir`, in the order the directory lists them.
std::vector<std::string> listBundles(const std::string& dir) {
  std::vector<std::string> bundles;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return bundles;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name.size() > 7 && name.compare(name.size() - 7, 7, ".plugin") == 0) {
      bundles.push_back(dir + "/" + name);
    }
  }
  ::closedir(d);
  return bundles;
}

bool hasCodecType(const PluginRecord& r, int64_t type) {
  const Value& v = lookup(r.properties, plugin::kKeyCodecType);
  return v.isNumber() && v.asInt() == type;
}

}  // namespace

bool PluginRecord::comparePriority(const PluginRecord& other) const {
  return lookup(properties, plugin::kKeyPriority).asDouble() <
         lookup(other.properties, plugin::kKeyPriority).asDouble();
}

PluginManager& PluginManager::sharedInstance() {
  static PluginManager manager;  // creation is serialised by the language
  return manager;
}

void PluginManager::initializePluginList() {
  static std::once_flag once;
  std::call_once(once, [] { sharedInstance().enumPluginByPath(builtInPluginsPath()); });
}

std::string PluginManager::builtInPluginsPath() {
  if (const char* env = std::getenv("SONARA_PLUGIN_DIR"); env && *env) return env;
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&PluginManager::builtInPluginsPath), &info) &&
      info.dli_fname) {
    std::string lib = info.dli_fname;
    auto slash = lib.find_last_of('/');
    std::string libdir = slash == std::string::npos ? "." : lib.substr(0, slash);
    // Found through $ORIGIN the folder reads <prefix>/bin/../lib: the plain name is
    // the one to report.
    if (char* real = ::realpath(libdir.c_str(), nullptr)) {
      libdir = real;
      std::free(real);
    }
    std::string installed = libdir + "/pelmora/plugins";
    if (isDirectory(installed)) return installed;
    std::string build_tree = libdir + "/../plugins";
    if (isDirectory(build_tree)) return build_tree;
  }
  return "/usr/lib/pelmora/plugins";
}

bool PluginManager::checkProperties(const Value& p) {
  auto fail = [](const char* message) {
    logLine("%s", message);
    return false;
  };
  if (!p[plugin::kKeyName].isString()) return fail("Plugin Name is Unspecified.");
  const Value& ifv = p[plugin::kKeyInterfaceVersion];
  if (!ifv.isString()) return fail("Plugin I/F Version is Unspecified.");
  auto parts = splitAtDots(ifv.asString());
  if (parts.size() < 3) return fail("Invalid Plugin I/F Version.");
  auto host = splitAtDots(plugin::kInterfaceVersion);
  if (parts[0] != host[0] || parts[1] != host[1]) return fail("Plugin I/F Version Unmatched.");
  if (!p[plugin::kKeyPriority].isNumber()) return fail("Plugin Priority is Unspecified.");
  const Value& type = p[plugin::kKeyPluginType];
  if (!type.isNumber()) return fail("Plugin Type is Unspecified.");
  if (type.asInt() != plugin::kPluginTypeDecoder) {
    logLine("Unsupported Plugin Type. (%ld)", static_cast<long>(type.asInt()));
    return false;
  }
  const Value& exts = p[plugin::kKeyExts];
  if (!exts.isArray()) return fail("Plugin Extension is Unspecified.");
  for (const auto& e : exts.asArray()) {
    if (!e.isString()) return fail("Plugin Extension is Invalid Value.");
  }
  const Value& codec = p[plugin::kKeyCodecType];
  if (!codec.isNumber()) return fail("Codec Type is Unspecified.");
  if (codec.asInt() != plugin::kCodecTypeFile) return fail("Unsupported Codec Type.");
  return true;
}

void PluginManager::loadBundle(const std::string& path) {
  const std::string name = lastPathComponent(path);
  PluginBundle bundle;
  if (!bundle.open(path)) logLine("Plugin Not Found. (%s)", path.c_str());
  // A bundle without a version still needs one in its record.
  std::string version = bundle.version().value_or("");

  SonaraPluginEntry entry = bundle.principalClassName() ? bundle.loadEntryPoint() : nullptr;
  if (!entry) {
    logLine("principalClass not found. (%s)", name.c_str());
    return;
  }
  std::shared_ptr<plugin::Principal> principal;
  try {
    principal.reset(entry(bundle.principalClassName()->c_str()));
  } catch (...) {
    principal.reset();
  }
  if (!principal) {
    logLine("Plugin Allocation Failed. (%s)", name.c_str());
    return;
  }
  Value properties = principal->getProperties();
  if (!properties.isDict() || !checkProperties(properties)) {
    logLine("Invalid Property. (%s)", name.c_str());
    return;
  }
  PluginRecord record{properties.asDict(), std::move(principal)};
  record.properties[plugin::kKeyVersion] = Value(version);
  if (lookup(record.properties, plugin::kKeyPluginType).asInt() == plugin::kPluginTypeDecoder) {
    codec_plugins_.push_back(std::move(record));
  }
}

void PluginManager::enumPluginByPath(const std::string& dir) {
  for (const auto& path : listBundles(dir)) loadBundle(path);
  std::stable_sort(codec_plugins_.begin(), codec_plugins_.end(),
                   [](const PluginRecord& a, const PluginRecord& b) { return a.comparePriority(b); });
}

std::vector<std::string> PluginManager::getPluginNames() const {
  std::vector<std::string> names;
  for (const auto& r : codec_plugins_) names.push_back(lookup(r.properties, plugin::kKeyName).asString());
  return names;
}

std::vector<std::string> PluginManager::getDecodePluginNames() const {
  std::vector<std::string> names;
  for (const auto& r : codec_plugins_) {
    if (hasCodecType(r, plugin::kCodecTypeFile)) {
      names.push_back(lookup(r.properties, plugin::kKeyName).asString());
    }
  }
  return names;
}

std::vector<std::string> PluginManager::getDecoderExts() const {
  std::vector<std::string> exts;
  for (const auto& r : codec_plugins_) {
    if (!hasCodecType(r, plugin::kCodecTypeFile)) continue;
    for (const auto& e : lookup(r.properties, plugin::kKeyExts).asArray()) {
      if (std::find(exts.begin(), exts.end(), e.asString()) == exts.end()) {
        exts.push_back(e.asString());
      }
    }
  }
  return exts;
}

const plugin::DecoderClass* PluginManager::findDecoderClassByPath(const std::string& path) const {
  const std::string ext = lowerCaseExtension(path);
  const plugin::DecoderClass* best = nullptr;
  uint32_t best_score = 0;
  for (const auto& r : codec_plugins_) {
    const auto& exts = lookup(r.properties, plugin::kKeyExts).asArray();
    bool declared = std::any_of(exts.begin(), exts.end(),
                                [&](const Value& e) { return e.asString() == ext; });
    if (!declared) continue;
    const plugin::DecoderClass* cls = r.instance->findDecoderClassByPath(path);
    if (!cls) continue;
    {
      std::lock_guard lock(classes_mutex_);
      classes_seen_[cls->className()] = cls;
    }
    uint32_t score = cls->getScoreByPath(path);
    if (score >= 100) return cls;
    if (score >= 20 && score > best_score) {
      best = cls;
      best_score = score;
    }
  }
  return best;
}

}  // namespace sonara

namespace sonara {

const plugin::DecoderClass* PluginManager::decoderClassNamed(const std::string& name,
                                                             const std::string& path) const {
  {
    std::lock_guard lock(classes_mutex_);
    auto it = classes_seen_.find(name);
    if (it != classes_seen_.end()) return it->second;
  }
  const plugin::DecoderClass* cls = findDecoderClassByPath(path);
  return cls && name == cls->className() ? cls : nullptr;
}

}  // namespace sonara
