// The playlist written to and read from XML playlist files.
#include "engine/playlist/playlist_array_controller.h"
#include "engine/playlist/playlist_file.h"
#include "platform/atomic_file.h"
#include "platform/log.h"
#include "platform/property_list.h"

bool PlaylistArrayController::savePlaylist(const std::string& path) const {
  const std::string xml =
      sonara::platform::toXmlPropertyList(sonara::Value(sonara::playlist::playlistDictionary(getAllInfos())));
  if (auto failure = sonara::platform::writeFileAtomically(path, xml, {}, sonara::platform::FileAccess::Shared)) {
    sonara::platform::logLine("%s cannot be written: %s", path.c_str(), failure->c_str());
    return false;
  }
  return true;
}

std::optional<std::vector<PlaylistItemInfoRef>> PlaylistArrayController::parsePlaylistFile(const std::string& path) {
  const auto text = sonara::platform::readWholeFile(path);
  if (!text) {
    sonara::platform::logLine("%s cannot be read.", path.c_str());
    return std::nullopt;
  }
  std::string why;
  const auto root = sonara::platform::parsePropertyList(*text, &why);
  if (!root || !root->isDict()) {
    sonara::platform::logLine("%s is not a playlist: %s.", path.c_str(),
                              why.empty() ? "not a property-list dictionary" : why.c_str());
    return std::nullopt;
  }
  return sonara::playlist::recordsFromPlaylistDictionary(root->asDict());
}
