// The machine's available memory as RAM play mode reads it.
#include <gtest/gtest.h>

#include "platform/memory_probe.h"

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

}  // namespace
