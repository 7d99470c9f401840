// A remote control as a desktop's media widget is one: an sd-bus client on the test's
// private session bus that finds a player by name, reads its properties, calls its
// methods and keeps the PropertiesChanged and Seeked signals it sends. Every wait
// is bounded.
#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

class MprisClient {
 public:
  static constexpr const char* kPath = "/org/mpris/MediaPlayer2";
  static constexpr const char* kRoot = "org.mpris.MediaPlayer2";
  static constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";

  // One PropertiesChanged of the Player interface.
  struct Change {
    std::vector<std::string> names;
    std::string status;    // PlaybackStatus, when among them
    std::string track_id;  // Metadata's mpris:trackid, when among them
    std::string title;     // Metadata's xesam:title, when among them
  };

  explicit MprisClient(const std::string& address) {
    if (sd_bus_new(&bus_) < 0) return;
    if (sd_bus_set_address(bus_, address.c_str()) < 0 || sd_bus_set_bus_client(bus_, 1) < 0 ||
        sd_bus_start(bus_) < 0) {
      bus_ = sd_bus_unref(bus_);
      return;
    }
    sd_bus_set_method_call_timeout(bus_, 10'000'000);
    sd_bus_match_signal(bus_, &changes_slot_, nullptr, kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged",
                        &MprisClient::onChanged, this);
    sd_bus_match_signal(bus_, &seeked_slot_, nullptr, kPath, kPlayer, "Seeked", &MprisClient::onSeeked, this);
  }
  ~MprisClient() {
    sd_bus_slot_unref(changes_slot_);
    sd_bus_slot_unref(seeked_slot_);
    if (bus_) sd_bus_flush_close_unref(bus_);
  }
  MprisClient(const MprisClient&) = delete;
  MprisClient& operator=(const MprisClient&) = delete;

  bool connected() const { return bus_ != nullptr; }

  // The names on the bus now.
  std::vector<std::string> names() {
    std::vector<std::string> out;
    char** list = nullptr;
    if (!bus_ || sd_bus_list_names(bus_, &list, nullptr) < 0 || !list) return out;
    for (char** n = list; *n; ++n) {
      out.emplace_back(*n);
      free(*n);
    }
    free(list);
    return out;
  }
  // Waits until a name starting with `prefix` is on the bus; it is the player talked to.
  bool waitForName(const std::string& prefix, int seconds = 30) {
    return waitUntil(
        [&] {
          for (const auto& n : names()) {
            if (n.rfind(prefix, 0) == 0) {
              player_ = n;
              return true;
            }
          }
          return false;
        },
        seconds);
  }
  void setPlayer(const std::string& name) { player_ = name; }
  const std::string& player() const { return player_; }

