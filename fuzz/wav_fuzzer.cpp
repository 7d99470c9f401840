// Chooses a decoder for arbitrary bytes as the system codecs plug-in does, then opens
// and reads them as a WAV or AIFF file.
#include "fuzz/fuzz_decoder.h"
#include "fuzz/fuzz_input_file.h"
#include "plugins/system/audio_format_probe.h"
#include "plugins/system/audio_toolbox_wav_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  attachQuietHost();
  FuzzInputFile file(data, size);
  if (!file.ok()) return 0;
  (void)sonara::tessor::probeAudioFormat(file.path());
  sonara::tessor::AudioToolboxWavDecoder decoder;
  if (decoder.openByPath(file.path(), nullptr) == 0) exerciseDecoder(decoder);
  return 0;
}
