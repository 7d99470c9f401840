// Writes a few valid DSDIFF files as the fuzzer's starting corpus.
#include <string>

#include "support/dsdiff_writer.h"
#include "support/dsf_writer.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string dir = argv[1];
  DffSetup stereo;
  stereo.audio = patternAudio(2, 5000);
  stereo.id3 = buildId3({{"TIT2", "seed"}, {"TPE1", "seed"}});
  stereo.comments = {{2024, 1, 2, 3, 4, 0, 0, "odd"}, {2024, 1, 2, 3, 4, 3, 1, "even"}};
  writeFile(dir + "/stereo.dff", buildDff(stereo));
  DffSetup mono;
  mono.channels = 1;
  mono.audio = patternAudio(1, 300);
  mono.title = "title";
  mono.artist = "artist";
  mono.emid = "emid";
  writeFile(dir + "/mono.dff", buildDff(mono));
  DffSetup six;
  six.channels = 6;
  six.frequency = 5644800;
  six.audio = patternAudio(6, 100);
  writeFile(dir + "/six.dff", buildDff(six));
  DffSetup dst;
  dst.dst = true;
  dst.audio = patternAudio(2, 64);
  writeFile(dir + "/dst.dff", buildDff(dst));
  return 0;
}
