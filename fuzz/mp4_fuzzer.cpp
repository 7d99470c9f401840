// Opens and reads arbitrary bytes as an MP4 file of Apple Lossless audio.
#include "fuzz/fuzz_decoder.h"
#include "fuzz/fuzz_input_file.h"
#include "plugins/system/audio_toolbox_mp4_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  attachQuietHost();
  FuzzInputFile file(data, size);
  if (!file.ok()) return 0;
  sonara::tessor::AudioToolboxMP4Decoder decoder;
  if (decoder.openByPath(file.path(), nullptr) == 0) exerciseDecoder(decoder);
  return 0;
}
