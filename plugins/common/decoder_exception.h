// Failures inside a decoder plug-in. They are caught before any contract operation
// returns, logged as one line and turned into a status.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace sonara::plugin {

class DecoderException : public std::runtime_error {
 public:
  explicit DecoderException(const std::string& reason, int32_t status = 0)
      : std::runtime_error(reason), status_(status) {}
  // The status the failing step carries, or 0 when it carries none.
  int32_t status() const { return status_; }

 private:
  int32_t status_;
};

}  // namespace sonara::plugin
