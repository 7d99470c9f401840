// One plug-in bundle on disk: "<Name>.plugin/Info.plist" and its shared object.
#pragma once

#include <optional>
#include <string>

#include "plugin/decoder_plugin.h"

namespace sonara {

class PluginBundle {
 public:
  // Reads the bundle's Info.plist; false when the folder has none or it is unreadable.
  bool open(const std::string& path);

  const std::string& path() const { return path_; }
  // "CFBundleShortVersionString", or nothing.
  std::optional<std::string> version() const { return version_; }
  // "NSPrincipalClass", or nothing.
  std::optional<std::string> principalClassName() const { return principal_class_; }
  // Loads the shared object and returns its entry point, or null (the reason is
  // in loadError()). The object stays loaded for the life of the process.
  SonaraPluginEntry loadEntryPoint();
  const std::string& loadError() const { return load_error_; }

 private:
  std::string path_;
  std::optional<std::string> version_;
  std::optional<std::string> principal_class_;
  std::optional<std::string> executable_;
  std::string load_error_;
};

}  // namespace sonara
