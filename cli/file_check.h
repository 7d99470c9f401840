// Why a path the user named cannot be played, before any decoder touches it: only
// regular, non-empty, readable files are opened, so a FIFO or a device never blocks
// or feeds a decoder forever.
#pragma once

#include <string>
#include <vector>

namespace pelmora::cli {

// Empty when `path` is a readable, non-empty regular file (links followed);
// otherwise the reason, e.g. "no such file or directory", "is a FIFO, not a file".
std::string fileProblem(const std::string& path);

// The reason a file of this extension is not played: "not supported (no plug-in
// reads .wav files)"; empty when a loaded plug-in declares the extension.
std::string extensionProblem(const std::string& path, const std::vector<std::string>& exts);

// What a cheap look inside finds wrong with a file its plug-in would refuse, such as
// a DSF file shorter than its header says; empty when nothing is seen.
std::string contentProblem(const std::string& path);

// Why `files` could not be read at all: no plug-ins, and where they were looked for.
std::string noPluginsReason();

}  // namespace pelmora::cli
