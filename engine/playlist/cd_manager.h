// The audio CDs the desktop has mounted. GVFS presents a disc as a folder of
// "Track N.wav" files, $XDG_RUNTIME_DIR/gvfs/cdda:host=<device>; $SONARA_CD_VOLUMES
// names the places to search instead (colon-separated; an empty entry stands for the
// desktop's place, so "/media/discs:" searches both). A disc is a folder of a place, or
// the place itself, holding at least one track file. Nothing is read beyond listings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plugin/value.h"

class CDManager {
 public:
  // Finds the discs. A place or disc that cannot be listed is skipped with a log line,
  // so one bad folder never hides the others; true unless there is nowhere to look.
  bool initialize();
  // One record per disc, in place order then name order: "CD Label" and "CD URL".
  const std::vector<sonara::Dict>& info() const { return info_; }
  std::string getContentDirAtIndex(int64_t index) const;
  // The disc's track files in track-number order; nothing when the index is out of
  // range or the folder cannot be listed (logged).
  std::optional<std::vector<std::string>> getContentPathsAtIndex(int64_t index) const;

  // The places searched, in order.
  static std::vector<std::string> searchPlaces();
  // The track files of a folder ("*.wav", hidden ones left out), in track-number
  // order; nothing when the folder cannot be listed.
  static std::optional<std::vector<std::string>> trackFilesIn(const std::string& folder);
  // The folders of a place that may be discs (in the desktop's place, only its audio-CD
  // mounts), in name order; hidden ones left out.
  static std::vector<std::string> candidateFoldersIn(const std::string& place);
  // What the user sees for a disc folder: "Audio CD (sr0)" for GVFS's "cdda:host=sr0",
  // else the folder's name.
  static std::string labelOf(const std::string& folder);

 private:
  void addDiscIfAny(const std::string& folder);

  std::vector<sonara::Dict> info_;
};
