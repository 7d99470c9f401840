#include "platform/property_list.h"

#include <plist/plist.h>

#include <cstdlib>
#include <string>
#include <limits>

#include "platform/text/utf8.h"

namespace sonara::platform {
namespace {

// Nesting deeper than this is refused: a crafted file must not exhaust the stack.
constexpr int kMaxDepth = 64;

// `exact` is cleared when the value cannot stand for the node as it is in the file.
bool fromNode(plist_t node, Value& out, int depth, bool* exact = nullptr) {
  if (depth > kMaxDepth) return false;
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      out = Value(b != 0);
      return true;
    }
    case PLIST_UINT: {
      uint64_t u = 0;
      plist_get_uint_val(node, &u);
      // Written either as a negative or as a large unsigned number: keep it as read.
      if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) && exact) *exact = false;
      out = Value(static_cast<int64_t>(u));
      return true;
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      out = Value(d);
      return true;
    }
    case PLIST_STRING: {
      uint64_t length = 0;
      const char* s = plist_get_string_ptr(node, &length);
      out = Value(std::string(s ? s : "", s ? static_cast<size_t>(length) : 0));
      return true;
    }
    case PLIST_ARRAY: {
      Array a;
      uint32_t n = plist_array_get_size(node);
      a.reserve(n);
      for (uint32_t i = 0; i < n; ++i) {
        Value v;
        if (!fromNode(plist_array_get_item(node, i), v, depth + 1, exact)) return false;
        a.push_back(std::move(v));
      }
      out = Value(std::move(a));
      return true;
    }
    case PLIST_DICT: {
      Dict d;
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(node, &it);
      bool ok = true;
      for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, it, &key, &item);
        if (!item) {
          std::free(key);
          break;
        }
        Value v;
        if (!fromNode(item, v, depth + 1, exact)) ok = false;
        if (ok && key) d[key] = std::move(v);
        std::free(key);
        if (!ok) break;
      }
      std::free(it);
      out = Value(std::move(d));
      return ok;
    }
    default:
      // Dates, data and UIDs have no place in the engine's records.
      if (exact) *exact = false;
      out = Value();
      return true;
  }
}

plist_t toNode(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Bool: return plist_new_bool(v.asBool() ? 1 : 0);
    case Value::Kind::Integer: return plist_new_uint(static_cast<uint64_t>(v.asInt()));
    case Value::Kind::Real: return plist_new_real(v.asDouble());
    case Value::Kind::String: return plist_new_string(text::validUtf8(v.asString()).c_str());
    case Value::Kind::Array: {
      plist_t a = plist_new_array();
      for (const auto& item : v.asArray()) plist_array_append_item(a, toNode(item));
      return a;
    }
    case Value::Kind::Dict: {
      plist_t d = plist_new_dict();
      for (const auto& [key, item] : v.asDict()) plist_dict_set_item(d, text::validUtf8(key).c_str(), toNode(item));
      return d;
    }
    case Value::Kind::Null: break;
  }
  return plist_new_string("");
}

// XML allows no NUL character, raw or as a character reference; libplist aborts on
// strings and keys that hold one, so such text is refused before it gets there.
bool holdsNul(std::string_view xml) {
  if (xml.find('\0') != std::string_view::npos) return true;
  for (size_t at = xml.find("&#"); at != std::string_view::npos; at = xml.find("&#", at + 2)) {
    size_t p = at + 2;
    bool hex = p < xml.size() && (xml[p] == 'x' || xml[p] == 'X');
    if (hex) ++p;
    while (p < xml.size() && xml[p] == '0') ++p;
    if (p < xml.size() && xml[p] == ';') return true;
  }
  return false;
}

bool startsTag(std::string_view xml, size_t at, std::string_view name) {
  if (xml.compare(at, name.size(), name) != 0) return false;
  const size_t after = at + name.size();
  return after < xml.size() && (xml[after] == '>' || xml[after] == ' ' || xml[after] == '\t' ||
                                xml[after] == '\n' || xml[after] == '\r' || xml[after] == '/');
}

