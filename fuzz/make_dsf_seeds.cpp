// Writes a few valid DSF files as the fuzzer's starting corpus.
#include <string>

#include "support/dsf_writer.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string dir = argv[1];
  DsfSetup stereo;
  stereo.audio = patternAudio(2, 5000);
  stereo.id3 = buildId3({{"TIT2", "seed"}, {"TPE1", "seed"}});
  writeFile(dir + "/stereo.dsf", buildDsf(stereo));
  DsfSetup mono;
  mono.channels = 1;
  mono.block_size = 64;
  mono.bits_per_sample = 8;
  mono.audio = patternAudio(1, 300);
  writeFile(dir + "/mono.dsf", buildDsf(mono));
  DsfSetup quad;
  quad.channels = 4;
  quad.channel_type = 4;
  quad.block_size = 32;
  quad.audio = patternAudio(4, 100);
  writeFile(dir + "/quad.dsf", buildDsf(quad));
  return 0;
}
