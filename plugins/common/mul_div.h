// a x b / c without overflow, saturating; 0 when c is 0. Times and positions of long
// files overflow 64 bits when multiplied by 10^9 first.
#pragma once

#include <cstdint>

namespace sonara::plugin {

inline uint64_t mulDiv(uint64_t a, uint64_t b, uint64_t c) {
  if (c == 0) return 0;
  unsigned __int128 r = static_cast<unsigned __int128>(a) * b / c;
  return r > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(r);
}

}  // namespace sonara::plugin
