#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "app/controller/signal_path.h"

using pelmora::app::signalPathText;

namespace {

// A track's record as the engine reports it (it holds a lock, so it is not copied).
const AudioFileInfo& trackOf(const std::string& ext, uint32_t rate, uint32_t bits) {
  static std::vector<std::unique_ptr<AudioFileInfo>> made;
  auto& info = *made.emplace_back(std::make_unique<AudioFileInfo>());
  info.setExtName(ext);
  info.setSamplingRate(rate);
  info.setBitResolution(bits);
  return info;
}

TkOutputFormat outputOf(const std::string& transport, double rate, uint32_t bits, bool bit_perfect = true) {
  TkOutputFormat out;
  out.transport = transport;
  out.sampleRate = rate;
  out.bits = bits;
  out.channels = 2;
  out.bitPerfect = bit_perfect;
  return out;
}

TEST(SignalPath, PcmSaysWhetherEveryBitArrives) {
  EXPECT_EQ(signalPathText(trackOf("FLAC", 96000, 24), outputOf("PCM", 96000, 32)),
            "FLAC 24-bit 96 kHz \u2192 PCM 96 kHz 32-bit, bit-perfect");
  EXPECT_EQ(signalPathText(trackOf("WAV", 192000, 32), outputOf("PCM", 192000, 24, false)),
            "WAV 32-bit 192 kHz \u2192 PCM 192 kHz 24-bit, lowest bits dropped");
  // A compressed format has no depth of its own.
  EXPECT_EQ(signalPathText(trackOf("MP3", 44100, 0), outputOf("PCM", 44100, 16)),
            "MP3 44.1 kHz \u2192 PCM 44.1 kHz 16-bit, bit-perfect");
}

TEST(SignalPath, DsdNamesItsRateAndHowItTravels) {
  EXPECT_EQ(signalPathText(trackOf("DSF", 5644800, 1), outputOf("DoP", 352800, 24)),
            "DSF 5.6448 MHz \u2192 DoP 352.8 kHz 24-bit");
  EXPECT_EQ(signalPathText(trackOf("DFF", 2822400, 1), outputOf("DSD32", 88200, 32)),
            "DFF 2.8224 MHz \u2192 native DSD64 in 32-bit words (DSD_U32)");
  EXPECT_EQ(signalPathText(trackOf("DSF", 12288000, 1), outputOf("DSD16", 768000, 16)),
            "DSF 12.288 MHz \u2192 native DSD256 in 16-bit words (DSD_U16)");
}

TEST(SignalPath, BeforeTheDeviceStartsOnlyTheTrackIsNamed) {
  EXPECT_EQ(signalPathText(trackOf("AIFF", 48000, 16), TkOutputFormat{}), "AIFF 16-bit 48 kHz");
}

}  // namespace
