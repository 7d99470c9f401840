// Taking a card that another program holds, on a private session bus: the
// org.freedesktop.ReserveDevice1 hand-off with a holder that lets go, one that
// refuses, and a program that asks the card back from us.
#include <gtest/gtest.h>

#include <signal.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>

#include "engine/output/audio_device_list.h"
#include "platform/audio/alsa_hal.h"
#include "support/alsa_test_pcm.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

using namespace sonara::audio;

namespace {

constexpr const char* kName = "org.freedesktop.ReserveDevice1.Audio7";
constexpr const char* kPath = "/org/freedesktop/ReserveDevice1/Audio7";
constexpr const char* kInterface = "org.freedesktop.ReserveDevice1";

// A sound server holding card 7: its PCM is busy while it holds the card.
class FakeServer {
 public:
  FakeServer(bool lets_go, std::string busy_file) : lets_go_(lets_go), busy_file_(std::move(busy_file)) {
    injectFailure(busy_file_, "EBUSY");
    if (sd_bus_open_user(&bus_) < 0) return;
    sd_bus_request_name(bus_, kName, SD_BUS_NAME_ALLOW_REPLACEMENT);
    sd_bus_add_object_vtable(bus_, nullptr, kPath, kInterface, kVtable, this);
    thread_ = std::thread([this] {
      while (!stop_) {
        while (sd_bus_process(bus_, nullptr) > 0) {
        }
        sd_bus_wait(bus_, 20000);
      }
    });
  }
  ~FakeServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (bus_) sd_bus_flush_close_unref(bus_);
  }
  std::atomic<int> requests{0};
  std::atomic<int> priority{-1};

 private:
  static int requestRelease(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* f = static_cast<FakeServer*>(self);
    int32_t asked = 0;
    sd_bus_message_read(m, "i", &asked);
    f->priority = asked;
    ++f->requests;
    if (f->lets_go_) std::remove(f->busy_file_.c_str());  // closes its PCM first
    return sd_bus_reply_method_return(m, "b", f->lets_go_ ? 1 : 0);
  }
  static int applicationName(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                             sd_bus_error*) {
    return sd_bus_message_append(reply, "s", "FakeServer");
  }
  static constexpr sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("RequestRelease", "i", "b", &FakeServer::requestRelease, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_PROPERTY("ApplicationName", "s", &FakeServer::applicationName, 0, SD_BUS_VTABLE_PROPERTY_CONST),
      SD_BUS_VTABLE_END};

  bool lets_go_;
  std::string busy_file_;
  sd_bus* bus_ = nullptr;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Asks the holder of card 7 to let go, as another program would; -1 when no answer.
int askForCard(int32_t priority) {
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) return -1;
  sd_bus_message* call = nullptr;
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  int granted = -1;
  if (sd_bus_message_new_method_call(bus, &call, kName, kPath, kInterface, "RequestRelease") >= 0 &&
      sd_bus_message_append(call, "i", priority) >= 0 && sd_bus_call(bus, call, 15'000'000, &error, &reply) >= 0) {
    int b = 0;
    if (sd_bus_message_read(reply, "b", &b) >= 0) granted = b;
  }
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_message_unref(call);
  sd_bus_flush_close_unref(bus);
  return granted;
}

// One private session bus and one ALSA configuration for the whole program.
class ReserveDevice : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    FILE* daemon = ::popen("dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1", "r");
    char address[512] = {}, pid[32] = {};
    if (daemon && std::fgets(address, sizeof address, daemon) && std::fgets(pid, sizeof pid, daemon)) {
      address[std::strcspn(address, "\n")] = 0;
      bus_pid_ = std::atoi(pid);
      ::setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);
    }
    if (daemon) ::pclose(daemon);
    TestPcmSetup held;
    held.name = "held_dac";
    held.inject = dir_->file("held.inject");
    held.events = dir_->file("held.events");
    std::ofstream(dir_->file("asound.conf")) << testPcmConfig({held});
    ::setenv("ALSA_CONFIG_PATH", dir_->file("asound.conf").c_str(), 1);
  }
  static void TearDownTestSuite() {
    if (bus_pid_ > 0) ::kill(bus_pid_, SIGTERM);
    delete dir_;
  }
  void SetUp() override {
    ASSERT_GT(bus_pid_, 0) << "no private session bus";
    std::remove(dir_->file("held.inject").c_str());
    std::remove(dir_->file("held.events").c_str());
  }
  static AlsaDeviceSetup card7() {
    return {"held_dac", "Held DAC", "alsa:held:0", -1, 0, -1, -1, "", "Audio7"};
  }
  static std::string events() { return readBytes(dir_->file("held.events")); }
  static TempDir* dir_;
  static pid_t bus_pid_;
};
TempDir* ReserveDevice::dir_ = nullptr;
pid_t ReserveDevice::bus_pid_ = -1;

