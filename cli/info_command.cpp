// pelmora-cli info: what the engine learns of each file.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/file_check.h"
#include "cli/json_writer.h"
#include "cli/log_lines.h"
#include "engine/plugin/decoder_host.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/path_names.h"

namespace pelmora::cli {

namespace {

const char* formatName(uint32_t code) {
  switch (code) {
    case sonara::plugin::kFormatLpcm: return "lpcm";
    case sonara::plugin::kFormatDoP: return "dop";
    default: return "unknown";
  }
}

void printError(const std::string& path, const std::string& reason, bool json) {
  if (json) {
    std::puts(JsonObject().add("path", path).add("error", reason).str().c_str());
  } else {
    std::printf("%s\n  cannot be read: %s\n", path.c_str(), reason.c_str());
  }
}


}  // namespace

int showInfo(const std::vector<std::string>& files, bool json) {
  sonara::PluginManager::initializePluginList();
  const auto& plugins = sonara::PluginManager::sharedInstance();
  const auto exts = plugins.getDecoderExts();
  if (exts.empty()) {
    std::fprintf(stderr, "pelmora-cli: %s\n", noPluginsReason().c_str());
    return 1;
  }
  int failures = 0;
  for (const auto& path : files) {
    // Reasons found before any decoder opens the file: it never blocks on a FIFO.
    std::string problem = fileProblem(path);
    if (problem.empty()) problem = extensionProblem(path, exts);
    if (problem.empty()) problem = contentProblem(path);
    if (!problem.empty()) {
      printError(path, problem, json);
      ++failures;
      continue;
    }
    sonara::OpenFailure failure;
    std::string plugin_reason;
    std::optional<sonara::OpenedDecoder> opened;
    {
      LinesWhileOpening lines;
      opened = sonara::openDecoder(plugins, path, nullptr, &failure);
      if (!opened) plugin_reason = lines.reasonFor(path);
    }
    if (!opened) {
      std::string reason = failure.status == 0 ? "not a valid ." + sonara::platform::lowerCaseExtension(path) +
                                                     " file: its plug-in does not take it"
                                               : failure.reason;
      if (!plugin_reason.empty()) {
        reason = plugin_reason;
      } else if (failure.status != 0) {
        reason += " (status " + std::to_string(failure.status) + ")";
      }
      printError(path, reason, json);
      ++failures;
      continue;
    }
    auto d = sonara::describeStream(*opened->decoder, path);
    if (!d) {
      printError(path, "the decoder gives no metadata", json);
      ++failures;
      continue;
    }
    // An untagged file is named by its file name without the extension.
    if (const std::string name = sonara::platform::lastPathComponent(path); d->title == name) {
      const std::string ext = sonara::platform::pathExtension(path);
      if (!ext.empty()) d->title = name.substr(0, name.size() - ext.size() - 1);
    }
    if (json) {
      JsonObject o;
      o.add("path", path)
          .add("decoder", opened->decoder_class->className())
          .add("rate", static_cast<double>(d->rate))
          .add("channels", d->channels)
          .add("bits", d->bits)
          .add("format", formatName(d->format))
          .add("duration", d->duration_s)
          .add("title", d->title)
          .add("artist", d->artist)
          .add("src_bits", d->src_bits)
          .add("src_rate", d->src_rate);
      // Tags the file does not have are null.
      for (const auto& [key, value] : {std::pair{"album", &d->album}, std::pair{"track", &d->track},
                                       std::pair{"disc", &d->disc}, std::pair{"date", &d->date}}) {
        if (value->empty()) {
          o.addNull(key);
        } else {
          o.add(key, *value);
        }
      }
      std::puts(o.str().c_str());
    } else {
      // Compressed formats have no bit depth of their own.
      const std::string depth = d->src_bits > 0 ? std::to_string(d->src_bits) + "-bit" : "compressed";
      std::printf("%s\n  decoder   %s\n  stream    %.0f Hz, %u channels, %u-bit %s\n"
                  "  source    %s, %.0f Hz\n  duration  %.3f s\n  title     %s\n"
                  "  artist    %s\n",
                  path.c_str(), opened->decoder_class->className(), static_cast<double>(d->rate),
                  d->channels, d->bits, formatName(d->format), depth.c_str(), d->src_rate, d->duration_s,
                  d->title.c_str(), d->artist.c_str());
      if (!d->album.empty()) std::printf("  album     %s\n", d->album.c_str());
      if (!d->track.empty()) std::printf("  track     %s\n", d->track.c_str());
      if (!d->disc.empty()) std::printf("  disc      %s\n", d->disc.c_str());
      if (!d->date.empty()) std::printf("  date      %s\n", d->date.c_str());
    }
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace pelmora::cli
