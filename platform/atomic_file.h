// Whole-file reads and atomic replacement, so that a crash or a full disk never
// leaves a half-written settings or playlist file behind.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace sonara::platform {

// The file's bytes, or nothing when it cannot be read. Files larger than
// `max_bytes` are refused rather than read.
std::optional<std::string> readWholeFile(const std::string& path,
                                         size_t max_bytes = 64u << 20);

// Who may read a file written atomically: settings are the user's alone (0600);
// a shared file (a playlist) keeps the mode of the file it replaces, or takes
// 0666 without the umask's bits when new, and its new folders follow the umask too.
enum class FileAccess { OwnerOnly, Shared };

// Writes `bytes` to a temporary file beside `path`, flushes it to the disk and
// renames it over `path`. When `path` is a symbolic link, its target is the file
// replaced and the link stays. On failure the previous file is untouched, the temporary
// is removed and the reason is returned. `before_rename` lets tests interrupt the
// write at its last step by throwing.
std::optional<std::string> writeFileAtomically(
    const std::string& path, std::string_view bytes,
    const std::function<void()>& before_rename = {}, FileAccess access = FileAccess::OwnerOnly);

// Creates `dir` and its missing parents (new folders get `mode` less the umask).
bool makeDirectories(const std::string& dir, mode_t mode = 0700);

}  // namespace sonara::platform
