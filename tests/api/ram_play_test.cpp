// RAM play mode end to end through the exported API: each track decoded whole into
// memory behind the progress panel, then played; the captured device bytes compared
// with what the device must receive.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "engine/play/audio_output_expandable_buffer.h"
#include "engine/play/ram_play_manager.h"
#include "platform/ui/headless_ui.h"
#include "support/capture_compare.h"
#include "support/controller_fixture.h"
#include "support/count_of.h"
#include "support/dop.h"
#include "support/dsf_writer.h"
#include "support/log_capture.h"
#include "support/read_bytes.h"

namespace {

using sonara::platform::MemoryProbe;

constexpr uint64_t kMiB = 1 << 20;

size_t threadCount() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

std::vector<int32_t> samples32(const std::string& bytes) {
  std::vector<int32_t> out(bytes.size() / 4);
  std::memcpy(out.data(), bytes.data(), out.size() * 4);
  return out;
}

// Bounded waits for a probe held inside a decode, and for the test waiting for it.
bool waitFor(const std::atomic<bool>& flag) {
  for (int i = 0; i < 10000 && !flag; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return flag;
}

void waitUntilStopped(const std::atomic<RAMPlayManager*>& engine) {
  for (int i = 0; i < 10000 && engine.load() && engine.load()->playing(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

class RamPlayTest : public ControllerFixture {
 protected:
  void SetUp() override {
    sonara::platform::installUiServices(ui_);
    DeviceJson dac = device("DAC A", "freewheel");
    dac.formats = {formatJson(0, 32, 4, 2, false, false, 44100, 192000)};
    useDevices({dac});
  }
  void TearDown() override {
    ControllerFixture::TearDown();
    sonara::platform::installUiServices(nullptr);
  }
  void startRam(int32_t limit_mib = 100, MemoryProbe probe = [] { return std::optional<uint64_t>(64 * kMiB * 1024); }) {
    ASSERT_EQ(Toolkit_Init(&client_), 0);
    getObject()->setRAMMemoryProbe(std::move(probe));
    TkConfig config;
    config.setDeviceName("DAC A");
    config.setRamMode(1);
    config.setRamModeMemoryLimit(limit_mib);
    config.setDecodeMode(decode_mode_);
    ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
    ASSERT_NE(ram(), nullptr);
  }
  RAMPlayManager* ram() {
    return getObject() ? dynamic_cast<RAMPlayManager*>(getObject()->playManagerForTests()) : nullptr;
  }
  // RAM play whose first decode is held inside its memory check (after its first
  // chunk) until the engine has stopped, so that what the test does meanwhile
  // surely comes while it runs.
  void startRamHoldingFirstDecode() {
    startRam(100, [this]() -> std::optional<uint64_t> {
      if (!first_decode_entered_.exchange(true)) waitUntilStopped(held_engine_);
      return 64 * kMiB * 1024;
    });
    held_engine_ = ram();
  }
  // Queues a 16-bit 44.1 kHz FLAC track titled "one"; the floats it must play as.
  std::vector<float> queueTrack(double seconds) {
    FlacSetup setup{44100, 16, 2, seconds, {"TITLE=one"}};
    const std::string flac = makeFlac(dir_.path(), "one", setup);
    Toolkit_AddDroppedFiles({flac});
    return referenceDecode(flac, dir_.file("one.raw16"), 16);
  }
  sonara::ui::HeadlessProgressPanel& panel() { return ui_->headlessProgressPanel(); }
  std::string capture(const std::string& name = "DAC A") { return readBytes(dir_.file(name + ".raw")); }
  std::string captureLog(const std::string& name = "DAC A") { return readBytes(dir_.file(name + ".raw.log")); }
  bool playsToTheEnd(int tracks, double seconds = 30) {
    return runUntil([&] { return songSwitches() == tracks && state() == 0 && !getObject()->playing(); }, seconds);
  }

  std::shared_ptr<sonara::ui::HeadlessUi> ui_ = std::make_shared<sonara::ui::HeadlessUi>();
  int32_t decode_mode_ = 0;  // the DSD transport: 0 DoP, 1 native
  std::atomic<RAMPlayManager*> held_engine_{nullptr};
  std::atomic<bool> first_decode_entered_{false};
};

TEST_F(RamPlayTest, AFlacTrackPlaysFromMemoryBitForBit) {
  startRam();
  const auto reference = queueTrack(1.0);
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(playsToTheEnd(1));
  EXPECT_TRUE(captureHolds(capture(), 4410 * 2, reference));
  EXPECT_TRUE(client_.errors.empty());
  // The panel showed the decode once, over the track's span, and is gone.
  EXPECT_EQ(panel().timesShown(), 1);
  EXPECT_FALSE(panel().visible());
  EXPECT_EQ(panel().title(), "one");
  EXPECT_DOUBLE_EQ(panel().minimum(), 0.0);
  EXPECT_NEAR(panel().maximum(), 1.0, 1e-6);
  auto values = panel().values();
  ASSERT_GE(values.size(), 2u);
  EXPECT_EQ(values.front(), 0.0);
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  EXPECT_GT(values.back(), 0.8);
}

TEST_F(RamPlayTest, ThreeTracksEachDecodeAndStartTheOutputAfresh) {
  // Asked during every decode: how many tracks are in memory then.
  std::atomic<uint64_t> most_in_memory{0};
  startRam(100, [&] {
    const uint64_t now = AudioOutputExpandableBuffer::instances();
    if (now > most_in_memory) most_in_memory = now;
    return std::optional<uint64_t>(64 * kMiB * 1024);
  });
  FlacSetup a{44100, 16, 2, 0.4, {"TITLE=a"}}, b{96000, 24, 2, 0.3, {"TITLE=b"}}, c{44100, 16, 2, 0.5, {"TITLE=c"}};
  const std::string fa = makeFlac(dir_.path(), "a", a), fb = makeFlac(dir_.path(), "b", b),
                    fc = makeFlac(dir_.path(), "c", c);
  const auto ra = referenceDecode(fa, dir_.file("a.raw16"), 16), rb = referenceDecode(fb, dir_.file("b.raw24"), 24),
             rc = referenceDecode(fc, dir_.file("c.raw16"), 16);
  Toolkit_AddDroppedFiles({fa, fb, fc});
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(playsToTheEnd(3));
  EXPECT_TRUE(client_.errors.empty());
  EXPECT_EQ(panel().timesShown(), 3);
  // Each track after its own pre-roll, none joined to the one before.
  std::vector<float> expected;
  auto append = [&](size_t preroll_frames, const std::vector<float>& samples) {
    expected.insert(expected.end(), preroll_frames * 2, 0.0f);
    expected.insert(expected.end(), samples.begin(), samples.end());
  };
  append(4410, ra);
  append(9600, rb);
  append(4410, rc);
  EXPECT_TRUE(captureHolds(capture(), 0, expected));
  EXPECT_EQ(countOf(captureLog(), "\"event\":\"start\""), 3u);
  // The track before was let go before the next one decoded.
  EXPECT_EQ(most_in_memory.load(), 1u);
}

// Started inside a track, the device hears the lead-in silence first, as it does
// when the track streams, and then exactly the samples from the start chosen.
TEST_F(RamPlayTest, AStartInsideTheTrackPlaysTheLeadInThenThePartChosen) {
  startRam();
  const auto reference = queueTrack(2.0);
  ASSERT_EQ(Toolkit_PlayRequestFrom(1), 0);
  ASSERT_TRUE(playsToTheEnd(1));
  EXPECT_TRUE(captureHolds(capture(), 4410 * 2, std::vector<float>(reference.begin() + 44100 * 2, reference.end())));
  EXPECT_TRUE(client_.errors.empty());
}

// A file cut short ends before its header's length: the decode fails, the track is
// reported and skipped, and none of it reaches the device.
TEST_F(RamPlayTest, AFileCutShortIsReportedAndSkippedUnplayed) {
  startRam();
  FlacSetup cut{44100, 16, 2, 2.0, {"TITLE=cut"}}, whole{44100, 16, 2, 0.3, {"TITLE=whole"}};
  const std::string fcut = makeFlac(dir_.path(), "cut", cut), fwhole = makeFlac(dir_.path(), "whole", whole);
  const auto reference = referenceDecode(fwhole, dir_.file("whole.raw16"), 16);
  std::filesystem::resize_file(fcut, std::filesystem::file_size(fcut) / 2);
  Toolkit_AddDroppedFiles({fcut, fwhole});
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(playsToTheEnd(1));
  ASSERT_EQ(client_.errors.size(), 1u);
  EXPECT_EQ(client_.errors[0].code, 3);
  EXPECT_EQ(client_.errors[0].file, fcut);
  EXPECT_TRUE(captureHolds(capture(), 4410 * 2, reference));
}

// A FLAC file whose frame k holds k + 1 in the left channel and -(k + 1) in the
// right, in 24 bits: any frame played tells where in the file it came from.
std::string makeCountingFlac(const TempDir& dir, uint32_t frames) {
  std::string raw;
  raw.reserve(size_t{frames} * 6);
  for (uint32_t k = 0; k < frames; ++k) {
    for (int32_t v : {static_cast<int32_t>(k + 1), -static_cast<int32_t>(k + 1)}) {
      const auto u = static_cast<uint32_t>(v);
      raw.push_back(static_cast<char>(u & 0xFF));
      raw.push_back(static_cast<char>((u >> 8) & 0xFF));
      raw.push_back(static_cast<char>((u >> 16) & 0xFF));
    }
  }
  writeFile(dir.file("count.raw"), std::vector<uint8_t>(raw.begin(), raw.end()));
  std::string flac = dir.file("count.flac");
  runCommand("flac -s -f --force-raw-format --endian=little --sign=signed --channels=2 --bps=24 "
             "--sample-rate=44100 -o " + flac + " " + dir.file("count.raw") + " 2>&1");
  return flac;
}

// The runs of consecutive frames in a counting capture, as (first, last) values;
// silence ends a run.
std::vector<std::pair<int64_t, int64_t>> countingRuns(const std::string& bytes) {
  std::vector<std::pair<int64_t, int64_t>> runs;
  auto s = samples32(bytes);
  bool gap = true;
  for (size_t i = 0; i + 1 < s.size(); i += 2) {
    if (s[i] == 0 && s[i + 1] == 0) {
      gap = true;
      continue;
    }
    const int64_t v = s[i] / 256;
    EXPECT_EQ(s[i + 1], -s[i]) << "frame " << i / 2;
    if (!gap && runs.back().second + 1 == v) {
      runs.back().second = v;
    } else {
      runs.emplace_back(v, v);
    }
    gap = false;
  }
  return runs;
}

// Tracks of a cue sheet decode exactly their window of the file: the first ends at
// the second's start, which begins after its own pre-roll.
TEST_F(RamPlayTest, CueSheetTracksDecodeExactlyTheirWindows) {
  startRam();
  const std::string flac = makeCountingFlac(dir_, 3 * 44100 + 100);
  std::ofstream(dir_.file("album.cue")) << "FILE \"count.flac\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n"
                                           "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    TITLE \"Two\"\n"
                                           "    INDEX 01 00:01:30\n";
  Toolkit_AddDroppedFiles({dir_.file("album.cue")});
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(playsToTheEnd(2));
  EXPECT_TRUE(client_.errors.empty());
  EXPECT_EQ(panel().timesShown(), 2);
  const int64_t split = 44100 + 30 * 588;  // 1 s and 30 CD frames
  const std::string bytes = capture();
  EXPECT_EQ(countingRuns(bytes), (std::vector<std::pair<int64_t, int64_t>>{{1, split}, {split + 1, 3 * 44100 + 100}}));
  // Each track begins with its own pre-roll.
  auto s = samples32(bytes);
  ASSERT_GT(s.size(), size_t{2 * 4410});
  for (size_t i = 0; i < 2 * 4410; ++i) ASSERT_EQ(s[i], 0) << i;
  for (size_t i = 2 * 4410 + 2 * static_cast<size_t>(split), k = 0; k < 2 * 4410; ++i, ++k) ASSERT_EQ(s[i], 0) << i;
}

TEST_F(RamPlayTest, SeekAndReplayPlayFromTheDecodedDataWithoutASecondDecode) {
  DeviceJson dac = device("DAC A", "realtime");
  dac.formats = {formatJson(0, 32, 4, 2, false, false, 44100, 192000)};
  useDevices({dac});
  startRam();
  const std::string flac = makeCountingFlac(dir_, 8 * 44100);
  Toolkit_AddDroppedFiles({flac});
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 1; }));
  runFor(0.3);
  ASSERT_EQ(Toolkit_SetPos(5), 0);
  ASSERT_TRUE(runUntil([&] { return getObject()->currentItemTimestamp >= 5.0; }));
  runFor(0.3);
  ASSERT_EQ(Toolkit_PlayRequest(), 0);  // while playing: the track again from its start
  ASSERT_TRUE(runUntil([&] { return songSwitches() >= 3; }));
  runFor(0.3);
  ASSERT_EQ(Toolkit_StopRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return state() == 0; }));

