// The one line under the time display that tells a listener what reaches the DAC:
// "FLAC 24-bit 96 kHz → PCM 96 kHz 32-bit, bit-perfect",
// "DSF 5.6448 MHz → DoP 352.8 kHz 24-bit".
#pragma once

#include <string>

#include "engine/api/records.h"

namespace pelmora::app {

// The track's side alone while nothing reaches the device yet (an empty transport).
std::string signalPathText(const AudioFileInfo& track, const TkOutputFormat& output);

}  // namespace pelmora::app