  std::string getString(const char* interface, const char* property) {
    char* value = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    std::string out = "<error>";
    if (sd_bus_get_property_string(bus_, player_.c_str(), kPath, interface, property, &error, &value) >= 0 && value) {
      out = value;
    }
    free(value);
    sd_bus_error_free(&error);
    return out;
  }
  // -1 for an error.
  int getBool(const char* interface, const char* property) {
    int value = 0;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_get_property_trivial(bus_, player_.c_str(), kPath, interface, property, &error, 'b', &value);
    sd_bus_error_free(&error);
    return r < 0 ? -1 : value != 0;
  }
  int64_t getInt64(const char* property) {
    int64_t value = -1;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_get_property_trivial(bus_, player_.c_str(), kPath, kPlayer, property, &error, 'x', &value);
    sd_bus_error_free(&error);
    return value;
  }
  double getDouble(const char* property) {
    double value = -1;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_get_property_trivial(bus_, player_.c_str(), kPath, kPlayer, property, &error, 'd', &value);
    sd_bus_error_free(&error);
    return value;
  }
  std::vector<std::string> getStrings(const char* interface, const char* property) {
    std::vector<std::string> out;
    char** list = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    if (sd_bus_get_property_strv(bus_, player_.c_str(), kPath, interface, property, &error, &list) >= 0 && list) {
      for (char** s = list; *s; ++s) {
        out.emplace_back(*s);
        free(*s);
      }
      free(list);
    }
    sd_bus_error_free(&error);
    return out;
  }
  // Metadata as text: strings and paths as they are, numbers in decimal, string
  // lists joined with ", ".
  std::map<std::string, std::string> metadata() {
    std::map<std::string, std::string> out;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    if (sd_bus_get_property(bus_, player_.c_str(), kPath, kPlayer, "Metadata", &error, &reply, "a{sv}") >= 0) {
      readDictionary(reply, &out);
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return out;
  }

  // A method without arguments; false with the error's name in `error`.
  bool call(const char* interface, const char* method, std::string* error_name = nullptr) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_call_method(bus_, player_.c_str(), kPath, interface, method, &error, nullptr, "");
    if (r < 0 && error_name && error.name) *error_name = error.name;
    sd_bus_error_free(&error);
    return r >= 0;
  }
  bool seek(int64_t offset_us) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_call_method(bus_, player_.c_str(), kPath, kPlayer, "Seek", &error, nullptr, "x", offset_us);
    sd_bus_error_free(&error);
    return r >= 0;
  }
  bool setPosition(const std::string& track_id, int64_t position_us) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_call_method(bus_, player_.c_str(), kPath, kPlayer, "SetPosition", &error, nullptr, "ox",
                               track_id.c_str(), position_us);
    sd_bus_error_free(&error);
    return r >= 0;
  }
  bool openUri(const std::string& uri, std::string* error_name = nullptr) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_call_method(bus_, player_.c_str(), kPath, kPlayer, "OpenUri", &error, nullptr, "s", uri.c_str());
    if (r < 0 && error_name && error.name) *error_name = error.name;
    sd_bus_error_free(&error);
    return r >= 0;
  }
  bool setString(const char* property, const std::string& value, std::string* error_name = nullptr) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_set_property(bus_, player_.c_str(), kPath, kPlayer, property, &error, "s", value.c_str());
    if (r < 0 && error_name && error.name) *error_name = error.name;
    sd_bus_error_free(&error);
    return r >= 0;
  }
  bool setBool(const char* property, bool value) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_set_property(bus_, player_.c_str(), kPath, kPlayer, property, &error, "b", value ? 1 : 0);
    sd_bus_error_free(&error);
    return r >= 0;
  }
  bool setDouble(const char* property, double value, std::string* error_name = nullptr) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_set_property(bus_, player_.c_str(), kPath, kPlayer, property, &error, "d", value);
    if (r < 0 && error_name && error.name) *error_name = error.name;
    sd_bus_error_free(&error);
    return r >= 0;
  }

  // Serves the connection (signals) until `done()` holds; false when the time ran out.
  template <typename F>
  bool waitUntil(F done, int seconds = 30) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
      while (bus_ && sd_bus_process(bus_, nullptr) > 0) {
      }
      if (done()) return true;
      if (!bus_ || std::chrono::steady_clock::now() > deadline) return false;
      sd_bus_wait(bus_, 50'000);
    }
  }
  // Serves what has come so far.
  void poll() {
    while (bus_ && sd_bus_process(bus_, nullptr) > 0) {
    }
  }

  const std::vector<Change>& changes() const { return changes_; }
  const std::vector<int64_t>& seeked() const { return seeked_; }
  // A change after the first `from` that says PlaybackStatus is `status`.
  bool sawStatus(const std::string& status, size_t from = 0) const {
    for (size_t i = from; i < changes_.size(); ++i) {
      if (changes_[i].status == status) return true;
    }
    return false;
  }

 private:
  static void readDictionary(sd_bus_message* m, std::map<std::string, std::string>* out) {
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
      const char* key = nullptr;
      sd_bus_message_read(m, "s", &key);
      char type = 0;
      const char* contents = nullptr;
      sd_bus_message_peek_type(m, &type, &contents);
      std::string sig = contents ? contents : "";
      std::string text;
      if (sd_bus_message_enter_container(m, 'v', sig.c_str()) >= 0) {
        if (sig == "s" || sig == "o") {
          const char* s = nullptr;
          sd_bus_message_read_basic(m, sig[0], &s);
          text = s ? s : "";
        } else if (sig == "x") {
          int64_t x = 0;
          sd_bus_message_read_basic(m, 'x', &x);
          text = std::to_string(x);
        } else if (sig == "as") {
          char** list = nullptr;
          sd_bus_message_read_strv(m, &list);
          for (char** s = list; s && *s; ++s) {
            text += (text.empty() ? "" : ", ") + std::string(*s);
            free(*s);
          }
          free(list);
        } else {
          sd_bus_message_skip(m, sig.c_str());
          text = "<" + sig + ">";
        }
        sd_bus_message_exit_container(m);
      }
      if (key) (*out)[key] = text;
      sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
  }

  static int onChanged(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* client = static_cast<MprisClient*>(self);
    const char* interface = nullptr;
    if (sd_bus_message_read(m, "s", &interface) < 0 || !interface || std::string(interface) != kPlayer) return 0;
    Change change;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return 0;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
      const char* name = nullptr;
      sd_bus_message_read(m, "s", &name);
      const std::string key = name ? name : "";
      change.names.push_back(key);
      if (key == "PlaybackStatus") {
        const char* status = nullptr;
        sd_bus_message_read(m, "v", "s", &status);
        change.status = status ? status : "";
      } else if (key == "Metadata") {
        std::map<std::string, std::string> meta;
        sd_bus_message_enter_container(m, 'v', "a{sv}");
        readDictionary(m, &meta);
        sd_bus_message_exit_container(m);
        change.track_id = meta["mpris:trackid"];
        change.title = meta["xesam:title"];
      } else {
        sd_bus_message_skip(m, "v");
      }
      sd_bus_message_exit_container(m);
    }
    client->changes_.push_back(std::move(change));
    return 0;
  }
  static int onSeeked(sd_bus_message* m, void* self, sd_bus_error*) {
    int64_t position = 0;
    if (sd_bus_message_read(m, "x", &position) >= 0) static_cast<MprisClient*>(self)->seeked_.push_back(position);
    return 0;
  }

  sd_bus* bus_ = nullptr;
  sd_bus_slot* changes_slot_ = nullptr;
  sd_bus_slot* seeked_slot_ = nullptr;
  std::string player_;
  std::vector<Change> changes_;
  std::vector<int64_t> seeked_;
};
