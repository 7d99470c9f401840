// The file handle over a file and over bytes in memory: the same answers at, across
// and past the end, and nothing read outside the bytes it was given.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

#include "plugins/common/file_handle.h"
#include "support/byte_output.h"
#include "support/temp_dir.h"

using sonara::io::FileHandle;
using sonara::io::FileSource;

namespace {

class FileHandleTest : public ::testing::TestWithParam<bool> {
 protected:
  FileHandleTest() {
    // The 100 bytes sit inside a larger buffer whose other bytes must never show.
    surround_.assign(300, 0xEE);
    std::iota(surround_.begin() + 100, surround_.begin() + 200, uint8_t{0});
    contents_.assign(surround_.begin() + 100, surround_.begin() + 200);
    writeFile(dir_.file("f"), contents_);
  }

  // The handle under test: on the file, or on the bytes in memory.
  bool open(FileHandle& h) {
    return GetParam() ? h.open(FileSource::memory(std::span(surround_).subspan(100, 100)))
                      : h.open(FileSource::file(dir_.file("f")));
  }

  TempDir dir_;
  std::vector<uint8_t> surround_;
  std::vector<uint8_t> contents_;
};

TEST_P(FileHandleTest, ReadsStopAtTheEndAndStayThere) {
  FileHandle h;
  ASSERT_TRUE(open(h));
  EXPECT_EQ(h.length(), 100);
  std::vector<uint8_t> buf(150, 0x11);
  EXPECT_EQ(h.read(buf.data(), 40), 40);
  EXPECT_EQ(h.position(), 40);
  EXPECT_EQ(h.read(buf.data(), 150), 60);  // across the end: what is there
  EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 60),
            std::vector<uint8_t>(contents_.begin() + 40, contents_.end()));
  EXPECT_EQ(buf[60], 0x11);  // nothing written past what was read
  EXPECT_EQ(h.position(), 100);
  EXPECT_EQ(h.read(buf.data(), 1), 0);  // at the end
  EXPECT_EQ(h.position(), 100);
  EXPECT_FALSE(h.readFailed());
}

TEST_P(FileHandleTest, SeeksPastTheEndReadNothing) {
  FileHandle h;
  ASSERT_TRUE(open(h));
  uint8_t b = 0;
  ASSERT_TRUE(h.seek(99));
  EXPECT_EQ(h.read(&b, 1), 1);
  EXPECT_EQ(b, 99);
  ASSERT_TRUE(h.seek(100));
  EXPECT_EQ(h.read(&b, 1), 0);
  ASSERT_TRUE(h.seek(uint64_t{1} << 40));
  EXPECT_EQ(h.read(&b, 1), 0);
  EXPECT_EQ(h.position(), int64_t{1} << 40);
  const uint64_t largest = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  ASSERT_TRUE(h.seek(largest));
  EXPECT_EQ(h.read(&b, 1), 0);
  EXPECT_FALSE(h.seek(largest + 1));  // beyond any offset a file can have
  EXPECT_FALSE(h.seek(~uint64_t{0}));
  EXPECT_EQ(h.position(), static_cast<int64_t>(largest));
}

TEST_P(FileHandleTest, BytesAtAreBoundedByTheFileWhateverTheSizeAsked) {
  FileHandle h;
  ASSERT_TRUE(open(h));
  ASSERT_TRUE(h.seek(7));
  EXPECT_EQ(h.bytesAt(90, 50), std::vector<uint8_t>(contents_.begin() + 90, contents_.end()));
  EXPECT_EQ(h.bytesAt(0, std::numeric_limits<size_t>::max()), contents_);  // no such allocation
  EXPECT_TRUE(h.bytesAt(100, 5).empty());
  EXPECT_TRUE(h.bytesAt(~uint64_t{0} - 2, 10).empty());
  EXPECT_TRUE(h.bytesAt(5, 0).empty());
  EXPECT_EQ(h.position(), 7);  // looking aside leaves the reader where it was
}

TEST_P(FileHandleTest, AClosedHandleReadsNothing) {
  FileHandle h;
  ASSERT_TRUE(open(h));
  h.close();
  uint8_t b = 0;
  EXPECT_FALSE(h.isOpen());
  EXPECT_EQ(h.read(&b, 1), -1);
  EXPECT_FALSE(h.seek(0));
  EXPECT_EQ(h.length(), -1);
  EXPECT_TRUE(h.bytesAt(0, 1).empty());
}

INSTANTIATE_TEST_SUITE_P(FileAndMemory, FileHandleTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Memory" : "File"; });

TEST(MemoryFileHandle, NoBytesAreAnEmptyFile) {
  FileHandle h;
  ASSERT_TRUE(h.open(FileSource::memory({})));
  EXPECT_TRUE(h.isOpen());
  EXPECT_EQ(h.length(), 0);
  uint8_t b = 0;
  EXPECT_EQ(h.read(&b, 1), 0);
  EXPECT_TRUE(h.bytesAt(0, 1).empty());
}

}  // namespace
