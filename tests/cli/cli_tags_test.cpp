// pelmora-cli info on files whose tags carry large pictures.
#include <gtest/gtest.h>

#include "support/dsf_writer.h"
#include "support/id3_tag.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

const std::string kCli = PELMORA_CLI_PATH;

TEST(CliTags, ADsfWithSeventeenMebibytesOfCoverArtShowsItsTitleAndArtist) {
  TempDir dir;
  DsfSetup setup;
  setup.audio = patternAudio(2, 4096);
  setup.id3 = tagWithHugeCover(3, 17u << 20);
  writeFile(dir.file("cover.dsf"), buildDsf(setup));
  auto r = runCommand("SONARA_DEFAULTS=" + dir.file("d.plist") + " " + kCli + " info " + dir.file("cover.dsf") +
                      " 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("title     Cover Story"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Big Art Band"), std::string::npos) << r.out;
}

}  // namespace
