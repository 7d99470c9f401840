// One JSON object per line, for scripts that read the headless player's output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::cli {

class JsonObject {
 public:
  JsonObject& add(std::string_view key, std::string_view value);
  JsonObject& add(std::string_view key, const char* value) { return add(key, std::string_view(value)); }
  JsonObject& add(std::string_view key, bool value);
  JsonObject& add(std::string_view key, int64_t value);
  JsonObject& add(std::string_view key, uint64_t value) { return add(key, static_cast<int64_t>(value)); }
  JsonObject& add(std::string_view key, int value) { return add(key, static_cast<int64_t>(value)); }
  JsonObject& add(std::string_view key, unsigned value) { return add(key, static_cast<int64_t>(value)); }
  JsonObject& add(std::string_view key, double value);
  JsonObject& add(std::string_view key, const std::vector<std::string>& values);
  JsonObject& addNull(std::string_view key);
  std::string str() const { return body_ + "}"; }

 private:
  void key(std::string_view k);
  std::string body_ = "{";
};

std::string jsonQuote(std::string_view text);

}  // namespace pelmora::cli
