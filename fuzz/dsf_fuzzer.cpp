// Scores, opens and reads a DSF file made of arbitrary bytes, served from memory.
#include "fuzz/fuzz_decoder.h"
#include "plugins/dsf/selvet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  attachQuietHost();
  const auto source = sonara::io::FileSource::memory({data, size});
  (void)sonara::dsf::Selvet::getScore(source);
  sonara::dsf::Selvet decoder;
  if (decoder.openSource(source) == 0) exerciseDecoder(decoder);
  return 0;
}
