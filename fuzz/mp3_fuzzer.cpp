// Opens and reads arbitrary bytes as an MPEG audio stream, with the near-silence
// trimming on so that both window analyses run.
#include "fuzz/fuzz_decoder.h"
#include "fuzz/fuzz_input_file.h"
#include "plugins/system/audio_toolbox_mp3_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  attachQuietHost();
  FuzzInputFile file(data, size);
  if (!file.ok()) return 0;
  const sonara::Dict options{{sonara::plugin::kOptionMp3ThresholdDb, sonara::Value(-60.0)}};
  sonara::tessor::AudioToolboxMP3Decoder decoder;
  if (decoder.openByPath(file.path(), &options) == 0) exerciseDecoder(decoder);
  return 0;
}