  EXPECT_EQ(panel().timesShown(), 1);  // decoded once
  auto runs = countingRuns(capture());
  ASSERT_EQ(runs.size(), 3u) << ::testing::PrintToString(runs);
  EXPECT_EQ(runs[0].first, 1);
  EXPECT_EQ(runs[1].first, 5 * 44100 + 1);
  EXPECT_EQ(runs[2].first, 1);
  EXPECT_TRUE(client_.errors.empty());
}

// The device goes away while a track decodes: the decode ends, nothing plays, the
// client hears of the loss, and no thread is left.
TEST_F(RamPlayTest, TheDeviceGoingAwayDuringADecodeEndsIt) {
  startRamHoldingFirstDecode();
  queueTrack(3.0);
  const size_t threads_before = threadCount();
  loop_->post([&] {
    if (waitFor(first_decode_entered_)) hal_->unplug(1);
  });
  LogCapture log;
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return !client_.errors.empty() && state() == 0; }));
  EXPECT_EQ(client_.errors[0].code, 0);
  EXPECT_EQ(songSwitches(), 0);
  EXPECT_FALSE(panel().visible());
  EXPECT_EQ(countOf(captureLog(), "\"event\":\"start\""), 0u);
  // The list rebuilt without the device leaves no engine: its event thread went
  // with it, and no decoding thread stayed behind.
  hal_->drainNotifications();
  ASSERT_TRUE(runUntil([&] { return !getObject()->hasPlayManager(); }));
  EXPECT_EQ(threadCount(), threads_before - 1);
  EXPECT_FALSE(log.contains("does not return"));
  EXPECT_FALSE(log.contains("did not stop"));
}

