// The lines the engine and its plug-ins log while a command looks at a file: still
// written to standard error, and kept, because a plug-in that refuses a file says why
// only there.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/log.h"

namespace pelmora::cli {

class LinesWhileOpening {
 public:
  LinesWhileOpening() { sonara::platform::setLogSink(&LinesWhileOpening::keep, this); }
  ~LinesWhileOpening() { sonara::platform::setLogSink(nullptr, nullptr); }
  LinesWhileOpening(const LinesWhileOpening&) = delete;
  LinesWhileOpening& operator=(const LinesWhileOpening&) = delete;

  // The last line that names the file, without the name: "holds AAC audio ...".
  std::string reasonFor(const std::string& path) const {
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
      if (it->size() > path.size() + 1 && it->compare(0, path.size() + 1, path + " ") == 0) {
        return it->substr(path.size() + 1);
      }
    }
    return {};
  }
  // The last line of all, or empty.
  std::string lastLine() const { return lines_.empty() ? std::string() : lines_.back(); }

 private:
  static void keep(const char* line, void* context) {
    std::fprintf(stderr, "%s\n", line);
    static_cast<LinesWhileOpening*>(context)->lines_.emplace_back(line);
  }
  std::vector<std::string> lines_;
};

}  // namespace pelmora::cli
