#include "platform/property_list.h"

#include <plist/plist.h>

#include <cstdlib>
#include <limits>

namespace sonara::platform {
namespace {

// Nesting deeper than this is refused: a crafted file must not exhaust the stack.
constexpr int kMaxDepth = 64;

bool fromNode(plist_t node, Value& out, int depth) {
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
        if (!fromNode(plist_array_get_item(node, i), v, depth + 1)) return false;
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
        if (!fromNode(item, v, depth + 1)) ok = false;
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
      out = Value();
      return true;
  }
}

plist_t toNode(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Bool: return plist_new_bool(v.asBool() ? 1 : 0);
    case Value::Kind::Integer: return plist_new_uint(static_cast<uint64_t>(v.asInt()));
    case Value::Kind::Real: return plist_new_real(v.asDouble());
    case Value::Kind::String: return plist_new_string(v.asString().c_str());
    case Value::Kind::Array: {
      plist_t a = plist_new_array();
      for (const auto& item : v.asArray()) plist_array_append_item(a, toNode(item));
      return a;
    }
    case Value::Kind::Dict: {
      plist_t d = plist_new_dict();
      for (const auto& [key, item] : v.asDict()) plist_dict_set_item(d, key.c_str(), toNode(item));
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

}  // namespace

std::optional<Value> parsePropertyList(std::string_view xml) {
  if (xml.empty() || xml.size() > std::numeric_limits<uint32_t>::max() || holdsNul(xml)) return std::nullopt;
  plist_t root = nullptr;
  plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
  if (!root) return std::nullopt;
  Value out;
  bool ok = fromNode(root, out, 0);
  plist_free(root);
  if (!ok) return std::nullopt;
  return out;
}

std::string toXmlPropertyList(const Value& root) {
  plist_t node = toNode(root);
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(node, &xml, &length);
  std::string out(xml ? xml : "", length);
  std::free(xml);
  plist_free(node);
  return out;
}

}  // namespace sonara::platform
