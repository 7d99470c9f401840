// Which format a track goes out in on the tests' ALSA device, through pelmora-cli:
// native DSD the device refuses goes as DoP, DSD with no container for DoP is
// skipped with its reason, a track deeper than the device is said not to be
// bit-perfect, and the low rates and the highest one play bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "support/alsa_cli_run.h"
#include "support/alsa_test_pcm.h"
#include "support/dop.h"
#include "support/dsf_writer.h"
#include "support/flac_fixtures.h"

namespace {

size_t occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The DoP frames of a capture in S32_LE stereo that carry music (not DSD silence):
// each channel's 16 DSD bits, and the frame's marker.
struct DopFrame {
  uint16_t left, right;
  uint8_t marker;
};
std::vector<DopFrame> dopMusic32(const std::string& bytes) {
  std::vector<DopFrame> out;
  auto word = [&](size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at + 2]) << 8 | static_cast<uint8_t>(bytes[at + 1]));
  };
  for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
    const auto marker = static_cast<uint8_t>(bytes[i + 3]);
    const uint16_t l = word(i), r = word(i + 4);
    if ((marker == 0x05 || marker == 0xFA) && !(l == 0x9696 && r == 0x9696)) out.push_back({l, r, marker});
  }
  return out;
}

// The DoP payload a DSF file's bytes make (first bit in time at the top).
uint16_t dopPayload(const std::vector<uint8_t>& channel, size_t frame) {
  return static_cast<uint16_t>(reverseBits(channel[2 * frame]) << 8 | reverseBits(channel[2 * frame + 1]));
}

// A 16-bit capture's samples, and a decode's floats rounded to 16 bits as the device
// takes them.
std::vector<int16_t> samples16(const std::string& bytes) {
  std::vector<int16_t> out(bytes.size() / 2);
  std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}
std::vector<int16_t> roundedTo16(const std::vector<float>& reference) {
  std::vector<int16_t> out;
  for (float f : reference) {
    double v = std::nearbyint(static_cast<double>(f) * 32768.0);
    out.push_back(static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0)));
  }
  return out;
}

// Where `expected`'s audible part stands whole and in order in `heard`, from `from`
// on: the index after it, or npos. The device keeps time like hardware, so a loaded
// machine may let it play silence in between (an underrun): zeros in `heard` are
// passed over.
size_t findRun(const std::vector<int16_t>& heard, const std::vector<int16_t>& expected, size_t from) {
  std::vector<int16_t> audible;
  std::copy_if(expected.begin(), expected.end(), std::back_inserter(audible), [](int16_t v) { return v != 0; });
  if (audible.empty()) return std::string::npos;
  for (size_t start = from; start < heard.size(); ++start) {
    if (heard[start] != audible[0]) continue;
    size_t i = start, k = 0;
    while (i < heard.size() && k < audible.size()) {
      if (heard[i] == audible[k]) {
        ++k;
      } else if (heard[i] != 0) {
        break;
      }
      ++i;
    }
    if (k == audible.size()) return i;
  }
  return std::string::npos;
}