// Next pressed while a track decodes: that decode ends unplayed, the next track
// decodes behind a panel of its own and plays.
TEST_F(RamPlayTest, NextDuringADecodeStartsTheNextTrackInstead) {
  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false, released = false;
  // The second track's decode looks at its panel once the main thread has taken up
  // everything posted before it, the first decode's end included.
  std::atomic<bool> marker{false}, looked{false}, visible_in_second{false};
  startRam(100, [&]() -> std::optional<uint64_t> {
    {
      std::unique_lock lock(mutex);
      entered = true;
      changed.notify_all();
      changed.wait_for(lock, std::chrono::seconds(10), [&] { return released; });
    }
    if (panel().title() == "short" && !looked.exchange(true)) {
      loop_->post([&] { marker = true; });
      waitFor(marker);
      visible_in_second = panel().visible();
    }
    return 64 * kMiB * 1024;
  });
  FlacSetup first{44100, 16, 2, 3.0, {"TITLE=long"}}, second{44100, 16, 2, 0.3, {"TITLE=short"}};
  const std::string flong = makeFlac(dir_.path(), "long", first), fshort = makeFlac(dir_.path(), "short", second);
  const auto reference = referenceDecode(fshort, dir_.file("short.raw16"), 16);
  Toolkit_AddDroppedFiles({flong, fshort});
  bool next_while_decoding = false;
  loop_->post([&] {
    {
      std::unique_lock lock(mutex);
      if (!changed.wait_for(lock, std::chrono::seconds(10), [&] { return entered; })) return;
      released = true;
      changed.notify_all();
    }
    next_while_decoding = ram()->decoding();
    Toolkit_NextRequest();
  });
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  EXPECT_TRUE(next_while_decoding);
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 1 && state() == 0 && !getObject()->playing(); }));
  EXPECT_TRUE(captureHolds(capture(), 4410 * 2, reference));
  EXPECT_EQ(countOf(captureLog(), "\"event\":\"start\""), 1u);
  EXPECT_EQ(panel().timesShown(), 2);
  EXPECT_TRUE(looked);
  EXPECT_TRUE(visible_in_second) << "the first decode's end closed the second one's panel";
  EXPECT_FALSE(panel().visible());
  EXPECT_TRUE(client_.errors.empty());
}

