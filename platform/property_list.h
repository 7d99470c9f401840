// XML property lists: dictionaries, arrays, strings, numbers and booleans written and
// read back unchanged. Strings and keys are written as valid UTF-8: bytes that are
// not part of a UTF-8 sequence are taken as Latin-1 characters. A dictionary file may also hold what the engine's values cannot
// (dates, data, unsigned integers above the signed range); those entries are kept as
// read and written back unchanged.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "plugin/value.h"

namespace sonara::platform {

// The top-level value, or nothing when the text is not a well-formed property list.
// Arrays and dictionaries nested more than 64 deep are refused before the text is
// parsed; `why` (when given) then says so.
std::optional<Value> parsePropertyList(std::string_view xml, std::string* why = nullptr);
std::string toXmlPropertyList(const Value& root);

// One top-level entry kept exactly as it was read, because a value cannot hold it.
class RawPropertyListEntry {
 public:
  explicit RawPropertyListEntry(void* node);  // takes a copy of the libplist node
  ~RawPropertyListEntry();
  RawPropertyListEntry(const RawPropertyListEntry&) = delete;
  RawPropertyListEntry& operator=(const RawPropertyListEntry&) = delete;
  void* node() const { return node_; }

 private:
  void* node_;
};

// A dictionary file: every entry as a value (dates and data read as null), and the
// entries a value cannot hold exactly, by key, as read.
struct PropertyListDictionary {
  Dict values;
  std::map<std::string, std::shared_ptr<const RawPropertyListEntry>, std::less<>> raw;
};

// Nothing when the text is not a well-formed property list with a dictionary on top.
std::optional<PropertyListDictionary> parsePropertyListDictionary(std::string_view xml,
                                                                  std::string* why = nullptr);
// The dictionary of `values`, where each key of `raw` is written as it was read.
std::string toXmlPropertyList(const Dict& values,
                              const std::map<std::string, std::shared_ptr<const RawPropertyListEntry>,
                                             std::less<>>& raw);

}  // namespace sonara::platform
