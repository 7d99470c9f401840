// A plug-in built only for the tests, from the contract headers alone. Its principal
// class name is a recipe:
// "key=value;key=value", where keys override a valid set of properties:
//   null=1       the entry point yields nothing
//   name=, ifver=, prio=, ptype=, ctype=   a value, or "-" to leave the key out
//   exts=a|b     extensions; "exts=#" declares a number among them
//   props=none   getProperties returns no dictionary
//   score=N      the score its decoder class answers (default 100)
//   touch=PATH   creates PATH when asked for a decoder class
//   say=TEXT     logs TEXT through the host when asked for a decoder class, `times`
//   times=N      times (default 1)
//   hold=PATH    its decoder lasts 10 s and, asked for samples, creates PATH.held and
//                then blocks while PATH exists, as a read from a stalled share does;
//                a decoder that was held creates PATH.released when it is destroyed
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <map>
#include <new>
#include <sstream>

#include "plugin/decoder_plugin.h"

namespace {

using namespace sonara;

const SonaraHostServices* g_host = nullptr;

void say(const std::string& line) {
  // An older host's table may end after the log function: only what it holds is read.
  if (g_host && g_host->size >= offsetof(SonaraHostServices, log_line) + sizeof(g_host->log_line) &&
      g_host->log_line) {
    g_host->log_line(line.c_str());
  }
}

std::map<std::string, std::string> parseRecipe(const std::string& recipe) {
  std::map<std::string, std::string> out;
  std::stringstream in(recipe);
  std::string item;
  while (std::getline(in, item, ';')) {
    auto eq = item.find('=');
    if (eq != std::string::npos) out[item.substr(0, eq)] = item.substr(eq + 1);
  }
  return out;
}

class NullDecoder final : public plugin::Decoder {
 public:
  explicit NullDecoder(std::string hold = {}) : hold_(std::move(hold)) {}
  ~NullDecoder() override {
    if (!held_) return;
    int fd = ::open((hold_ + ".released").c_str(), O_CREAT | O_WRONLY, 0600);
    if (fd >= 0) ::close(fd);
  }
  int32_t openByPath(const std::string&, const Dict*) noexcept override { return 0; }
  Value getMetaData() noexcept override { return Value(Array{}); }
  uint64_t getDuration() noexcept override { return hold_.empty() ? 0 : 10'000'000'000ull; }
  float getSamplingRate() noexcept override { return 44100; }
  uint32_t getChannels() noexcept override { return 2; }
  uint32_t getBits() noexcept override { return 32; }
  uint32_t getFormat() noexcept override { return plugin::kFormatLpcm; }
  bool setSamplingRate(float) noexcept override { return false; }
  bool setChannels(uint32_t) noexcept override { return false; }
  bool setBits(uint32_t) noexcept override { return false; }
  uint32_t getBitRate() noexcept override { return 0; }
  uint32_t getPreferredBufferSize() noexcept override { return 1024; }
  int32_t getNextSamples(float*, uint32_t* size) noexcept override {
    if (!hold_.empty()) {
      held_ = true;
      int fd = ::open((hold_ + ".held").c_str(), O_CREAT | O_WRONLY, 0600);
      if (fd >= 0) ::close(fd);
      while (::access(hold_.c_str(), F_OK) == 0) ::usleep(10'000);
    }
    *size = 0;
    return 0;
  }
  int32_t getDummySamples(float*, uint32_t* size) noexcept override {
    *size = 0;
    return 0;
  }
  uint64_t getTimestamp() noexcept override { return 0; }
  void close() noexcept override {}

 private:
  std::string hold_;
  bool held_ = false;
};

class RecipeClass final : public plugin::DecoderClass {
 public:
  RecipeClass(std::string name, uint32_t score, std::string hold)
      : name_(std::move(name)), score_(score), hold_(std::move(hold)) {}
  const char* className() const noexcept override { return name_.c_str(); }
  uint32_t getScoreByPath(const std::string&) const noexcept override { return score_; }
  std::unique_ptr<plugin::Decoder> create() const noexcept override {
    return std::unique_ptr<plugin::Decoder>(new (std::nothrow) NullDecoder(hold_));
  }

 private:
  std::string name_;
  uint32_t score_;
  std::string hold_;
};

class RecipePrincipal final : public plugin::Principal {
 public:
  explicit RecipePrincipal(std::map<std::string, std::string> r)
      : recipe_(std::move(r)),
        class_(get("class", "Recipe"), static_cast<uint32_t>(std::stoul(get("score", "100"))), get("hold", "")) {}

  Value getProperties() noexcept override {
    if (get("props", "") == "none") return Value("not a dictionary");
    Dict d;
    auto put = [&](const char* key, const std::string& value, bool number) {
      if (value == "-") return;
      d[key] = number ? Value(std::stoll(value)) : Value(value);
    };
    put(plugin::kKeyName, get("name", "Recipe"), false);
    put(plugin::kKeyInterfaceVersion, get("ifver", "1.0.0"), false);
    put(plugin::kKeyPriority, get("prio", "100"), true);
    put(plugin::kKeyPluginType, get("ptype", "1"), true);
    put(plugin::kKeyCodecType, get("ctype", "1"), true);
    std::string exts = get("exts", "tst");
    if (exts != "-") {
      Array list;
      std::stringstream in(exts);
      std::string e;
      while (std::getline(in, e, '|')) list.push_back(e == "#" ? Value(7) : Value(e));
      d[plugin::kKeyExts] = Value(list);
    }
    return Value(d);
  }

  const plugin::DecoderClass* findDecoderClassByPath(const std::string&) noexcept override {
    if (auto touch = get("touch", ""); !touch.empty()) {
      int fd = ::open(touch.c_str(), O_CREAT | O_WRONLY, 0600);
      if (fd >= 0) ::close(fd);
    }
    if (auto text = get("say", ""); !text.empty()) {
      for (int i = std::stoi(get("times", "1")); i > 0; --i) say(text);
    }
    return &class_;
  }

 private:
  std::string get(const std::string& key, const std::string& fallback) const {
    auto it = recipe_.find(key);
    return it == recipe_.end() ? fallback : it->second;
  }

  std::map<std::string, std::string> recipe_;
  RecipeClass class_;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) void SONARA_PLUGIN_ATTACH_HOST(
    const SonaraHostServices* host) {
  g_host = host;
}

extern "C" __attribute__((visibility("default"))) sonara::plugin::Principal* SONARA_PLUGIN_ENTRY(
    const char* principal_class) {
  auto recipe = parseRecipe(principal_class ? principal_class : "");
  if (recipe.count("null")) return nullptr;
  return new (std::nothrow) RecipePrincipal(recipe);
}
