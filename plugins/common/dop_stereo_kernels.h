// The two-channel DoP packing done in vector registers, a few frames per step: the
// bulk of every stereo file. Each kernel packs whole steps only and returns how many
// frames it packed; the caller packs the rest. `even` and `odd` are the float bits
// of the frames 0, 2, 4, ... and 1, 3, 5, ... (see dop_words.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugins/common/dop_words.h"

namespace sonara::dsd {

// packDoPPair over steps of 8 frames: 16 bytes of each channel. Bits are reversed by
// a table of nibbles where the processor can shuffle bytes (x86 with SSSE3), by
// shifts elsewhere.
size_t packDoPPairSteps(const uint8_t* left, const uint8_t* right, bool lsb_first, float* out, size_t frames,
                        DoPFloatBits even, DoPFloatBits odd) noexcept;
// The same with the shifts whatever the processor.
size_t packDoPPairStepsByShifts(const uint8_t* left, const uint8_t* right, bool lsb_first, float* out,
                                size_t frames, DoPFloatBits even, DoPFloatBits odd) noexcept;

// packDoPInterleaved of two channels into two, over steps of 4 frames: 16 bytes
// L R L R ..., earliest bit most significant.
size_t packDoPStereoSteps(const uint8_t* in, float* out, size_t frames, DoPFloatBits even,
                          DoPFloatBits odd) noexcept;

}  // namespace sonara::dsd
