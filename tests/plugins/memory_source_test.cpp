// The DSD decoders opened on a file's bytes in memory (as the fuzz targets open them)
// deliver what they deliver from the file itself: the same score, metadata and words,
// whole, after a seek, and for damaged files.
#include <gtest/gtest.h>

#include <vector>

#include "plugins/dsdiff/dalfin.h"
#include "plugins/dsf/selvet.h"
#include "support/dop_marker_run.h"
#include "support/dsdiff_writer.h"
#include "support/dsf_writer.h"
#include "support/engine_as_host.h"
#include "support/temp_dir.h"

using sonara::io::FileSource;

namespace {

struct Delivered {
  int32_t open_status = 0;
  uint32_t score = 0;
  sonara::Value meta;
  std::vector<uint32_t> words;
  std::vector<uint32_t> after_seek;
};

template <typename Decoder>
Delivered deliver(const FileSource& source) {
  Delivered out;
  out.score = Decoder::getScore(source);
  Decoder d;
  out.open_status = d.openSource(source);
  if (out.open_status != 0) return out;
  out.meta = d.getMetaData();
  d.setChannels(2);
  // The phase of every run starts the same, so that the words compare whole.
  sonara::pluginHostServices()->set_dop_marker_phase(0x05);
  out.words = readAllWords(d, d.getPreferredBufferSize() * d.getChannels());
  if (d.seek(d.getDuration() / 3) == 0) out.after_seek = readAllWords(d, 1000);
  return out;
}

template <typename Decoder>
void expectSameFromMemory(const std::vector<uint8_t>& bytes, const TempDir& dir) {
  writeFile(dir.file("f"), bytes);
  const Delivered from_file = deliver<Decoder>(FileSource::file(dir.file("f")));
  const Delivered from_memory = deliver<Decoder>(FileSource::memory(bytes));
  EXPECT_EQ(from_memory.score, from_file.score);
  EXPECT_EQ(from_memory.open_status, from_file.open_status);
  EXPECT_EQ(from_memory.meta, from_file.meta);
  EXPECT_EQ(from_memory.words, from_file.words);
  EXPECT_EQ(from_memory.after_seek, from_file.after_seek);
}

class MemorySourceTest : public ::testing::Test {
 protected:
  MemorySourceTest() { attachEngineAsHost(); }
  TempDir dir_;
};

TEST_F(MemorySourceTest, DsfAsFromTheFile) {
  DsfSetup setup;
  setup.audio = patternAudio(2, 300000);  // several reads ahead
  setup.id3 = buildId3({{"TIT2", "Title"}, {"TPE1", "Artist"}});
  const auto bytes = buildDsf(setup);
  expectSameFromMemory<sonara::dsf::Selvet>(bytes, dir_);
  for (size_t cut : {size_t{0}, size_t{27}, size_t{100}, bytes.size() / 2, bytes.size() - 1}) {
    SCOPED_TRACE(cut);
    expectSameFromMemory<sonara::dsf::Selvet>(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut), dir_);
  }
  DsfSetup mono;
  mono.channels = 1;
  mono.bits_per_sample = 8;
  mono.audio = patternAudio(1, 9000);
  expectSameFromMemory<sonara::dsf::Selvet>(buildDsf(mono), dir_);
}

TEST_F(MemorySourceTest, DsdiffAsFromTheFile) {
  DffSetup setup;
  setup.audio = patternAudio(2, 300000);
  const auto bytes = buildDff(setup);
  expectSameFromMemory<sonara::dsdiff::Dalfin>(bytes, dir_);
  for (size_t cut : {size_t{0}, size_t{16}, size_t{200}, bytes.size() / 2, bytes.size() - 1}) {
    SCOPED_TRACE(cut);
    expectSameFromMemory<sonara::dsdiff::Dalfin>(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut), dir_);
  }
  DffSetup six;
  six.channels = 6;
  six.audio = patternAudio(6, 5000);
  expectSameFromMemory<sonara::dsdiff::Dalfin>(buildDff(six), dir_);
}

}  // namespace