// A pause stops the device; the resume goes on from the very next frame in memory.
TEST_F(RamPlayTest, PauseAndResumeGoOnFromTheNextFrame) {
  DeviceJson dac = device("DAC A", "realtime");
  dac.formats = {formatJson(0, 32, 4, 2, false, false, 44100, 192000)};
  useDevices({dac});
  startRam();
  Toolkit_AddDroppedFiles({makeCountingFlac(dir_, 44100)});
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 1; }));
  EXPECT_EQ(client_.positions.front().first, 0u);  // the pre-roll is not part of the track
  runFor(0.3);
  ASSERT_EQ(Toolkit_PauseRequest(), 0);
  EXPECT_EQ(state(), 2);
  runFor(0.2);
  ASSERT_EQ(Toolkit_PauseRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return state() == 0 && !getObject()->playing(); }));
  auto runs = countingRuns(capture());
  ASSERT_EQ(runs.size(), 2u) << ::testing::PrintToString(runs);
  EXPECT_EQ(runs[0].first, 1);
  EXPECT_EQ(runs[1].first, runs[0].second + 1);
  EXPECT_EQ(runs[1].second, 44100);
  EXPECT_EQ(panel().timesShown(), 1);
}

// Repeating one track plays it again from memory: decoded once, heard three times.
TEST_F(RamPlayTest, RepeatingATrackPlaysItAgainWithoutDecoding) {
  startRam();
  const auto reference = queueTrack(0.3);
  ASSERT_EQ(Toolkit_Repeat(1), 0);
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return songSwitches() >= 3; }));
  ASSERT_EQ(Toolkit_StopRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return state() == 0; }));
  EXPECT_EQ(panel().timesShown(), 1);
  // Each time after the pre-roll, the track in full.
  std::vector<float> twice;
  for (int i = 0; i < 2; ++i) {
    twice.insert(twice.end(), 4410 * 2, 0.0f);
    twice.insert(twice.end(), reference.begin(), reference.end());
  }
  const std::string bytes = capture();
  ASSERT_GE(bytes.size(), twice.size() * 4);
  EXPECT_TRUE(captureHolds(bytes.substr(0, twice.size() * 4), 0, twice));
  EXPECT_TRUE(client_.errors.empty());
}

