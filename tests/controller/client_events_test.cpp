// Client events: every one arrives on the main thread and may call any Toolkit_*
// function, Toolkit_Exit included, without harm.
#include <filesystem>

#include "engine/controller/controller_entry.h"
#include "support/controller_fixture.h"

namespace {

// Calls Toolkit_Exit from the first event of the given name, then another function.
class ExitingClient : public RecordingDelegate {
 public:
  explicit ExitingClient(std::string event) : event_(std::move(event)) {}
  void songSwitch() override {
    RecordingDelegate::songSwitch();
    maybeExit("songSwitch");
  }
  void stateDidChange(int32_t s) override {
    RecordingDelegate::stateDidChange(s);
    maybeExit("stateDidChange");
  }
  void notifyError(int32_t code, const AudioFileInfo* info) override {
    RecordingDelegate::notifyError(code, info);
    maybeExit("notifyError");
  }
  void notifyPos(uint32_t p, uint32_t t) override {
    RecordingDelegate::notifyPos(p, t);
    maybeExit("notifyPos");
  }
  void playlistStateDidChange(int32_t s) override {
    RecordingDelegate::playlistStateDidChange(s);
    maybeExit("playlistStateDidChange");
  }
  void playlistSelectionDidChange(bool s) override {
    RecordingDelegate::playlistSelectionDidChange(s);
    maybeExit("playlistSelectionDidChange");
  }
  void propertiesMenuSelected() override {
    RecordingDelegate::propertiesMenuSelected();
    maybeExit("propertiesMenuSelected");
  }
  void checkForLastConnectedDevice() override {
    RecordingDelegate::checkForLastConnectedDevice();
    maybeExit("checkForLastConnectedDevice");
  }

  bool exited = false;
  int32_t call_after_exit = 0;
  int events_after_exit = 0;

 private:
  void maybeExit(const char* event) {
    if (exiting_) return;  // what Toolkit_Exit itself sends (checkForLastConnectedDevice)
    if (exited) {
      ++events_after_exit;
      return;
    }
    if (event_ != event) return;
    exiting_ = true;
    Toolkit_Exit();
    exiting_ = false;
    exited = true;
    call_after_exit = Toolkit_PlayRequest();
  }
  std::string event_;
  bool exiting_ = false;
};

class ExitFromEventTest : public ControllerFixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExitFromEventTest, TheEngineGoesOnceTheEventHasReturned) {
  const std::string event = GetParam();
  ExitingClient client(event);
  if (event == "checkForLastConnectedDevice") {
    ASSERT_EQ(Toolkit_Init(&client), 0);  // no configuration: no play engine
    Toolkit_PlayRequest();
  } else {
    start("DAC A", &client);
    if (event == "notifyError") {
      std::string good = track("good", 1.0);
      std::string broken = dir_.file("broken.flac");
      std::filesystem::copy_file(good, broken);
      Toolkit_AddDroppedFiles({broken});
      std::filesystem::resize_file(broken, 100);  // damaged after it was added
    } else {
      Toolkit_AddDroppedFiles({track("one", 2.0)});
    }
    if (event == "playlistSelectionDidChange" || event == "propertiesMenuSelected") {
      // As the playlist view delivers its notifications: inside a controller entry.
      ControllerEntry entry;
      if (event == "propertiesMenuSelected") {
        getObject()->willEditProp(0);
      } else {
        getObject()->tableViewSelectionDidChange(true);
      }
    } else if (!client.exited) {
      Toolkit_PlayRequest();
    }
  }
  ASSERT_TRUE(runUntil([&] { return client.exited; }, 20)) << event;
  EXPECT_EQ(getObject(), nullptr);
  EXPECT_EQ(client.call_after_exit, kToolkitNotInitialized);
  runFor(0.5);  // whatever was pending for the engine finds it gone
  EXPECT_EQ(client.events_after_exit, 0);
  EXPECT_EQ(Toolkit_PlayRequest(), kToolkitNotInitialized);
  // The engine can be started again.
  RecordingDelegate again;
  ASSERT_EQ(Toolkit_Init(&again), 0);
  Toolkit_Exit();
}

INSTANTIATE_TEST_SUITE_P(EveryEvent, ExitFromEventTest,
                         ::testing::Values("songSwitch", "stateDidChange", "notifyError", "notifyPos",
                                           "playlistStateDidChange", "playlistSelectionDidChange",
                                           "propertiesMenuSelected", "checkForLastConnectedDevice"));

}  // namespace
