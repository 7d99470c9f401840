// Opens and reads a DSF file made of arbitrary bytes.
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_input_file.h"
#include "platform/log.h"
#include "plugins/dsf/selvet.h"

namespace {
void quiet(const char*, void*) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sonara::platform::setLogSink(quiet, nullptr);
  FuzzInputFile file(data, size);
  if (!file.ok()) return 0;
  std::string path = file.path("dsf");
  (void)sonara::dsf::Selvet::getScoreByPath(path);
  sonara::dsf::Selvet decoder;
  if (decoder.openByPath(path, nullptr) != 0) return 0;
  (void)decoder.getMetaData();
  (void)decoder.getDuration();
  uint32_t channels = decoder.getChannels();
  uint32_t preferred = decoder.getPreferredBufferSize();
  if (channels == 0 || preferred == 0 || preferred > (1u << 16)) return 0;
  std::vector<float> buffer(size_t{channels} * preferred);
  auto drain = [&] {
    for (int calls = 0; calls < 4096; ++calls) {
      uint32_t n = static_cast<uint32_t>(buffer.size());
      if (decoder.getNextSamples(buffer.data(), &n) != 0 || n == 0) break;
      (void)decoder.getTimestamp();
    }
  };
  drain();
  decoder.seek(decoder.getDuration() / 2);
  drain();
  decoder.seek(~uint64_t{0});
  drain();
  uint32_t n = static_cast<uint32_t>(buffer.size());
  decoder.getDummySamples(buffer.data(), &n);
  return 0;
}
