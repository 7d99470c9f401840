#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sonara::platform {
namespace {

std::string parentOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The process's umask, read without changing it (umask() would race other threads
// creating files); 022, the usual one, when /proc does not say.
mode_t currentUmask() {
  FILE* status = std::fopen("/proc/self/status", "re");
  if (!status) return 022;
  char line[256];
  mode_t mask = 022;
  while (std::fgets(line, sizeof line, status)) {
    unsigned value = 0;
    if (std::sscanf(line, "Umask: %o", &value) == 1) {
      mask = static_cast<mode_t>(value & 0777);
      break;
    }
  }
  std::fclose(status);
  return mask;
}

// A shared file keeps the permissions of the file it replaces; a new one gets what
// the user's umask lets through.
mode_t sharedFileMode(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
  return 0666 & ~currentUmask();
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// The file a path finally names: symbolic links followed (also one whose target does
// not exist yet), so that replacing the file keeps the links the user made.
std::string followLinks(std::string path) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string target(static_cast<size_t>(PATH_MAX), '\0');
    ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) break;
    target.resize(static_cast<size_t>(n));
    path = target[0] == '/' ? target : parentOf(path) + "/" + target;
  }
  return path;
}

}  // namespace

std::optional<std::string> readWholeFile(const std::string& path, size_t max_bytes) {
  // Non-blocking, so that a FIFO under a playlist's name is refused rather than
  // waited on; reads of a regular file are not affected.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) > max_bytes) {
    ::close(fd);
    return std::nullopt;
  }
  std::string out;
  out.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  while (got < out.size()) {
    ssize_t n = ::read(fd, out.data() + got, out.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  out.resize(got);
  return out;
}

std::optional<std::string> writeFileAtomically(const std::string& named, std::string_view bytes,
                                               const std::function<void()>& before_rename, FileAccess access) {
  const std::string path = followLinks(named);
  std::string dir = parentOf(path);
  const bool shared = access == FileAccess::Shared;
  if (!makeDirectories(dir, shared ? 0777 : 0700)) return "cannot create folder " + dir + ": " + std::strerror(errno);
  std::string tmp = path + ".tmp-XXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) return "cannot create " + tmp + ": " + std::strerror(errno);
  auto fail = [&](std::string why) -> std::optional<std::string> {
    ::close(fd);
    ::unlink(tmp.c_str());
    return why;
  };
  if (!writeAll(fd, bytes)) return fail("cannot write " + tmp + ": " + std::strerror(errno));
  if (::fsync(fd) != 0) return fail("cannot flush " + tmp + ": " + std::strerror(errno));
  ::fchmod(fd, shared ? sharedFileMode(path) : 0600);
  try {
    if (before_rename) before_rename();
  } catch (const std::exception& e) {
    return fail(std::string("write interrupted: ") + e.what());
  }
  if (::close(fd) != 0) {
    ::unlink(tmp.c_str());
    return "cannot close " + tmp + ": " + std::strerror(errno);
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    return "cannot replace " + path + ": " + std::strerror(err);
  }
  // Make the rename itself durable.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return std::nullopt;
}

bool makeDirectories(const std::string& dir, mode_t mode) {
  if (dir.empty()) return true;
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string parent = parentOf(dir);
  if (parent != dir && !makeDirectories(parent, mode)) return false;
  return ::mkdir(dir.c_str(), mode) == 0 || errno == EEXIST;
}

}  // namespace sonara::platform