// The device lists DSD_U32_BE at 88.2 kHz but its driver refuses it there (as a USB
// DAC does whose native-DSD setting has other rates): the track goes as DoP, says
// so, and every DSD bit arrives.
TEST(AlsaFormatChoice, NativeDsdTheDeviceRefusesGoesAsDop) {
  CliRun run;
  run.pcm_setup.formats = "S32_LE DSD_U32_BE";
  run.pcm_setup.rates = "88200 176400";
  run.pcm_setup.refuse = "DSD_U32_BE@88200";
  DsfSetup dsf;
  dsf.audio = patternAudio(2, 4096);
  writeFile(run.dir.file("t.dsf"), buildDsf(dsf));
  run.play("--dsd native " + run.dir.file("t.dsf"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("ALSA testdac does not take DSD64 as native DSD; it goes as DoP instead."),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("-> DoP 176.4 kHz 32-bit"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("ALSA testdac refuses DSD_U32_BE at 88200 Hz"), std::string::npos) << run.output;
  // A refusal the fallback recovers from is not reported as a failure.
  for (const char* failure : {"skipped", "setupBuffer Failed", "did not report the buffer size"}) {
    EXPECT_EQ(run.output.find(failure), std::string::npos) << failure << "\n" << run.output;
  }
  auto configured = eventLines(run.pcm_setup.events, "hw_params");
  ASSERT_EQ(configured.size(), 1u) << run.events();
  EXPECT_EQ(configured[0].rfind("hw_params S32_LE 176400 2 ", 0), 0u) << configured[0];

  auto heard = dopMusic32(readBytes(run.pcm_setup.capture));
  ASSERT_EQ(heard.size(), 2048u);
  for (size_t f = 0; f < heard.size(); ++f) {
    ASSERT_EQ(heard[f].left, dopPayload(dsf.audio[0], f)) << f;
    ASSERT_EQ(heard[f].right, dopPayload(dsf.audio[1], f)) << f;
    if (f > 0) {
      ASSERT_EQ(heard[f].marker, static_cast<uint8_t>(~heard[f - 1].marker)) << f;
    }
  }
}

// Native DSD refused, and only a 16-bit format besides: DoP cannot be carried, DSD
// is not turned into PCM, and the track is skipped with the reason.
TEST(AlsaFormatChoice, DsdWithNeitherNativeNorADopContainerIsSkippedWithTheReason) {
  CliRun run;
  run.pcm_setup.formats = "S16_LE DSD_U32_BE";
  run.pcm_setup.rates = "88200 176400";
  run.pcm_setup.refuse = "DSD_U32_BE@88200";
  DsfSetup dsf;
  dsf.audio = patternAudio(2, 4096);
  writeFile(run.dir.file("t.dsf"), buildDsf(dsf));
  run.play("--dsd native " + run.dir.file("t.dsf"));
  EXPECT_NE(run.status, 0) << run.output;
  EXPECT_EQ(run.output.find("goes as DoP instead"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("ALSA testdac has no 24- or 32-bit format at 176400 Hz to carry DoP, and DSD is not "
                            "converted to PCM; the track is skipped."),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("t.dsf: skipped: the device cannot play DSD 2.8224 MHz"), std::string::npos)
      << run.output;
  EXPECT_TRUE(eventLines(run.pcm_setup.events, "hw_params").empty()) << run.events();
  EXPECT_TRUE(audibleFrames16(readBytes(run.pcm_setup.capture)).empty());
}

// A 24-bit track on a 16-bit device loses its lowest bits: the log and the format
// line say so for that track, and only for it.
TEST(AlsaFormatChoice, ATrackDeeperThanTheDeviceIsSaidNotToBeBitPerfect) {
  CliRun run;
  run.pcm_setup.formats = "S16_LE";
  run.pcm_setup.rates = "44100";
  std::string shallow = makeFlac(run.dir.path(), "shallow", FlacSetup{44100, 16, 2, 0.5, {}});
  std::string deep = makeFlac(run.dir.path(), "deep", FlacSetup{44100, 24, 2, 0.5, {}});
  ASSERT_FALSE(shallow.empty());
  ASSERT_FALSE(deep.empty());
  run.play(shallow + " " + deep);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("shallow.flac | FLAC 44.1 kHz 16-bit -> PCM 44.1 kHz 16-bit |"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("deep.flac | FLAC 44.1 kHz 24-bit -> PCM 44.1 kHz 16-bit (not bit-perfect) |"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(occurrences(run.output, "This playback is not bit-perfect"), 1u) << run.output;
  EXPECT_NE(run.output.find("This playback is not bit-perfect: deep.flac has 24-bit samples and the device takes 16 "
                            "bits at 44100 Hz; the lowest bits are dropped."),
            std::string::npos)
      << run.output;
  // What the device got: the first track exact, the second rounded to 16 bits.
  std::vector<int16_t> expected = roundedTo16(referenceDecode(shallow, run.dir.file("s.raw"), 16));
  std::vector<int16_t> second = roundedTo16(referenceDecode(deep, run.dir.file("d.raw"), 24));
  const std::vector<int16_t> heard = samples16(readBytes(run.pcm_setup.capture));
  const size_t after_first = findRun(heard, expected, 0);
  ASSERT_NE(after_first, std::string::npos);
  EXPECT_NE(findRun(heard, second, after_first), std::string::npos);
}

// 8 to 24 kHz and 64 kHz: each track at its own rate, bit for bit.
TEST(AlsaFormatChoice, LowRatesPlayBitForBit) {
  CliRun run;
  run.pcm_setup.formats = "S16_LE";
  const std::vector<uint32_t> rates = {8000, 11025, 12000, 16000, 22050, 24000, 64000};
  std::string files;
  std::vector<uint32_t> expected;
  run.pcm_setup.rates = "";
  for (uint32_t rate : rates) run.pcm_setup.rates += std::to_string(rate) + " ";
  for (uint32_t rate : rates) {
    const std::string name = "r" + std::to_string(rate);
    std::string flac = makeFlac(run.dir.path(), name, FlacSetup{rate, 16, 2, 0.25, {}});
    ASSERT_FALSE(flac.empty()) << rate;
    files += flac + " ";
    auto frames = audibleFrames16(referenceDecode(flac, run.dir.file(name + ".raw"), 16));
    expected.insert(expected.end(), frames.begin(), frames.end());
  }
  run.play(files);
  ASSERT_EQ(run.status, 0) << run.output;
  for (uint32_t rate : rates) {
    EXPECT_EQ(eventLines(run.pcm_setup.events, "hw_params S16_LE " + std::to_string(rate) + " 2 ").size(), 1u)
        << rate << "\n" << run.events();
  }
  EXPECT_NE(run.output.find("FLAC 8 kHz 16-bit -> PCM 8 kHz 16-bit"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("FLAC 64 kHz 16-bit -> PCM 64 kHz 16-bit"), std::string::npos) << run.output;
  const auto heard = audibleFrames16(readBytes(run.pcm_setup.capture));
  auto mismatch = std::mismatch(expected.begin(), expected.end(), heard.begin(), heard.end());
  EXPECT_TRUE(heard == expected) << "heard " << heard.size() << " audible frames of " << expected.size()
                                 << ", the first difference at " << (mismatch.first - expected.begin()) << "\n"
                                 << run.output << run.events();
}

// DSD1024 of the 48 kHz family in native 32-bit words runs the device at 1536 kHz,
// the top of the rate list; every DSD bit arrives in time order.
TEST(AlsaFormatChoice, NativeDsdRunsAtFifteenThirtySixKilohertz) {
  CliRun run;
  run.pcm_setup.formats = "S32_LE DSD_U32_BE";
  run.pcm_setup.rates = "1536000";
  run.pcm_setup.period_step = 0;
  DsfSetup dsf;
  dsf.frequency = 49152000;
  dsf.audio = patternAudio(2, 8 * 4096);
  writeFile(run.dir.file("t.dsf"), buildDsf(dsf));
  run.play("--dsd native " + run.dir.file("t.dsf"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("-> native DSD1024 in 32-bit words (DSD_U32)"), std::string::npos) << run.output;
  auto configured = eventLines(run.pcm_setup.events, "hw_params");
  ASSERT_EQ(configured.size(), 1u) << run.events();
  EXPECT_EQ(configured[0].rfind("hw_params DSD_U32_BE 1536000 2 ", 0), 0u) << configured[0];
  // Word after word, left then right, four DSD bytes each, first in time first.
  std::string music;
  for (size_t w = 0; w < dsf.audio[0].size() / 4; ++w) {
    for (size_t c = 0; c < 2; ++c) {
      for (size_t b = 0; b < 4; ++b) music.push_back(static_cast<char>(reverseBits(dsf.audio[c][4 * w + b])));
    }
  }
  const std::string bytes = readBytes(run.pcm_setup.capture);
  const size_t start = bytes.find(music.substr(0, 64));
  ASSERT_NE(start, std::string::npos);
  ASSERT_GE(bytes.size(), start + music.size());
  EXPECT_TRUE(bytes.compare(start, music.size(), music) == 0);
}

}  // namespace
