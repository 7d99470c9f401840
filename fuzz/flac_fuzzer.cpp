// Opens and reads a FLAC stream made of arbitrary bytes.
#include "fuzz/fuzz_decoder.h"
#include "fuzz/fuzz_input_file.h"
#include "plugins/flac/mirrane.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  attachQuietHost();
  FuzzInputFile file(data, size);
  if (!file.ok()) return 0;
  sonara::flac::Mirrane decoder;
  if (decoder.openByPath(file.path(), nullptr) == 0) exerciseDecoder(decoder);
  return 0;
}
