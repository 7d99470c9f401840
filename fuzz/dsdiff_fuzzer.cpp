// Scores, opens and reads a DSDIFF file made of arbitrary bytes, served from memory.
#include "fuzz/fuzz_decoder.h"
#include "plugins/dsdiff/dalfin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  attachQuietHost();
  const auto source = sonara::io::FileSource::memory({data, size});
  (void)sonara::dsdiff::Dalfin::getScore(source);
  sonara::dsdiff::Dalfin decoder;
  if (decoder.openSource(source) == 0) {
    decoder.setChannels(2);
    exerciseDecoder(decoder);
  }
  return 0;
}
