#include "platform/audio/alsa_format.h"

#include <cmath>
#include <cstring>

namespace sonara::audio {

namespace {

// value x 2^(bits-1), rounded to nearest, clamped to the integer range.
int32_t toInteger(float value, int bits) {
  const double scale = std::ldexp(1.0, bits - 1);
  double v = std::nearbyint(static_cast<double>(value) * scale);
  if (v > scale - 1) v = scale - 1;
  if (v < -scale) v = -scale;
  return static_cast<int32_t>(v);
}

void putLE(uint8_t* out, uint32_t v, int bytes) {
  for (int b = 0; b < bytes; ++b) out[b] = static_cast<uint8_t>(v >> (8 * b));
}

void putBE(uint8_t* out, uint32_t v, int bytes) {
  for (int b = 0; b < bytes; ++b) out[b] = static_cast<uint8_t>(v >> (8 * (bytes - 1 - b)));
}

}  // namespace

const char* alsaFormatName(AlsaSampleFormat f) {
  switch (f) {
    case AlsaSampleFormat::S16_LE: return "S16_LE";
    case AlsaSampleFormat::S24_3LE: return "S24_3LE";
    case AlsaSampleFormat::S24_LE: return "S24_LE";
    case AlsaSampleFormat::S32_LE: return "S32_LE";
    case AlsaSampleFormat::DSD_U16_LE: return "DSD_U16_LE";
    case AlsaSampleFormat::DSD_U16_BE: return "DSD_U16_BE";
    case AlsaSampleFormat::DSD_U32_LE: return "DSD_U32_LE";
    case AlsaSampleFormat::DSD_U32_BE: return "DSD_U32_BE";
  }
  return "?";
}

uint32_t bytesPerSample(AlsaSampleFormat f) {
  switch (f) {
    case AlsaSampleFormat::S16_LE:
    case AlsaSampleFormat::DSD_U16_LE:
    case AlsaSampleFormat::DSD_U16_BE: return 2;
    case AlsaSampleFormat::S24_3LE: return 3;
    default: return 4;
  }
}

bool isNativeDsd(AlsaSampleFormat f) {
  return f == AlsaSampleFormat::DSD_U16_LE || f == AlsaSampleFormat::DSD_U16_BE ||
         f == AlsaSampleFormat::DSD_U32_LE || f == AlsaSampleFormat::DSD_U32_BE;
}

void convertPeriod(AlsaSampleFormat f, const void* in, size_t samples, uint8_t* out) {
  const auto* floats = static_cast<const float*>(in);
  const auto* words = static_cast<const uint32_t*>(in);
  const uint32_t width = bytesPerSample(f);
  for (size_t i = 0; i < samples; ++i, out += width) {
    switch (f) {
      case AlsaSampleFormat::S16_LE: putLE(out, static_cast<uint32_t>(toInteger(floats[i], 16)), 2); break;
      case AlsaSampleFormat::S24_3LE: putLE(out, static_cast<uint32_t>(toInteger(floats[i], 24)), 3); break;
      case AlsaSampleFormat::S24_LE: putLE(out, static_cast<uint32_t>(toInteger(floats[i], 24)), 4); break;
      case AlsaSampleFormat::S32_LE: putLE(out, static_cast<uint32_t>(toInteger(floats[i], 32)), 4); break;
      // The 16-bit DSD word has the oldest byte low: little-endian memory is time order.
      case AlsaSampleFormat::DSD_U16_BE: putLE(out, static_cast<uint32_t>(toInteger(floats[i], 16)), 2); break;
      case AlsaSampleFormat::DSD_U16_LE: putBE(out, static_cast<uint32_t>(toInteger(floats[i], 16)), 2); break;
      case AlsaSampleFormat::DSD_U32_BE: putLE(out, words[i], 4); break;
      case AlsaSampleFormat::DSD_U32_LE: putBE(out, words[i], 4); break;
    }
  }
}

}  // namespace sonara::audio
