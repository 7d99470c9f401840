// A small value type for the dictionaries, arrays and numbers exchanged between the
// engine and its decoder plug-ins (plug-in properties, metadata lists, decoder
// options) and for the engine's own string-keyed records.
//
// Header-only so that a plug-in needs nothing but this folder to build.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace sonara {

class Value;
using Array = std::vector<Value>;
using Dict = std::map<std::string, Value, std::less<>>;

class Value {
 public:
  enum class Kind { Null, Bool, Integer, Real, String, Array, Dict };

  Value() = default;
  Value(bool b) : v_(b) {}
  Value(int i) : v_(static_cast<int64_t>(i)) {}
  Value(unsigned u) : v_(static_cast<int64_t>(u)) {}
  Value(long i) : v_(static_cast<int64_t>(i)) {}
  Value(long long i) : v_(static_cast<int64_t>(i)) {}
  Value(unsigned long u) : v_(static_cast<int64_t>(u)) {}
  Value(unsigned long long u) : v_(static_cast<int64_t>(u)) {}
  Value(double d) : v_(d) {}
  Value(float f) : v_(static_cast<double>(f)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(sonara::Array a) : v_(std::move(a)) {}
  Value(sonara::Dict d) : v_(std::move(d)) {}

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool isNull() const { return kind() == Kind::Null; }
  bool isBool() const { return kind() == Kind::Bool; }
  bool isString() const { return kind() == Kind::String; }
  bool isArray() const { return kind() == Kind::Array; }
  bool isDict() const { return kind() == Kind::Dict; }
  // Booleans count as numbers, as they do in property lists read by most toolkits.
  bool isNumber() const {
    return kind() == Kind::Integer || kind() == Kind::Real || kind() == Kind::Bool;
  }
  bool isInteger() const { return kind() == Kind::Integer; }
  bool isReal() const { return kind() == Kind::Real; }

  // Numeric reads convert between kinds; a real is truncated toward zero.
  int64_t asInt() const {
    switch (kind()) {
      case Kind::Integer: return std::get<int64_t>(v_);
      case Kind::Real: return truncate(std::get<double>(v_));
      case Kind::Bool: return std::get<bool>(v_) ? 1 : 0;
      default: return 0;
    }
  }
  double asDouble() const {
    switch (kind()) {
      case Kind::Integer: return static_cast<double>(std::get<int64_t>(v_));
      case Kind::Real: return std::get<double>(v_);
      case Kind::Bool: return std::get<bool>(v_) ? 1.0 : 0.0;
      default: return 0.0;
    }
  }
  bool asBool() const { return asDouble() != 0.0; }

  const std::string& asString() const {
    static const std::string empty;
    return isString() ? std::get<std::string>(v_) : empty;
  }
  const sonara::Array& asArray() const {
    static const sonara::Array empty;
    return isArray() ? std::get<sonara::Array>(v_) : empty;
  }
  const sonara::Dict& asDict() const {
    static const sonara::Dict empty;
    return isDict() ? std::get<sonara::Dict>(v_) : empty;
  }
  sonara::Array& mutableArray() {
    if (!isArray()) v_ = sonara::Array{};
    return std::get<sonara::Array>(v_);
  }
  sonara::Dict& mutableDict() {
    if (!isDict()) v_ = sonara::Dict{};
    return std::get<sonara::Dict>(v_);
  }

  // Dictionary lookup; a missing key or a non-dictionary yields a null value.
  const Value& operator[](std::string_view key) const {
    static const Value null;
    if (!isDict()) return null;
    const auto& d = std::get<sonara::Dict>(v_);
    auto it = d.find(key);
    return it == d.end() ? null : it->second;
  }

  friend bool operator==(const Value& a, const Value& b) { return a.v_ == b.v_; }

 private:
  static int64_t truncate(double d) {
    if (!(d == d)) return 0;  // NaN
    if (d >= 9.2233720368547758e18) return INT64_MAX;
    if (d <= -9.2233720368547758e18) return INT64_MIN;
    return static_cast<int64_t>(d);
  }

  std::variant<std::monostate, bool, int64_t, double, std::string, sonara::Array,
               sonara::Dict>
      v_;
};

// Lookup in a plain dictionary; a missing key yields a null value.
inline const Value& lookup(const Dict& d, std::string_view key) {
  static const Value null;
  auto it = d.find(key);
  return it == d.end() ? null : it->second;
}

}  // namespace sonara
