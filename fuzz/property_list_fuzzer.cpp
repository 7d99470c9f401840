// Reads arbitrary bytes as an XML property list (settings, bundle descriptions) and
// as a virtual device file.
#include <string_view>

#include "platform/audio/virtual_device_setup.h"
#include "platform/property_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto value = sonara::platform::parsePropertyList(text)) {
    (void)sonara::platform::toXmlPropertyList(*value);
  }
  if (auto settings = sonara::platform::parsePropertyListDictionary(text)) {
    (void)sonara::platform::toXmlPropertyList(settings->values, settings->raw);
  }
  std::string error;
  (void)sonara::audio::parseVirtualDevices(std::string(text), &error);
  return 0;
}
