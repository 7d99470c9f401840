// Opens and reads a DSF file made of arbitrary bytes.
#include "fuzz/fuzz_decoder.h"
#include "fuzz/fuzz_input_file.h"
#include "plugins/dsf/selvet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  attachQuietHost();
  FuzzInputFile file(data, size);
  if (!file.ok()) return 0;
  std::string path = file.path();
  (void)sonara::dsf::Selvet::getScoreByPath(path);
  sonara::dsf::Selvet decoder;
  if (decoder.openByPath(path, nullptr) == 0) exerciseDecoder(decoder);
  return 0;
}
