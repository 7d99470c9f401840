// How much physical memory the machine can still give without swapping: the
// kernel's "MemAvailable" estimate from /proc/meminfo, which counts the page cache
// and reclaimable slabs that "MemFree" leaves out.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace sonara::platform {

// Bytes available, or nothing when the kernel does not say.
using MemoryProbe = std::function<std::optional<uint64_t>()>;

std::optional<uint64_t> availablePhysicalMemory();
// The "MemAvailable:" line of a /proc/meminfo text, in bytes.
std::optional<uint64_t> parseMemAvailable(std::string_view meminfo);

}  // namespace sonara::platform
