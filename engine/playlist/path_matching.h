// Dropped files and folders turned into the sorted list of paths worth opening:
// folders searched through, hidden entries left out, extensions compared without
// regard to case, in the order a file manager shows them.
#pragma once

#include <string>
#include <vector>

namespace sonara::playlist {

// Drops each path that lies inside a folder named earlier in the list.
std::vector<std::string> removeChildItem(const std::vector<std::string>& paths);

// Every file below the folders (and each path that is not a folder), without the
// entries whose names start with "."; folders that cannot be read are skipped, and a
// folder reached again through a symbolic link is not walked twice.
std::vector<std::string> getFilesInDirectory(const std::vector<std::string>& paths);

// The files whose extensions are among `exts` (lower case), sorted with
// localizedStandardLess, without the audio files a cue sheet among them names.
std::vector<std::string> pathsMatchingNoCaseExtensions(const std::vector<std::string>& paths,
                                                       const std::vector<std::string>& exts);

// `paths` without the files that the cue sheets among them name in their FILE lines:
// an album dropped as its audio file and its sheet is played once, as the sheet's
// tracks. Files of the same name outside `paths` are not looked at.
std::vector<std::string> withoutFilesOfCueSheets(const std::vector<std::string>& paths);

// Case-insensitive order in which runs of digits compare by their value:
// "b2.flac" before "b10.flac".
bool localizedStandardLess(const std::string& a, const std::string& b);

}  // namespace sonara::playlist
