// The registry of decoder plug-ins: loads and validates the bundles once, keeps the
// valid ones in priority order and chooses a decoder class per file.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plugin/decoder_plugin.h"

namespace sonara {

// One registered plug-in: its declared properties plus "version", and its principal.
struct PluginRecord {
  Dict properties;
  std::shared_ptr<plugin::Principal> instance;

  // Sorting: ascending numeric "priority".
  bool comparePriority(const PluginRecord& other) const;
};

class PluginManager {
 public:
  // The process's registry, made on first use.
  static PluginManager& sharedInstance();
  // Loads the built-in plug-ins directory into the shared registry, once.
  static void initializePluginList();
  // $SONARA_PLUGIN_DIR, else the folder beside the engine library: in a build tree
  // <build>/plugins, when installed <prefix>/lib/pelmora/plugins.
  static std::string builtInPluginsPath();
  // Validation of a plug-in's declared properties; logs the first failing check.
  static bool checkProperties(const Value& properties);

  // A registry of its own, for tools and tests; the engine uses sharedInstance().
  PluginManager() = default;
  PluginManager(const PluginManager&) = delete;
  PluginManager& operator=(const PluginManager&) = delete;

  // Loads, validates and registers every "*.plugin" bundle in `dir`, then sorts.
  void enumPluginByPath(const std::string& dir);

  std::vector<std::string> getPluginNames() const;
  std::vector<std::string> getDecodePluginNames() const;
  std::vector<std::string> getDecoderExts() const;
  std::vector<PluginRecord> getPluginProperties() const { return codec_plugins_; }
  // The decoder class for a file, by extension, priority and score; null when none.
  const plugin::DecoderClass* findDecoderClassByPath(const std::string& path) const;
  // Files are chosen by path only.
  const plugin::DecoderClass* findDecoderClassByURL(const std::string&) const { return nullptr; }
  const std::vector<PluginRecord>& codecPlugins() const { return codec_plugins_; }
  // The class of that name: one handed out before, else the one chosen for `path`
  // when its name matches. Null when neither.
  const plugin::DecoderClass* decoderClassNamed(const std::string& name, const std::string& path) const;

 private:
  void loadBundle(const std::string& path);

  std::vector<PluginRecord> codec_plugins_;
  mutable std::mutex classes_mutex_;
  mutable std::map<std::string, const plugin::DecoderClass*> classes_seen_;
};

}  // namespace sonara
