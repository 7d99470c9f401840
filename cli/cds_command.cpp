// pelmora-cli cds: the audio CDs the desktop has mounted, with their tracks.
#include <cstdio>

#include "cli/cd_choice.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "engine/api/constants.h"
#include "engine/playlist/cd_manager.h"

namespace pelmora::cli {

int listDiscs(bool json) {
  CDManager discs;
  discs.initialize();
  if (discs.info().empty()) {
    std::fprintf(stderr, "pelmora-cli: no audio CD is mounted (looked in %s)\n", placesSearched().c_str());
    return 0;
  }
  for (size_t i = 0; i < discs.info().size(); ++i) {
    const auto index = static_cast<int64_t>(i);
    const std::string label = sonara::lookup(discs.info()[i], CD_LABEL).asString();
    const std::string folder = discs.getContentDirAtIndex(index);
    const auto tracks = discs.getContentPathsAtIndex(index).value_or(std::vector<std::string>{});
    if (json) {
      std::puts(JsonObject()
                    .add("index", static_cast<int64_t>(i + 1))
                    .add("label", label)
                    .add("folder", folder)
                    .add("tracks", tracks)
                    .str()
                    .c_str());
    } else {
      std::printf("%zu  %-24s %2zu tracks  %s\n", i + 1, label.c_str(), tracks.size(), folder.c_str());
    }
  }
  return 0;
}

}  // namespace pelmora::cli
