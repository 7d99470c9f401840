#include "platform/memory_probe.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cctype>

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

// Read into a fixed buffer: asked after every decoded chunk, it allocates nothing.
std::optional<uint64_t> availablePhysicalMemory() {
  int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::array<char, 8192> text;
  size_t filled = 0;
  while (filled < text.size()) {
    ssize_t n = ::read(fd, text.data() + filled, text.size() - filled);
    if (n <= 0) break;
    filled += static_cast<size_t>(n);
  }
  ::close(fd);
  return parseMemAvailable(std::string_view(text.data(), filled));
}

}  // namespace sonara::platform
