// Paths as file URLs, the way playlist files store them: "file://" and the absolute
// path, with every byte a URL path may not hold percent-escaped.
#pragma once

#include <optional>
#include <string>

namespace sonara::playlist {

std::string fileURLFromPath(const std::string& path);

// The path of a "file://" (or "file://localhost/", or "file:/") URL with its escapes
// decoded; nothing for another scheme, a bad escape or an escaped NUL.
std::optional<std::string> pathFromFileURL(const std::string& url);

}  // namespace sonara::playlist
