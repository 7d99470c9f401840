// Scores, opens and reads a DSDIFF file made of arbitrary bytes.
#include "fuzz/fuzz_decoder.h"
#include "fuzz/fuzz_input_file.h"
#include "plugins/dsdiff/dalfin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  attachQuietHost();
  FuzzInputFile file(data, size);
  if (!file.ok()) return 0;
  std::string path = file.path();
  (void)sonara::dsdiff::Dalfin::getScoreByPath(path);
  sonara::dsdiff::Dalfin decoder;
  if (decoder.openByPath(path, nullptr) == 0) {
    decoder.setChannels(2);
    exerciseDecoder(decoder);
  }
  return 0;
}