// A stereo DSD64 file whose bytes never look like DSD silence.
struct DsfFile {
  std::string path;
  std::vector<std::vector<uint8_t>> audio;
};

DsfFile makeDsf(const TempDir& dir, size_t bytes_per_channel) {
  DsfSetup setup;
  setup.audio = patternAudio(2, bytes_per_channel);
  for (auto& ch : setup.audio) {
    for (auto& b : ch) {
      if (b == 0x96 || b == 0x69) b = 0x33;
    }
  }
  DsfFile f{dir.file("t.dsf"), setup.audio};
  writeFile(f.path, buildDsf(setup));
  return f;
}

struct DoPFrame {
  uint8_t marker, first, second;
};

// Frames of a 24-bit, 3-byte stereo DoP capture; both channels must carry one marker.
std::vector<std::array<DoPFrame, 2>> dopFrames(const std::string& bytes) {
  std::vector<std::array<DoPFrame, 2>> out;
  for (size_t i = 0; i + 5 < bytes.size(); i += 6) {
    std::array<DoPFrame, 2> f;
    for (size_t c = 0; c < 2; ++c) {
      const size_t at = i + 3 * c;
      f[c] = {static_cast<uint8_t>(bytes[at + 2]), static_cast<uint8_t>(bytes[at + 1]),
              static_cast<uint8_t>(bytes[at])};
    }
    out.push_back(f);
  }
  return out;
}

bool isSilence(const std::array<DoPFrame, 2>& f) {
  auto quiet = [](const DoPFrame& s) { return (s.first == 0x96 || s.first == 0x69) && s.first == s.second; };
  return quiet(f[0]) && quiet(f[1]);
}

class RamDsdTest : public RamPlayTest {
 protected:
  void useDoPDevice(const std::string& clock) {
    DeviceJson dac = device("DAC A", clock);
    dac.formats = {formatJson(176400, 24, 3), formatJson(44100, 24, 3)};
    useDevices({dac});
  }
};

