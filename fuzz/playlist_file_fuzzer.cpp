// Reads arbitrary bytes as an XML playlist: the property list, then the records it
// names, each of which must have a path.
#include <cstdlib>
#include <string_view>

#include "engine/playlist/playlist_file.h"
#include "platform/property_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto root = sonara::platform::parsePropertyList(text);
  if (!root || !root->isDict()) return 0;
  for (const auto& record : sonara::playlist::recordsFromPlaylistDictionary(root->asDict())) {
    if (record->fullpath().empty()) std::abort();
  }
  return 0;
}
