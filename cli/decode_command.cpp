// pelmora-cli decode: runs a decoder the way the play engine does and writes the
// delivered 32-bit floats, interleaved, little-endian, as raw bytes.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/commands.h"
#include "cli/file_check.h"
#include "engine/plugin/decoder_host.h"
#include "engine/plugin/plugin_manager.h"

namespace pelmora::cli {

int decodeToFile(const DecodeRequest& request) {
  // Reasons found before any decoder opens the file: it never blocks on a FIFO.
  if (const std::string problem = fileProblem(request.file); !problem.empty()) {
    std::fprintf(stderr, "pelmora-cli: %s: %s\n", request.file.c_str(), problem.c_str());
    return 1;
  }
  sonara::PluginManager::initializePluginList();
  sonara::OpenFailure failure;
  auto opened = sonara::openDecoder(sonara::PluginManager::sharedInstance(), request.file,
                                    nullptr, &failure);
  if (!opened) {
    std::fprintf(stderr, "pelmora-cli: %s: %s\n", request.file.c_str(), failure.reason.c_str());
    return failure.status != 0 ? 3 : 1;
  }
  auto& decoder = *opened->decoder;
  const uint32_t channels = decoder.getChannels();
  const uint32_t preferred = decoder.getPreferredBufferSize();
  if (channels == 0 || preferred == 0) {
    std::fprintf(stderr, "pelmora-cli: %s: the decoder reports no channels or no request size\n", request.file.c_str());
    return 3;
  }
  const double duration_s = static_cast<double>(decoder.getDuration()) / 1e9;
  if (duration_s > 0 && request.start_s >= duration_s) {
    std::fprintf(stderr, "pelmora-cli: --start %g is past the end of %s (%.3f s)\n", request.start_s,
                 request.file.c_str(), duration_s);
    return 2;
  }
  if (request.start_s > 0) {
    if (!decoder.supportsSeek()) {
      std::fprintf(stderr, "pelmora-cli: %s: the decoder cannot seek\n", request.file.c_str());
      return 3;
    }
    if (int32_t s = decoder.seek(sonara::seekTimeOf(request.start_s)); s != 0) {
      std::fprintf(stderr, "pelmora-cli: %s: seek failed (status %d)\n", request.file.c_str(), s);
      return 3;
    }
  }
  sonara::DecodeWindow window(request.start_s, request.length_s, preferred,
                              decoder.getSamplingRate(), channels);
  FILE* out = std::fopen(request.output.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "pelmora-cli: cannot write %s: %s\n", request.output.c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::vector<float> buffer(window.chunk());
  int result = 0;
  for (;;) {
    uint32_t n = window.requestSize(decoder.getTimestamp());
    if (n == 0) break;
    int32_t status = decoder.getNextSamples(buffer.data(), &n);
    if (status != 0) {
      std::fprintf(stderr, "pelmora-cli: %s: decoding failed (status %d)\n", request.file.c_str(),
                   status);
      result = 3;
      break;
    }
    if (n == 0) break;
    // x86 and ARM Linux are little-endian: the floats go out as they are in memory.
    if (std::fwrite(buffer.data(), sizeof(float), n, out) != n) {
      std::fprintf(stderr, "pelmora-cli: cannot write %s\n", request.output.c_str());
      result = 1;
      break;
    }
  }
  if (std::fclose(out) != 0 && result == 0) result = 1;
  return result;
}

}  // namespace pelmora::cli