// libplist parses and frees nested arrays and dictionaries by recursion, so a file
// of a few megabytes of "<array>" exhausts the stack before any value is looked at.
// The tags are counted first; comments or strings that look like tags can only make
// the count larger, which refuses a file no real list resembles anyway.
bool nestsTooDeeply(std::string_view xml) {
  int depth = 0;
  for (size_t at = xml.find('<'); at != std::string_view::npos; at = xml.find('<', at + 1)) {
    const size_t name = at + 1;
    if (startsTag(xml, name, "array") || startsTag(xml, name, "dict")) {
      const size_t close = xml.find('>', name);
      if (close == std::string_view::npos) return false;  // malformed: libplist refuses it
      if (xml[close - 1] == '/') continue;                // <array/>: empty
      if (++depth > kMaxDepth + 1) return true;
    } else if (startsTag(xml, name, "/array") || startsTag(xml, name, "/dict")) {
      if (depth > 0) --depth;
    }
  }
  return false;
}

plist_t parseRoot(std::string_view xml, std::string* why = nullptr) {
  if (xml.empty() || xml.size() > std::numeric_limits<uint32_t>::max() || holdsNul(xml)) return nullptr;
  if (nestsTooDeeply(xml)) {
    if (why) *why = "its arrays and dictionaries are nested more than " + std::to_string(kMaxDepth) + " deep";
    return nullptr;
  }
  plist_t root = nullptr;
  plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
  return root;
}

std::string xmlOf(plist_t node) {
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(node, &xml, &length);
  std::string out(xml ? xml : "", length);
  std::free(xml);
  return out;
}

}  // namespace

RawPropertyListEntry::RawPropertyListEntry(void* node) : node_(plist_copy(static_cast<plist_t>(node))) {}
RawPropertyListEntry::~RawPropertyListEntry() { plist_free(static_cast<plist_t>(node_)); }

std::optional<Value> parsePropertyList(std::string_view xml, std::string* why) {
  plist_t root = parseRoot(xml, why);
  if (!root) return std::nullopt;
  Value out;
  bool ok = fromNode(root, out, 0);
  plist_free(root);
  if (!ok) return std::nullopt;
  return out;
}

std::string toXmlPropertyList(const Value& root) {
  plist_t node = toNode(root);
  std::string out = xmlOf(node);
  plist_free(node);
  return out;
}

std::optional<PropertyListDictionary> parsePropertyListDictionary(std::string_view xml, std::string* why) {
  plist_t root = parseRoot(xml, why);
  if (!root) return std::nullopt;
  std::optional<PropertyListDictionary> out;
  if (plist_get_node_type(root) == PLIST_DICT) {
    out.emplace();
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(root, &it);
    for (;;) {
      char* key = nullptr;
      plist_t item = nullptr;
      plist_dict_next_item(root, it, &key, &item);
      if (!item) {
        std::free(key);
        break;
      }
      Value v;
      bool exact = true;
      const bool ok = fromNode(item, v, 1, &exact);
      if (ok && key) {
        if (!exact) out->raw[key] = std::make_shared<const RawPropertyListEntry>(item);
        out->values[key] = std::move(v);
      }
      std::free(key);
      if (!ok) {
        out.reset();
        break;
      }
    }
    std::free(it);
  }
  plist_free(root);
  return out;
}

std::string toXmlPropertyList(const Dict& values,
                              const std::map<std::string, std::shared_ptr<const RawPropertyListEntry>,
                                             std::less<>>& raw) {
  plist_t d = plist_new_dict();
  for (const auto& [key, item] : values) {
    auto kept = raw.find(key);
    plist_t node = kept != raw.end() ? plist_copy(static_cast<plist_t>(kept->second->node())) : toNode(item);
    plist_dict_set_item(d, key.c_str(), node);
  }
  std::string out = xmlOf(d);
  plist_free(d);
  return out;
}

}  // namespace sonara::platform