TEST_F(ReserveDevice, AHolderThatLetsGoIsAskedBeforeTheCardIsOpenedEvenForALook) {
  FakeServer server(true, dir_->file("held.inject"));
  AlsaHal hal({card7()});
  AudioDeviceList list(hal);
  list.initialize();
  EXPECT_EQ(server.requests.load(), 1);
  EXPECT_EQ(server.priority.load(), DeviceReservation::kPriority);
  // The look found the card free: its formats are known, no open was refused.
  auto device = list.getOutputAudioDeviceByName("Held DAC");
  ASSERT_TRUE(device);
  std::vector<StreamId> streams;
  std::vector<RangedDescription> formats;
  ASSERT_EQ(hal.streams(device->device_id, Scope::Output, &streams), kNoError);
  ASSERT_EQ(hal.availablePhysicalFormats(streams.at(0), &formats), kNoError);
  EXPECT_FALSE(formats.empty());
  EXPECT_EQ(events().find("open refused"), std::string::npos) << events();
  EXPECT_EQ(hal.setHogMode(device->device_id, ::getpid()), kNoError);
  hal.setHogMode(device->device_id, -1);
}

TEST_F(ReserveDevice, AHolderThatRefusesIsNamedAndTheCardIsNotOpened) {
  FakeServer server(false, dir_->file("held.inject"));
  LogCapture log;
  AlsaHal hal({card7()});
  AudioDeviceList list(hal);
  list.initialize();
  auto device = list.getOutputAudioDeviceByName("Held DAC");
  ASSERT_TRUE(device);  // listed, to be asked for again when chosen
  EXPECT_EQ(hal.setHogMode(device->device_id, ::getpid()), kErrorDeviceBusy);
  EXPECT_TRUE(log.contains("Held DAC cannot be taken: it is held by FakeServer, which did not let go of it."));
  EXPECT_EQ(server.requests.load(), 2);
  EXPECT_EQ(events().find("open"), std::string::npos) << events();
}

TEST_F(ReserveDevice, AProgramAskingForTheCardIsAnsweredByPriority) {
  AlsaHal hal({card7()});
  ASSERT_EQ(hal.setHogMode(1, ::getpid()), kNoError);
  std::atomic<int> notices{0};
  auto listener = [](DeviceId, void* client) { ++*static_cast<std::atomic<int>*>(client); };
  hal.addAliveListener(1, listener, &notices);

  EXPECT_EQ(askForCard(DeviceReservation::kPriority - 10), 0);  // a lesser program is told no
  uint32_t alive = 0;
  hal.isAlive(1, &alive);
  EXPECT_EQ(alive, 1u);

  // A program that matters more gets it, once the card is closed.
  std::atomic<int> granted{-2};
  std::thread asker([&] { granted = askForCard(DeviceReservation::kPriority + 10); });
  EXPECT_TRUE(waitFor([&] { return notices.load() == 1; }));
  hal.isAlive(1, &alive);
  EXPECT_EQ(alive, 0u);
  EXPECT_EQ(granted.load(), -2);  // not before the card is closed
  hal.setHogMode(1, -1);
  asker.join();
  EXPECT_EQ(granted.load(), 1);
  hal.removeAliveListener(1, listener, &notices);
}

}  // namespace
