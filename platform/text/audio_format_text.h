// How both programs name a stream's rate and what the device receives, so that the
// headless player's line and the desktop window's signal path read alike.
#pragma once

#include <cstdint>
#include <string>

namespace sonara::text {

// "2.8224 MHz", "176.4 kHz", "44.1 kHz", "96 kHz".
std::string rateText(double hz);

// The device side of a signal path: "DoP 352.8 kHz 24-bit", "PCM 96 kHz 32-bit",
// "native DSD64 in 32-bit words (DSD_U32)" for the engine's "DSD32" at 88.2 kHz.
std::string transportText(const std::string& transport, double rate, uint32_t bits);

}  // namespace sonara::text
