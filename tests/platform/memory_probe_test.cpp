// The machine's available memory as RAM play mode reads it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/memory_probe.h"
#include "support/temp_dir.h"

namespace {

using sonara::platform::parseMemAvailable;

TEST(MemoryProbe, ReadsMemAvailableNotMemFree) {
  const char* meminfo =
      "MemTotal:       16318480 kB\n"
      "MemFree:          512000 kB\n"
      "MemAvailable:    9437184 kB\n"
      "Buffers:          204800 kB\n";
  EXPECT_EQ(parseMemAvailable(meminfo), std::optional<uint64_t>(uint64_t{9437184} * 1024));
}

TEST(MemoryProbe, MalformedOrMissingLinesGiveNothing) {
  EXPECT_EQ(parseMemAvailable(""), std::nullopt);
  EXPECT_EQ(parseMemAvailable("MemFree: 100 kB\n"), std::nullopt);
  EXPECT_EQ(parseMemAvailable("MemAvailable: kB\n"), std::nullopt);
  EXPECT_EQ(parseMemAvailable("MemAvailable: 100"), std::nullopt);
  EXPECT_EQ(parseMemAvailable("MemAvailable: 99999999999999999999999 kB\n"), std::nullopt);
  EXPECT_EQ(parseMemAvailable("XMemAvailable: 5 kB\n"), std::nullopt);
}

TEST(MemoryProbe, TheRunningKernelSaysHowMuchIsAvailable) {
  auto available = sonara::platform::availablePhysicalMemory();
  ASSERT_TRUE(available.has_value());
  EXPECT_GT(*available, 0u);
}

// A desktop session in a systemd slice, a container under cgroup v1: the limit
// closest to the process counts, whichever level of its groups sets it.
class ControlGroupLimits : public ::testing::Test {
 protected:
  void put(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(dir_.file(path)).parent_path());
    std::ofstream(dir_.file(path)) << text;
  }
  std::optional<uint64_t> headroom(const std::string& proc_self_cgroup) {
    return sonara::platform::controlGroupHeadroom(sonara::platform::memoryLimitFiles(proc_self_cgroup, dir_.path()));
  }
  TempDir dir_;
};

TEST_F(ControlGroupLimits, AParentGroupsLimitCountsForTheProcess) {
  put("user.slice/app/memory.max", "max\n");
  put("user.slice/app/memory.current", "1000\n");
  put("user.slice/memory.max", "1073741824\n");
  put("user.slice/memory.current", "268435456\n");
  EXPECT_EQ(headroom("0::/user.slice/app\n"), std::optional<uint64_t>(805306368));
  // Used beyond the limit (reclaim pending): no room at all.
  put("user.slice/memory.current", "2000000000\n");
  EXPECT_EQ(headroom("0::/user.slice/app\n"), std::optional<uint64_t>(0));
}

TEST_F(ControlGroupLimits, TheVersion1MemoryControllerIsReadToo) {
  put("memory/docker/abc/memory.limit_in_bytes", "9223372036854771712\n");  // no limit
  put("memory/docker/abc/memory.usage_in_bytes", "5\n");
  put("memory/docker/memory.limit_in_bytes", "536870912\n");
  put("memory/docker/memory.usage_in_bytes", "136870912\n");
  EXPECT_EQ(headroom("5:devices:/docker/abc\n4:cpu,memory:/docker/abc\n0::/\n"),
            std::optional<uint64_t>(400000000));
}

TEST_F(ControlGroupLimits, NoLimitOrNoReadableGroupGivesNothing) {
  put("a/memory.max", "max\n");
  EXPECT_EQ(headroom("0::/a\n"), std::nullopt);
  EXPECT_EQ(headroom(""), std::nullopt);
  put("memory.max", "lots\n");
  EXPECT_EQ(headroom("0::/\n"), std::nullopt);
  // Malformed lines and paths that climb out of the mount are passed over.
  put("x/memory.max", "10\n");
  EXPECT_EQ(headroom("garbage\n0:/a\n0::relative\n0::/a/../x\n"), std::nullopt);
}

}  // namespace
