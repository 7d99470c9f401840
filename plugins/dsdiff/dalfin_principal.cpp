// The DSDIFF plug-in's principal and entry point.
#include <cstring>
#include <new>

#include "plugins/common/principal_properties.h"
#include "plugins/dsdiff/dalfin.h"

namespace sonara::dsdiff {
namespace {

class DalfinPrincipal final : public plugin::Principal {
 public:
  Value getProperties() noexcept override {
    try {
      return plugin::decoderProperties("DSDIFF Decoder", {"dff"});
    } catch (...) {
      return Value();
    }
  }
  // Every path goes to the one class; its score validates the header.
  const plugin::DecoderClass* findDecoderClassByPath(const std::string&) noexcept override {
    return &decoder_class_;
  }

 private:
  DalfinClass decoder_class_;
};

}  // namespace
}  // namespace sonara::dsdiff

extern "C" __attribute__((visibility("default"))) sonara::plugin::Principal* SONARA_PLUGIN_ENTRY(
    const char* principal_class) {
  if (!principal_class || std::strcmp(principal_class, "DalfinPrincipal") != 0) return nullptr;
  return new (std::nothrow) sonara::dsdiff::DalfinPrincipal();
}
