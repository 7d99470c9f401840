// How the headless player shows what is playing.
#pragma once

#include <cstdint>
#include <string>

namespace pelmora::cli {

// "2.8224 MHz", "176.4 kHz", "44.1 kHz", "96 kHz".
std::string formatRate(double hz);
// "3:05", "1:02:05".
std::string formatTime(uint32_t seconds);

}  // namespace pelmora::cli
