#include "platform/audio/alsa_format.h"

#include "platform/audio/device_samples.h"

namespace sonara::audio {

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
  const std::span<const float> floats(static_cast<const float*>(in), samples);
  switch (f) {
    case AlsaSampleFormat::S16_LE: return floatsToIntegers(floats, 16, 2, ByteOrder::Little, out);
    case AlsaSampleFormat::S24_3LE: return floatsToIntegers(floats, 24, 3, ByteOrder::Little, out);
    case AlsaSampleFormat::S24_LE: return floatsToIntegers(floats, 24, 4, ByteOrder::Little, out);
    case AlsaSampleFormat::S32_LE: return floatsToIntegers(floats, 32, 4, ByteOrder::Little, out);
    // The 16-bit DSD word has the oldest byte low: little-endian memory is time order.
    case AlsaSampleFormat::DSD_U16_BE: return floatsToIntegers(floats, 16, 2, ByteOrder::Little, out);
    case AlsaSampleFormat::DSD_U16_LE: return floatsToIntegers(floats, 16, 2, ByteOrder::Big, out);
    case AlsaSampleFormat::DSD_U32_BE: return wordsToBytes(in, samples, 4, ByteOrder::Little, out);
    case AlsaSampleFormat::DSD_U32_LE: return wordsToBytes(in, samples, 4, ByteOrder::Big, out);
  }
}

}  // namespace sonara::audio
