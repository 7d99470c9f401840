// The one exception type of the engine: a name (such as "ERROR") and a reason.
#pragma once

#include <stdexcept>
#include <string>

namespace sonara {

class NamedException : public std::runtime_error {
 public:
  NamedException(std::string name, const std::string& reason)
      : std::runtime_error(reason), name_(std::move(name)) {}
  const std::string& name() const { return name_; }
  const char* reason() const { return what(); }

 private:
  std::string name_;
};

// Raises an exception named "ERROR" with a printf-style reason.
[[noreturn]] void raiseError(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace sonara
