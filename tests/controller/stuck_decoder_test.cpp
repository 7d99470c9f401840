// A decoder stuck in a read (a stalled network share) must not hold the program: the
// controller lets its engine go after a bounded wait, and the engine, once the read
// returns, ends without touching a controller that may be gone.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/plugin/plugin_manager.h"
#include "platform/ui/headless_ui.h"
#include "support/controller_fixture.h"
#include "support/read_bytes.h"
#include "support/log_capture.h"
#include "support/wait_for.h"
#include "support/watchdog.h"

namespace {

class StuckDecoderTest : public ControllerFixture {
 protected:
  // A plug-in for files of `ext` whose decoder blocks while `hold_` exists. Plug-ins
  // stay loaded for the process: each test names its own.
  void installHoldingPlugin(const std::string& name, const std::string& ext) {
    const std::string bundle = dir_.file("plugins/" + name + ".plugin");
    std::filesystem::create_directories(bundle);
    std::filesystem::copy_file(TEST_PLUGIN_PATH, bundle + "/" + name + ".so");
    std::ofstream(bundle + "/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        << "<key>CFBundleExecutable</key><string>" << name << ".so</string>"
        << "<key>CFBundleShortVersionString</key><string>1.0.0</string>"
        << "<key>NSPrincipalClass</key><string>name=" << name << ";exts=" << ext << ";hold=" << hold_
        << "</string>"
        << "</dict></plist>\n";
    sonara::PluginManager::sharedInstance().enumPluginByPath(dir_.file("plugins"));
  }
  std::string hold_ = dir_.file("hold");
};

TEST_F(StuckDecoderTest, LeavingDoesNotWaitForeverAndTheEngineEndsWhenTheReadReturns) {
  std::ofstream(hold_) << "";
  installHoldingPlugin("Hold", "tst");
  start();
  const std::string file = dir_.file("stalled.tst");
  std::ofstream(file) << "audio on a share that stopped answering";
  Toolkit_AddDroppedFiles({file});
  ASSERT_EQ(Toolkit_PlayRequest(), 0);
  ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(hold_ + ".held"); }, 30));
  LogCapture log;
  {
    Watchdog watchdog("leaving with a decoder stuck in a read", std::chrono::seconds(60));
    Toolkit_Exit();
  }
  EXPECT_TRUE(log.contains("The play engine is held by a decoder that does not return; going on without it."))
      << ::testing::PrintToString(log.lines());
  // The device was given back at once, not when the read returns.
  const std::string events = readBytes(dir_.file("DAC A.raw.log"));
  const auto last_hog = events.rfind("\"event\":\"hog\"");
  ASSERT_NE(last_hog, std::string::npos) << events;
  EXPECT_NE(events.find("\"holder\":-1", last_hog), std::string::npos) << events;
  // The read returns after the controller has gone: the engine ends on its own and
  // lets its decoder go.
  EXPECT_FALSE(std::filesystem::exists(hold_ + ".released"));
  std::filesystem::remove(hold_);
  EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(hold_ + ".released"); }, 30));
}

// In RAM play mode the decode runs behind the progress panel. Cancel with the
// decoder stuck in a read gives the program back after the bounded waits, not
// when the read returns, and the panel goes at once.
TEST_F(StuckDecoderTest, CancellingARamDecodeStuckInAReadGivesTheProgramBack) {
  auto ui = std::make_shared<sonara::ui::HeadlessUi>();
  sonara::platform::installUiServices(ui);
  std::ofstream(hold_) << "";
  installHoldingPlugin("RamHold", "rtst");
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  TkConfig config;
  config.setDeviceName("DAC A");
  config.setRamMode(1);
  config.setRamModeMemoryLimit(100);
  ASSERT_EQ(Toolkit_SetConfiguration(&config), 0);
  const std::string file = dir_.file("stalled.rtst");
  std::ofstream(file) << "audio on a share that stopped answering";
  Toolkit_AddDroppedFiles({file});
  auto& panel = ui->headlessProgressPanel();
  bool cancelled_while_held = false, hidden_at_once = false;
  loop_->post([&] {
    if (!waitFor([&] { return std::filesystem::exists(hold_ + ".held"); }, 30)) return;
    cancelled_while_held = panel.visible();
    panel.pressCancel();
    hidden_at_once = !panel.visible();
  });
  {
    Watchdog watchdog("cancelling a RAM decode stuck in a read", std::chrono::seconds(60));
    Toolkit_PlayRequest();
  }
  EXPECT_TRUE(cancelled_while_held);
  EXPECT_TRUE(hidden_at_once);
  EXPECT_FALSE(std::filesystem::exists(hold_ + ".released"));
  std::filesystem::remove(hold_);
  EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(hold_ + ".released"); }, 30));
  Toolkit_Exit();
  sonara::platform::installUiServices(nullptr);
}

}  // namespace
