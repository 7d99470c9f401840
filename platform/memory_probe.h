// How much physical memory the machine can still give without swapping: the
// kernel's "MemAvailable" estimate from /proc/meminfo, which counts the page cache
// and reclaimable slabs that "MemFree" leaves out, or less where the process's
// control group (a container, a systemd slice) has a memory limit closer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sonara::platform {

// Bytes available, or nothing when the kernel does not say.
using MemoryProbe = std::function<std::optional<uint64_t>()>;

std::optional<uint64_t> availablePhysicalMemory();
// The "MemAvailable:" line of a /proc/meminfo text, in bytes.
std::optional<uint64_t> parseMemAvailable(std::string_view meminfo);

// A limit and the usage it applies to: two files of one control group.
struct MemoryLimitFiles {
  std::string limit;  // cgroup v2 "memory.max", v1 "memory.limit_in_bytes"
  std::string usage;  // cgroup v2 "memory.current", v1 "memory.usage_in_bytes"
};
// The limit files of the groups a /proc/self/cgroup text puts the process in, its
// own group and every parent, under the control-group mounts at `root`
// ("/sys/fs/cgroup": v2 there, v1's memory controller in "memory").
std::vector<MemoryLimitFiles> memoryLimitFiles(std::string_view proc_self_cgroup, const std::string& root);
// The least room left under the limits those files hold (files missing and "max"
// are no limit), or nothing without any limit.
std::optional<uint64_t> controlGroupHeadroom(const std::vector<MemoryLimitFiles>& files);

}  // namespace sonara::platform
