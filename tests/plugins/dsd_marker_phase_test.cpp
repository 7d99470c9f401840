// The DoP marker alternation goes on from a track of one DSD plug-in to a track of
// the other, both loaded as the engine loads them.
#include <gtest/gtest.h>

#include "engine/plugin/decoder_host.h"
#include "engine/plugin/plugin_manager.h"
#include "support/dop.h"
#include "support/dsdiff_writer.h"
#include "support/dsf_writer.h"
#include "support/temp_dir.h"

namespace {

// Every frame's marker of the whole track, read with requests of `request` values.
std::vector<uint8_t> markersOf(const std::string& path, const char* decoder_class, uint32_t request) {
  sonara::PluginManager::initializePluginList();
  auto opened = sonara::openDecoder(sonara::PluginManager::sharedInstance(), path, nullptr, nullptr);
  EXPECT_TRUE(opened) << path;
  if (!opened) return {};
  EXPECT_STREQ(opened->decoder_class->className(), decoder_class);
  auto& d = *opened->decoder;
  const uint32_t channels = d.getChannels();
  std::vector<uint8_t> markers;
  std::vector<float> buf(request);
  for (int guard = 0; guard < 100000; ++guard) {
    uint32_t n = request;
    EXPECT_EQ(d.getNextSamples(buf.data(), &n), 0);
    if (n == 0) break;
    for (uint32_t i = 0; i < n; i += channels) markers.push_back(markerOf(doPWord(buf[i])));
  }
  return markers;
}

TEST(DsdMarkerPhase, GoesOnFromADsfTrackToADsdiffTrackAndBack) {
  TempDir dir;
  DsfSetup dsf;
  dsf.audio = patternAudio(2, 4096 + 202);  // an odd number of frames: 2149
  writeFile(dir.file("a.dsf"), buildDsf(dsf));
  DffSetup dff;
  dff.audio = patternAudio(2, 3001 * 2);  // 3001 frames
  writeFile(dir.file("b.dff"), buildDff(dff));

  std::vector<uint8_t> all;
  for (auto [path, cls] : {std::pair{"a.dsf", "Selvet"}, std::pair{"b.dff", "Dalfin"}, std::pair{"a.dsf", "Selvet"}}) {
    auto markers = markersOf(dir.file(path), cls, 2 * 1001);
    ASSERT_FALSE(markers.empty()) << path;
    all.insert(all.end(), markers.begin(), markers.end());
  }
  ASSERT_EQ(all.size(), 2149u + 3001u + 2149u);
  for (size_t i = 1; i < all.size(); ++i) {
    ASSERT_EQ(all[i], static_cast<uint8_t>(~all[i - 1])) << "frame " << i;
  }
}

}  // namespace
