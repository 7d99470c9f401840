// pelmora-cli on WAV and AIFF files made by sox, and on files the system codecs
// plug-in must refuse by what they hold.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "support/capture_compare.h"
#include "support/cli_env.h"
#include "support/run_command.h"

namespace {

// sox's own reading of a file: every sample as a 32-bit integer, left-aligned.
std::vector<int32_t> soxIntegers(const std::string& path) {
  auto r = runCommand("sox " + path + " -t raw -e signed-integer -b 32 -L - 2>/dev/null");
  std::vector<int32_t> out(r.out.size() / 4);
  std::memcpy(out.data(), r.out.data(), out.size() * 4);
  return out;
}

// The floats a decoder must deliver for them: exact up to 24 bits, the nearest float
// beyond.
std::vector<float> soxSamples(const std::string& path) {
  std::vector<float> out;
  for (int32_t v : soxIntegers(path)) out.push_back(static_cast<float>(v) * (1.0f / 2147483648.0f));
  return out;
}

std::vector<float> decodedFloats(const std::string& path) {
  const std::string bytes = readBytes(path);
  std::vector<float> out(bytes.size() / 4);
  std::memcpy(out.data(), bytes.data(), out.size() * 4);
  return out;
}

class CliWav : public ::testing::Test {
 protected:
  // `seconds` of a tone over noise, written by sox with its own headers.
  std::string make(const std::string& name, const std::string& format) {
    const std::string path = env_.dir.file(name);
    EXPECT_EQ(runCommand("sox -q -D -n " + format + " " + path + " synth 0.25 sine 441 whitenoise vol 0.5").status, 0);
    return path;
  }
  CliEnv env_;
};

TEST_F(CliWav, DecodeDeliversSoxsSamplesBitForBit) {
  for (const auto& [name, format] : std::vector<std::pair<std::string, std::string>>{
           {"s16.wav", "-r 44100 -b 16 -c 2"},
           {"u8.wav", "-r 48000 -b 8 -c 1"},
           {"s24x6.wav", "-r 96000 -b 24 -c 6"},
           {"s32.wav", "-r 192000 -b 32 -c 2"},
           {"s24.aiff", "-r 384000 -b 24 -c 2"},
           {"s16.aif", "-r 44100 -b 16 -c 8"}}) {
    const std::string path = make(name, format);
    const std::string out = env_.dir.file(name + ".raw");
    ASSERT_EQ(runCommand(env_.cli() + "decode " + path + " -o " + out).status, 0) << name;
    const auto expected = soxSamples(path);
    ASSERT_FALSE(expected.empty()) << name;
    EXPECT_EQ(decodedFloats(out), expected) << name;
  }
}

TEST_F(CliWav, InfoGivesTheFilesOwnFormatAndDuration) {
  const std::string wav = make("tone.wav", "-r 96000 -b 24 -c 6");
  const std::string aiff = make("tone.aiff", "-r 44100 -b 16 -c 1");
  auto r = runCommand(env_.cli() + "info --json " + wav + " " + aiff + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\"decoder\":\"AudioToolboxWavDecoder\",\"rate\":96000,\"channels\":6,\"bits\":32,"
                       "\"format\":\"lpcm\",\"duration\":0.25,\"title\":\"tone\",\"artist\":\"\","
                       "\"src_bits\":24,\"src_rate\":96000"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"rate\":44100,\"channels\":1,\"bits\":32,\"format\":\"lpcm\",\"duration\":0.25,"
                       "\"title\":\"tone\",\"artist\":\"\",\"src_bits\":16,\"src_rate\":44100"),
            std::string::npos)
      << r.out;
}

