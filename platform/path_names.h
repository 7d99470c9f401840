// The parts of a file path the engine looks at.
#pragma once

#include <string>

namespace sonara::platform {

// "track.flac" of "/music/track.flac".
std::string lastPathComponent(const std::string& path);
// "FLAC" of "/music/track.FLAC", as written; empty when the file name has none.
std::string pathExtension(const std::string& path);
// The extension in lower case, as plug-ins declare theirs.
std::string lowerCaseExtension(const std::string& path);

}  // namespace sonara::platform