TEST_F(RamDsdTest, ADsfTrackPlaysFromMemoryAsDoPAfterThePreRoll) {
  useDoPDevice("freewheel");
  startRam();
  auto dsf = makeDsf(dir_, 3 * 4096);
  Toolkit_AddDroppedFiles({dsf.path});
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(playsToTheEnd(1));
  auto frames = dopFrames(capture());
  const size_t preroll = 17640;  // 0.1 s at 176400 frames per second
  ASSERT_EQ(frames.size(), preroll + 3 * 4096 / 2);
  for (size_t i = 0; i < frames.size(); ++i) {
    for (size_t c = 0; c < 2; ++c) {
      uint8_t first = 0x96, second = 0x96;
      if (i >= preroll) {
        first = reverseBits(dsf.audio[c][2 * (i - preroll)]);
        second = reverseBits(dsf.audio[c][2 * (i - preroll) + 1]);
      }
      ASSERT_EQ(frames[i][c].first, first) << i;
      ASSERT_EQ(frames[i][c].second, second) << i;
      ASSERT_EQ(frames[i][c].marker, frames[i][0].marker) << i;
    }
    if (i > 0) {
      ASSERT_EQ(frames[i][0].marker, static_cast<uint8_t>(~frames[i - 1][0].marker)) << i;
    }
  }
}

// Native DSD in 16-bit words on a device with a DSD format: the pre-roll as DSD
// idle, then the file's bits in order.
TEST_F(RamDsdTest, ADsfTrackPlaysFromMemoryAsNativeDsd) {
  DeviceJson dac = device("DAC A", "freewheel");
  dac.formats = {formatJson(176400, 16, 2), formatJson(176400, 16, 2, 2, false, true), formatJson(176400, 24, 3)};
  useDevices({dac});
  decode_mode_ = 1;
  startRam();
  auto dsf = makeDsf(dir_, 4096);
  Toolkit_AddDroppedFiles({dsf.path});
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(playsToTheEnd(1));
  EXPECT_NE(captureLog().find("\"bits\":16,\"bytes_per_frame\":4,\"channels\":2,\"non_mixable\":false,\"dsd\":true"),
            std::string::npos);
  const std::string bytes = capture();
  const size_t preroll = 17640 * 2 * 2;
  ASSERT_EQ(bytes.size(), preroll + 2 * 4096);
  for (size_t i = 0; i < preroll; ++i) ASSERT_EQ(static_cast<uint8_t>(bytes[i]), 0x96) << i;
  for (size_t i = 0; i < 2 * 4096; i += 2) {
    const size_t frame = i / 4, channel = (i / 2) % 2;
    ASSERT_EQ(static_cast<uint8_t>(bytes[preroll + i]), reverseBits(dsf.audio[channel][2 * frame])) << i;
    ASSERT_EQ(static_cast<uint8_t>(bytes[preroll + i + 1]), reverseBits(dsf.audio[channel][2 * frame + 1])) << i;
  }
  EXPECT_EQ(panel().timesShown(), 1);
}

// After a jump inside the decoded data the markers go on alternating, as though the
// frames before and after it were neighbours: the target keeps the parity of where
// the data was left.
TEST_F(RamDsdTest, AStartInsideTheTrackPlaysTheLeadInWithTheMarkersAlternatingAcrossTheJump) {
  useDoPDevice("freewheel");
  startRam();
  auto dsf = makeDsf(dir_, 2 * 352800);
  Toolkit_AddDroppedFiles({dsf.path});
  ASSERT_EQ(Toolkit_PlayRequestFrom(1), 0);
  ASSERT_TRUE(playsToTheEnd(1));
  auto frames = dopFrames(capture());
  const size_t lead_in = 17640, from = 176400;
  ASSERT_EQ(frames.size(), lead_in + (2 * 176400 - from));
  for (size_t i = 0; i < frames.size(); ++i) {
    if (i > 0) {
      ASSERT_EQ(frames[i][0].marker, static_cast<uint8_t>(~frames[i - 1][0].marker)) << i;
    }
    for (size_t c = 0; c < 2; ++c) {
      uint8_t first = 0x96, second = 0x96;
      if (i >= lead_in) {
        first = reverseBits(dsf.audio[c][2 * (from + i - lead_in)]);
        second = reverseBits(dsf.audio[c][2 * (from + i - lead_in) + 1]);
      }
      ASSERT_EQ(frames[i][c].first, first) << "frame " << i;
      ASSERT_EQ(frames[i][c].second, second) << "frame " << i;
    }
  }
}

