// The DSF plug-in's principal and entry point.
#include <cstring>
#include <new>

#include "plugins/common/principal_properties.h"
#include "plugins/dsf/selvet.h"

namespace sonara::dsf {
namespace {

class SelvetPrincipal final : public plugin::Principal {
 public:
  Value getProperties() noexcept override {
    try {
      return plugin::decoderProperties("DSF Decoder", {"dsf"});
    } catch (...) {
      return Value();
    }
  }
  // Every path goes to the one class; its score validates the header.
  const plugin::DecoderClass* findDecoderClassByPath(const std::string&) noexcept override {
    return &decoder_class_;
  }

 private:
  SelvetClass decoder_class_;
};

}  // namespace
}  // namespace sonara::dsf

extern "C" __attribute__((visibility("default"))) sonara::plugin::Principal* SONARA_PLUGIN_ENTRY(
    const char* principal_class) {
  if (!principal_class || std::strcmp(principal_class, "SelvetPrincipal") != 0) return nullptr;
  return new (std::nothrow) sonara::dsf::SelvetPrincipal();
}
