// XML property lists: dictionaries, arrays, strings, numbers and booleans written and
// read back unchanged.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "plugin/value.h"

namespace sonara::platform {

// The top-level value, or nothing when the text is not a well-formed property list.
std::optional<Value> parsePropertyList(std::string_view xml);
std::string toXmlPropertyList(const Value& root);

}  // namespace sonara::platform