TEST_F(CliWav, FilesAreChosenByWhatTheyHoldNotByTheirNames) {
  // PCM named as MP3, text named as WAV, AAC in an M4A file.
  const std::string wav = make("tone.wav", "-r 44100 -b 16 -c 2");
  std::filesystem::copy_file(wav, env_.dir.file("tone.mp3"));
  std::ofstream(env_.dir.file("notes.wav")) << "These are liner notes, not audio at all.";
  const std::string aac = env_.dir.file("tone.m4a");
  const std::string rf64 = env_.dir.file("big.wav");
  ASSERT_EQ(runCommand("ffmpeg -v quiet -y -i " + wav + " -c:a aac " + aac).status, 0);
  ASSERT_EQ(runCommand("ffmpeg -v quiet -y -i " + wav + " -rf64 always " + rf64).status, 0);
  auto r = runCommand(env_.cli() + "info " + env_.dir.file("tone.mp3") + " " + env_.dir.file("notes.wav") + " " +
                      aac + " " + rf64 + " 2>/dev/null");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("tone.mp3\n  cannot be read: holds 16-bit PCM in a WAV file; only files named "
                       ".wav, .aif or .aiff are read as such."),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("notes.wav\n  cannot be read: holds no audio format this plug-in knows."), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("tone.m4a\n  cannot be read: holds AAC (Advanced Audio Coding) in an MP4 file, which is "
                       "not supported."),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("big.wav\n  cannot be read: holds RF64 audio (the WAV format for files beyond 4 GiB), which is not supported."),
            std::string::npos)
      << r.out;
}

TEST_F(CliWav, AWindowHoldsExactlyItsFrames) {
  const std::string wav = make("window.wav", "-r 44100 -b 16 -c 2");
  const std::string out = env_.dir.file("window.raw");
  ASSERT_EQ(runCommand(env_.cli() + "decode " + wav + " --start 0.125 --length 0.0625 -o " + out).status, 0);
  const auto all = soxSamples(wav);
  const auto part = decodedFloats(out);
  ASSERT_EQ(part.size(), 2756u * 2);  // 0.0625 s at 44100 Hz: 2756.25 frames
  EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin() + 5512 * 2));
}

TEST_F(CliWav, AFifoOrAFolderNamedAsAudioIsRefusedAtOnce) {
  ASSERT_EQ(::mkfifo(env_.dir.file("pipe.wav").c_str(), 0600), 0);
  std::filesystem::create_directories(env_.dir.file("folder.wav"));
  for (const char* name : {"pipe.wav", "folder.wav"}) {
    const std::string path = env_.dir.file(name);
    auto decode = runCommand("timeout 20 " + env_.cli() + "decode " + path + " -o " + env_.dir.file("x.raw") + " 2>&1");
    EXPECT_EQ(decode.status, 1) << decode.out;
    EXPECT_NE(decode.out.find(std::string(name) + ": is a"), std::string::npos) << decode.out;
    auto info = runCommand("timeout 20 " + env_.cli() + "info " + path + " 2>&1");
    EXPECT_EQ(info.status, 1) << info.out;
  }
}

TEST_F(CliWav, ThreeTracksCutFromOneSignalPlayAsThatSignal) {
  const std::string whole = make("whole.wav", "-r 96000 -b 24 -c 2");
  std::filesystem::create_directories(env_.dir.file("album"));
  // Cuts at frames that fall inside the engine's and the decoder's blocks.
  runCommand("sox " + whole + " " + env_.dir.file("album/1.wav") + " trim 0s 7001s");
  runCommand("sox " + whole + " " + env_.dir.file("album/2.wav") + " trim 7001s 9999s");
  runCommand("sox " + whole + " " + env_.dir.file("album/3.wav") + " trim 17000s");
  const DeviceJson dac = capturingDac(env_.dir.file("dac.raw"));
  env_.setDevices({dac});

  auto r = runCommand(env_.cli() + "play --device 'Test DAC' " + env_.dir.file("album") + " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto signal = soxSamples(whole);
  ASSERT_EQ(signal.size(), 24000u * 2);
  EXPECT_TRUE(captureHolds(readBytes(dac.capture), 9600 * 2, signal));
}

}  // namespace