TEST_F(RamDsdTest, ASeekInsideTheDecodedDataKeepsTheMarkerAlternation) {
  useDoPDevice("realtime");
  startRam();
  const size_t seconds = 4;
  auto dsf = makeDsf(dir_, seconds * 352800);
  Toolkit_AddDroppedFiles({dsf.path});
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return songSwitches() == 1; }));
  runFor(0.3);
  ASSERT_EQ(Toolkit_SetPos(2), 0);
  ASSERT_TRUE(runUntil([&] { return getObject()->currentItemTimestamp >= 2.0; }));
  runFor(0.3);
  ASSERT_EQ(Toolkit_StopRequest(), 0);
  ASSERT_TRUE(runUntil([&] { return state() == 0; }));
  EXPECT_EQ(panel().timesShown(), 1);

  // The sound frames in order, with where each came from in the file.
  auto frames = dopFrames(capture());
  std::vector<std::array<DoPFrame, 2>> sound;
  for (const auto& f : frames) {
    if (!isSilence(f)) sound.push_back(f);
  }
  ASSERT_GT(sound.size(), 1000u);
  auto matches = [&](const std::array<DoPFrame, 2>& f, size_t at) {
    for (size_t c = 0; c < 2; ++c) {
      if (f[c].first != reverseBits(dsf.audio[c][2 * at]) || f[c].second != reverseBits(dsf.audio[c][2 * at + 1])) {
        return false;
      }
    }
    return true;
  };
  size_t at = 0;
  size_t jumps = 0;
  for (size_t i = 0; i < sound.size(); ++i) {
    if (i > 0) {
      ASSERT_EQ(sound[i][0].marker, static_cast<uint8_t>(~sound[i - 1][0].marker)) << "sound frame " << i;
    }
    ASSERT_EQ(sound[i][0].marker, sound[i][1].marker) << i;
    if (matches(sound[i], at)) {
      ++at;
      continue;
    }
    // The jump: to 2 s into the file, or the frame after when the parity asks it.
    ++jumps;
    ASSERT_EQ(jumps, 1u) << "sound frame " << i;
    const size_t target = 2 * 176400;
    ASSERT_TRUE(matches(sound[i], target) || matches(sound[i], target + 1)) << "sound frame " << i;
    at = (matches(sound[i], target) ? target : target + 1) + 1;
  }
  EXPECT_EQ(jumps, 1u);
}

TEST_F(RamPlayTest, ATrackPastTheLimitFailsAndTheNextOnePlays) {
  startRam(1);
  FlacSetup big{44100, 16, 2, 4.0, {"TITLE=big"}}, small{44100, 16, 2, 0.5, {"TITLE=small"}};
  const std::string fbig = makeFlac(dir_.path(), "big", big), fsmall = makeFlac(dir_.path(), "small", small);
  const auto reference = referenceDecode(fsmall, dir_.file("small.raw16"), 16);
  Toolkit_AddDroppedFiles({fbig, fsmall});
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(playsToTheEnd(1));
  ASSERT_TRUE(runUntil([&] { return !client_.errors.empty(); }));
  ASSERT_EQ(client_.errors.size(), 1u);
  EXPECT_EQ(client_.errors[0].code, 4);
  EXPECT_EQ(client_.errors[0].file, fbig);
  // Nothing of the failed track reached the device: only the second one.
  EXPECT_TRUE(captureHolds(capture(), 4410 * 2, reference));
  EXPECT_EQ(countOf(captureLog(), "\"event\":\"start\""), 1u);
  EXPECT_EQ(panel().timesShown(), 2);
  // The decode stopped at the limit, not at the end of the track.
  auto values = panel().values();
  EXPECT_LT(values.back(), 2.0);
}

