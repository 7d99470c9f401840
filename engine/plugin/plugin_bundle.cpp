#include "engine/plugin/plugin_bundle.h"

#include <dlfcn.h>

#include "engine/plugin/plugin_host.h"
#include "platform/atomic_file.h"
#include "platform/property_list.h"

namespace sonara {

bool PluginBundle::open(const std::string& path) {
  path_ = path;
  auto bytes = platform::readWholeFile(path + "/Info.plist", 1u << 20);
  if (!bytes) return false;
  auto info = platform::parsePropertyList(*bytes);
  if (!info || !info->isDict()) return false;
  auto stringOf = [&](const char* key) -> std::optional<std::string> {
    const Value& v = (*info)[key];
    if (!v.isString()) return std::nullopt;
    return v.asString();
  };
  version_ = stringOf("CFBundleShortVersionString");
  principal_class_ = stringOf("NSPrincipalClass");
  executable_ = stringOf("CFBundleExecutable");
  return true;
}

SonaraPluginEntry PluginBundle::loadEntryPoint() {
  if (!executable_ || executable_->empty() || executable_->find('/') != std::string::npos) {
    load_error_ = "no executable named in Info.plist";
    return nullptr;
  }
  std::string object = path_ + "/" + *executable_;
  // Bundles are never unloaded, so the handle is deliberately kept open.
  void* handle = ::dlopen(object.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    load_error_ = why ? why : "dlopen failed";
    return nullptr;
  }
  // The services come before the principal, so that it can log from its first call.
  if (auto attach = reinterpret_cast<SonaraPluginAttachHost>(::dlsym(handle, SONARA_PLUGIN_ATTACH_HOST_NAME))) {
    attach(pluginHostServices());
  }
  auto entry = reinterpret_cast<SonaraPluginEntry>(::dlsym(handle, SONARA_PLUGIN_ENTRY_NAME));
  if (!entry) load_error_ = "no entry point";
  return entry;
}

}  // namespace sonara
