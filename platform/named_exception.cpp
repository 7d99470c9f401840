#include "platform/named_exception.h"

#include <cstdarg>
#include <cstdio>

namespace sonara {

void raiseError(const char* format, ...) {
  char reason[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(reason, sizeof reason, format, args);
  va_end(args);
  throw NamedException("ERROR", reason);
}

}  // namespace sonara