// The first track decodes with exactly the floor available, which is enough; as it
// starts to sound the machine runs shorter, and the second track's decode stops.
TEST_F(RamPlayTest, BelowTheMemoryFloorTheDecodeStopsAndTheTrackIsSkipped) {
  struct ShrinkingMemory : RecordingDelegate {
    std::atomic<uint64_t> available{RAMPlayManager::kMemoryFloor};
    void songSwitch() override {
      RecordingDelegate::songSwitch();
      available = RAMPlayManager::kMemoryFloor - 1;
    }
  } client;
  sonara::platform::MemoryProbe probe = [&] { return std::optional<uint64_t>(client.available.load()); };
  ASSERT_EQ(Toolkit_Init(&client), 0);
  getObject()->setRAMMemoryProbe(probe);
  TkConfig config;
  config.setDeviceName("DAC A");
  config.setRamMode(1);
  config.setRamModeMemoryLimit(100);
  ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
  FlacSetup one{44100, 16, 2, 0.5, {"TITLE=one"}}, two{44100, 16, 2, 0.5, {"TITLE=two"}};
  const std::string first = makeFlac(dir_.path(), "one", one), second = makeFlac(dir_.path(), "two", two);
  const auto reference = referenceDecode(first, dir_.file("one.raw16"), 16);
  Toolkit_AddDroppedFiles({first, second});
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(runUntil([&] {
    return !client.errors.empty() && !client.states.empty() && client.states.back() == 0 && !getObject()->playing();
  }));
  ASSERT_EQ(client.errors.size(), 1u);
  EXPECT_EQ(client.errors[0].code, 4);
  EXPECT_EQ(client.errors[0].file, second);
  EXPECT_EQ(client.song_switches, 1);
  EXPECT_TRUE(captureHolds(capture(), 4410 * 2, reference));
  EXPECT_EQ(countOf(captureLog(), "\"event\":\"start\""), 1u);
  EXPECT_EQ(panel().timesShown(), 2);
  Toolkit_Exit();
}

// The decode is held inside its memory check (after its first chunk) until the
// Cancel the test presses has stopped the engine, so the cancel surely comes while
// it runs.
TEST_F(RamPlayTest, CancelDuringTheDecodePlaysNothingAndLeavesNoThread) {
  startRamHoldingFirstDecode();
  queueTrack(3.0);
  const size_t threads_before = threadCount();
  bool cancelled_while_decoding = false;
  loop_->post([&] {
    if (!waitFor(first_decode_entered_)) return;
    cancelled_while_decoding = ram()->decoding() && panel().visible();
    panel().pressCancel();
  });
  ASSERT_EQ(Toolkit_PlayRequest(), 0);  // returns when the decode has ended
  EXPECT_TRUE(cancelled_while_decoding);
  EXPECT_FALSE(ram()->decoding());
  EXPECT_FALSE(panel().visible());
  ASSERT_TRUE(runUntil([&] { return state() == 0; }));
  runFor(0.2);
  EXPECT_EQ(songSwitches(), 0);
  EXPECT_FALSE(getObject()->playing());
  EXPECT_TRUE(client_.errors.empty());
  EXPECT_EQ(countOf(captureLog(), "\"event\":\"start\""), 0u);  // the device never ran
  EXPECT_EQ(threadCount(), threads_before);
  // The panel stays usable: the next play decodes and plays.
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(playsToTheEnd(1));
  EXPECT_EQ(panel().timesShown(), 2);
}

// The program quits (its window closed) while a track decodes: the engine goes
// with the decode, the device is never started and no thread stays behind.
TEST_F(RamPlayTest, ExitingTheEngineDuringADecodeEndsItAndLeavesNoThread) {
  startRamHoldingFirstDecode();
  queueTrack(3.0);
  const size_t threads_before = threadCount();
  bool exited_while_decoding = false;
  loop_->post([&] {
    if (!waitFor(first_decode_entered_)) return;
    exited_while_decoding = panel().visible();
    Toolkit_Exit();  // the decoding thread keeps its engine alive until it leaves
  });
  Toolkit_PlayRequest();  // returns when the decode has ended
  EXPECT_TRUE(exited_while_decoding);
  EXPECT_EQ(getObject(), nullptr);
  EXPECT_FALSE(panel().visible());
  runFor(0.3);
  EXPECT_EQ(songSwitches(), 0);
  EXPECT_EQ(countOf(captureLog(), "\"event\":\"start\""), 0u);
  EXPECT_TRUE(runUntil([&] { return threadCount() <= threads_before; }, 10));
}

}  // namespace
