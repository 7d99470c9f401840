// How the ALSA backend lays out one period for the device: the engine's IO buffer
// (floats for PCM and 16-bit DSD words, raw 32-bit words for native DSD in 32-bit
// words) converted to the bytes of the ALSA sample format.
//
// Mapping of ALSA formats to physical formats:
//   S16_LE       16 bits in 2 bytes, signed integer, mixable
//   S24_3LE      24 bits in 3 bytes, signed integer, mixable
//   S24_LE       24 bits in 4 bytes, signed integer, mixable
//   S32_LE       32 bits in 4 bytes, signed integer, mixable
//   DSD_U16_LE/BE  16 bits in 2 bytes, mixable, carries native DSD (only the DSD16
//                  packer may choose it; its exact 16-bit words arrive as floats)
//   DSD_U32_LE/BE  32 bits in 4 bytes, non-mixable, carries native DSD (raw words of
//                  the DSD32 packer)
// The DSD packers put the oldest DSD byte at the lowest address of a little-endian
// word, which is the memory layout of the BE formats; the LE formats get each word
// byte-swapped.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sonara::audio {

enum class AlsaSampleFormat { S16_LE, S24_3LE, S24_LE, S32_LE, DSD_U16_LE, DSD_U16_BE, DSD_U32_LE, DSD_U32_BE };

uint32_t bytesPerSample(AlsaSampleFormat f);
const char* alsaFormatName(AlsaSampleFormat f);  // "S24_3LE", as ALSA names it
bool isNativeDsd(AlsaSampleFormat f);

// Converts `samples` values of `in` (floats, or raw words for DSD_U32) into `out`,
// which holds samples x bytesPerSample(f) bytes.
void convertPeriod(AlsaSampleFormat f, const void* in, size_t samples, uint8_t* out);

}  // namespace sonara::audio
