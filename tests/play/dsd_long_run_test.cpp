// A DSD512 track of 200 s played as native DSD in 32-bit words on a free-running
// device: past 2^32 bits per channel (at 190 s), where any position, offset or
// count of the path held in 32 bits would wrap. The file is sparse but for its last
// two block groups, and the device keeps only its last seconds, so the test reads
// little; the bytes the device received last are compared with those groups.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>

#include "engine/output/device_table.h"
#include "support/dop.h"
#include "support/dsf_writer.h"
#include "support/play_harness.h"

namespace {

constexpr uint32_t kDsd512 = 22579200;
constexpr uint64_t kBlock = 4096;
constexpr uint64_t kGroups = 138000;  // 200.3 s
constexpr uint64_t kPerChannel = kGroups * kBlock;
constexpr uint64_t kAudioStart = 28 + 52 + 12;
static_assert(kPerChannel * 8 > (uint64_t{1} << 32));

// The sparse file, its last two groups holding `tail` (each channel's last bytes).
std::string writeLongDsf(const TempDir& dir, const std::vector<std::vector<uint8_t>>& tail) {
  DsfSetup setup;
  setup.frequency = kDsd512;
  setup.audio.assign(2, std::vector<uint8_t>(kBlock, 0));
  setup.sample_count_override = kPerChannel * 8;
  auto bytes = buildDsf(setup);
  const uint64_t size = kAudioStart + kGroups * 2 * kBlock;
  for (int i = 0; i < 8; ++i) bytes[12 + i] = static_cast<uint8_t>(size >> (8 * i));
  const std::string path = dir.file("long.dsf");
  writeFile(path, bytes);
  EXPECT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
  const int fd = ::open(path.c_str(), O_WRONLY);
  EXPECT_GE(fd, 0);
  for (uint64_t g = 0; g < 2; ++g) {
    for (uint32_t c = 0; c < 2; ++c) {
      const auto at = static_cast<off_t>(kAudioStart + ((kGroups - 2 + g) * 2 + c) * kBlock);
      EXPECT_EQ(::pwrite(fd, tail[c].data() + g * kBlock, kBlock, at), static_cast<ssize_t>(kBlock));
    }
  }
  ::close(fd);
  return path;
}

// The byte offset in the whole stream at which the capture's kept file ".1" begins:
// the second-to-last rotation's (0 before two rotations).
uint64_t offsetOfKeptStart(const std::string& log) {
  static const std::regex rotate(R"("event":"rotate","offset":(\d+))");
  std::vector<uint64_t> offsets;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), rotate); it != std::sregex_iterator(); ++it) {
    offsets.push_back(std::stoull((*it)[1]));
  }
  return offsets.size() < 2 ? 0 : offsets[offsets.size() - 2];
}

TEST(DsdLongRun, Dsd512PastFourGibibitsPerChannelEndsWithItsOwnBytes) {
  DeviceJson d;  // a model with native DSD in 32-bit words
  d.vid = device_info[22].vid;
  d.pid = device_info[22].pid;
  d.formats = {formatJson(0, 32, 4, 2, true, true, 88200, 705600)};
  // Segments of 6 s: the device keeps the last 6 to 12 s.
  const char* before = std::getenv("PELMORA_CAPTURE_MINUTES");
  const std::string minutes_before = before ? before : "";
  ::setenv("PELMORA_CAPTURE_MINUTES", "0.1", 1);
  PlayHarness h(d);
  if (before) {
    ::setenv("PELMORA_CAPTURE_MINUTES", minutes_before.c_str(), 1);
  } else {
    ::unsetenv("PELMORA_CAPTURE_MINUTES");
  }
  h.controller_.decode_mode = 1;
  auto tail = patternAudio(2, 2 * kBlock);
  for (auto& channel : tail) {
    for (auto& byte : channel) byte = byte == 0 || reverseBits(byte) == 0x96 ? 0x33 : byte;
  }
  const std::string path = writeLongDsf(h.output_.dir_, tail);
  ASSERT_TRUE(h.playAll({recordFor(path, 1)}, 120)) << ::testing::PrintToString(h.controller_.events());

  const std::string kept_bytes = readBytes(h.output_.capture_ + ".1") + h.output_.captured();
  const uint64_t kept_from = offsetOfKeptStart(h.output_.events());
  // The stream: silence (the device's mute sequence, the pre-roll), the file's zeros
  // with its last groups, silence again. The music ends at the last sound.
  const size_t last = kept_bytes.find_last_not_of('\x96');
  ASSERT_NE(last, std::string::npos);
  const uint64_t music_end = kept_from + last + 1;
  const uint64_t tail_from = music_end - 4 * kBlock;  // 2 x 2 groups' bytes
  ASSERT_GT(tail_from, kept_from) << "the kept seconds must hold the whole tail";
  EXPECT_EQ(kept_bytes.find_first_not_of('\0'), tail_from - kept_from);
  // A channel's four bytes in time order per word.
  for (uint64_t w = 0; w < kBlock; ++w) {
    const size_t c = w % 2, from = (w / 2) * 4;
    for (size_t b = 0; b < 4; ++b) {
      ASSERT_EQ(static_cast<uint8_t>(kept_bytes[tail_from - kept_from + 4 * w + b]), reverseBits(tail[c][from + b]))
          << "tail word " << w;
    }
  }
  // Every byte of the file came once: a position wrapped at 32 bits would have
  // dropped or repeated a gibibyte of the stream; the music began within its first
  // second (after the mute sequence and the pre-roll).
  ASSERT_GE(music_end, 2 * kPerChannel);
  EXPECT_LT(music_end - 2 * kPerChannel, uint64_t{kDsd512 / 8 * 2});
}

}  // namespace
