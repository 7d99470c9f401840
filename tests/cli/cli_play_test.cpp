// pelmora-cli play end to end: a virtual device file, real FLAC files, the capture.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/capture_compare.h"
#include "support/flac_fixtures.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "support/virtual_devices.h"

namespace {

const std::string kCli = PELMORA_CLI_PATH;

TEST(CliPlay, PlaysAnAlbumGaplesslyBitForBit) {
  TempDir dir;
  DeviceJson d;
  d.name = "Test DAC";
  d.formats = {formatJson(0, 32, 4, 2, false, false, 44100, 192000)};
  d.capture = dir.file("dac.raw");
  std::ofstream(dir.file("devices.json")) << devicesJson({d});

  // One signal, two tracks.
  FlacSetup setup{44100, 24, 2, 1.0, {}};
  std::string whole = makeFlac(dir.path(), "whole", setup);
  ASSERT_FALSE(whole.empty());
  auto reference = referenceDecode(whole, dir.file("whole.raw"), 24);
  std::filesystem::create_directories(dir.file("album"));
  runCommand("sox " + dir.file("whole.wav") + " " + dir.file("a.wav") + " trim 0s 20000s");
  runCommand("sox " + dir.file("whole.wav") + " " + dir.file("b.wav") + " trim 20000s");
  runCommand("flac -s -f -o " + dir.file("album/1.flac") + " " + dir.file("a.wav"));
  runCommand("flac -s -f -o " + dir.file("album/2.flac") + " " + dir.file("b.wav"));

  auto r = runCommand("SONARA_VIRTUAL_DEVICES=" + dir.file("devices.json") + " SONARA_DEFAULTS=" +
                      dir.file("d.plist") + " " + kCli + " play --device 'Test DAC' " + dir.file("album") +
                      " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("FLAC 44.1 kHz 24-bit -> PCM 44.1 kHz 32-bit"), std::string::npos) << r.out;

  std::ifstream in(d.capture, std::ios::binary);
  EXPECT_TRUE(captureHolds(std::string{std::istreambuf_iterator<char>(in), {}}, 4410 * 2, reference));
}

TEST(CliPlay, NothingPlayableIsAClearFailure) {
  TempDir dir;
  std::ofstream(dir.file("devices.json")) << devicesJson({DeviceJson{}});
  std::ofstream(dir.file("notes.txt")) << "not audio";
  auto r = runCommand("SONARA_VIRTUAL_DEVICES=" + dir.file("devices.json") + " SONARA_DEFAULTS=" +
                      dir.file("d.plist") + " " + kCli + " play " + dir.file("notes.txt") + " 2>&1");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.out.find("nothing playable"), std::string::npos) << r.out;
  auto missing = runCommand("SONARA_VIRTUAL_DEVICES=" + dir.file("devices.json") + " SONARA_DEFAULTS=" +
                            dir.file("d.plist") + " " + kCli +
                            " play --device Nowhere " + dir.file("notes.txt") + " 2>&1");
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.out.find("no output device named \"Nowhere\""), std::string::npos);
}

}  // namespace
