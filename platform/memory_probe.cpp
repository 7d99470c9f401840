#include "platform/memory_probe.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace sonara::platform {

std::optional<uint64_t> parseMemAvailable(std::string_view meminfo) {
  constexpr std::string_view kKey = "MemAvailable:";
  size_t at = 0;
  for (;;) {
    at = meminfo.find(kKey, at);
    if (at == std::string_view::npos) return std::nullopt;
    if (at == 0 || meminfo[at - 1] == '\n') break;
    at += kKey.size();
  }
  size_t i = at + kKey.size();
  while (i < meminfo.size() && (meminfo[i] == ' ' || meminfo[i] == '\t')) ++i;
  if (i == meminfo.size() || !std::isdigit(static_cast<unsigned char>(meminfo[i]))) return std::nullopt;
  uint64_t kib = 0;
  for (; i < meminfo.size() && std::isdigit(static_cast<unsigned char>(meminfo[i])); ++i) {
    if (kib > (UINT64_MAX / 1024 - 9) / 10) return std::nullopt;
    kib = kib * 10 + static_cast<uint64_t>(meminfo[i] - '0');
  }
  while (i < meminfo.size() && meminfo[i] == ' ') ++i;
  if (meminfo.substr(i, 2) != "kB") return std::nullopt;
  return kib * 1024;
}

namespace {

// Into a fixed buffer: asked after every decoded chunk, it allocates nothing.
template <size_t N>
std::string_view readSmallFile(const char* path, std::array<char, N>& text) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  size_t filled = 0;
  while (filled < text.size()) {
    ssize_t n = ::read(fd, text.data() + filled, text.size() - filled);
    if (n <= 0) break;
    filled += static_cast<size_t>(n);
  }
  ::close(fd);
  return std::string_view(text.data(), filled);
}

// A number of bytes as a control-group file holds it; "max" and v1's "no limit"
// (close to 2^63) read as nothing.
std::optional<uint64_t> bytesIn(const std::string& path) {
  std::array<char, 64> text;
  std::string_view v = readSmallFile(path.c_str(), text);
  while (!v.empty() && (v.back() == '\n' || v.back() == ' ')) v.remove_suffix(1);
  uint64_t n = 0;
  auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), n);
  if (v.empty() || error != std::errc() || end != v.data() + v.size() || n >= (uint64_t{1} << 62)) {
    return std::nullopt;
  }
  return n;
}

void addGroupAndParents(std::string dir, const std::string& mount, const char* limit, const char* usage,
                        std::vector<MemoryLimitFiles>* out) {
  for (;;) {
    out->push_back({mount + dir + "/" + limit, mount + dir + "/" + usage});
    if (dir.empty()) return;
    dir.erase(dir.rfind('/'));
  }
}

}  // namespace

std::vector<MemoryLimitFiles> memoryLimitFiles(std::string_view proc_self_cgroup, const std::string& root) {
  std::vector<MemoryLimitFiles> files;
  while (!proc_self_cgroup.empty()) {
    const size_t end = std::min(proc_self_cgroup.find('\n'), proc_self_cgroup.size());
    std::string_view line = proc_self_cgroup.substr(0, end);
    proc_self_cgroup.remove_prefix(std::min(end + 1, proc_self_cgroup.size()));
    // "hierarchy-ID:controllers:path"
    const size_t first = line.find(':');
    const size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    std::string_view controllers = line.substr(first + 1, second - first - 1);
    std::string path(line.substr(second + 1));
    if (path.empty() || path[0] != '/' || path.find("/..") != std::string::npos) continue;
    if (path == "/") path.clear();
    bool memory = false;
    for (size_t at = 0; at <= controllers.size();) {
      size_t comma = std::min(controllers.find(',', at), controllers.size());
      memory = memory || controllers.substr(at, comma - at) == "memory";
      at = comma + 1;
    }
    if (line.substr(0, first) == "0" && controllers.empty()) {
      addGroupAndParents(path, root, "memory.max", "memory.current", &files);
    } else if (memory) {
      addGroupAndParents(path, root + "/memory", "memory.limit_in_bytes", "memory.usage_in_bytes", &files);
    }
  }
  return files;
}

std::optional<uint64_t> controlGroupHeadroom(const std::vector<MemoryLimitFiles>& files) {
  std::optional<uint64_t> least;
  for (const auto& group : files) {
    const auto limit = bytesIn(group.limit);
    if (!limit) continue;
    const uint64_t used = bytesIn(group.usage).value_or(0);
    const uint64_t room = *limit > used ? *limit - used : 0;
    least = least ? std::min(*least, room) : room;
  }
  return least;
}

std::optional<uint64_t> availablePhysicalMemory() {
  // Where the process's groups are does not change while it runs.
  static const std::vector<MemoryLimitFiles> groups = [] {
    std::array<char, 4096> text;
    return memoryLimitFiles(readSmallFile("/proc/self/cgroup", text), "/sys/fs/cgroup");
  }();
  std::array<char, 8192> text;
  std::optional<uint64_t> available = parseMemAvailable(readSmallFile("/proc/meminfo", text));
  if (auto room = controlGroupHeadroom(groups)) available = available ? std::min(*available, *room) : *room;
  return available;
}

}  // namespace sonara::platform
