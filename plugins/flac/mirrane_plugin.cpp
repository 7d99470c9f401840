// The FLAC plug-in's principal and entry point.
#include <cstring>
#include <new>

#include "plugins/common/principal_properties.h"
#include "plugins/flac/mirrane.h"

namespace sonara::flac {
namespace {

class MirranePlugin final : public plugin::Principal {
 public:
  Value getProperties() noexcept override {
    try {
      return plugin::decoderProperties("MirranePlugin", {"flac"});
    } catch (...) {
      return Value();
    }
  }
  const plugin::DecoderClass* findDecoderClassByPath(const std::string& path) noexcept override {
    return canDecodeFlacFile(path) ? &decoder_class_ : nullptr;
  }

 private:
  MirraneClass decoder_class_;
};

}  // namespace
}  // namespace sonara::flac

extern "C" __attribute__((visibility("default"))) sonara::plugin::Principal* SONARA_PLUGIN_ENTRY(
    const char* principal_class) {
  if (!principal_class || std::strcmp(principal_class, "MirranePlugin") != 0) return nullptr;
  return new (std::nothrow) sonara::flac::MirranePlugin();
}
