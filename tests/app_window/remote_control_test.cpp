// The desktop player under a remote, as a desktop's media widget drives it: calls on
// a private session bus reach the engine, and the window shows what they changed.
#include <QAction>

#include <cstdlib>
#include <future>

#include "app/widgets/mode_indicators.h"
#include "app/window/remote_control.h"
#include "support/mpris_client.h"
#include "support/private_session_bus.h"
#include "window_fixture.h"

namespace {

using pelmora::app::Command;

class RemoteControlTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    ASSERT_FALSE(bus_.address().empty()) << "dbus-daemon did not start";
    const char* before = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    saved_address_ = before ? before : "";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus_.address().c_str(), 1);
  }
  void TearDown() override {
    if (controller_) controller_->setRemote(nullptr);
    remote_.reset();
    ::setenv("DBUS_SESSION_BUS_ADDRESS", saved_address_.c_str(), 1);
    WindowFixture::TearDown();
  }
  void startRemote() {
    remote_ = pelmora::startRemoteControl(*controller_, defaults());
    controller_->setRemote(remote_.get());
    ASSERT_TRUE(remote_->active());
  }
  // A bus call waits for its answer, which the main loop gives: the call is made on
  // another thread while this one turns the loop.
  template <typename F>
  auto remotely(F call) {
    auto answer = std::async(std::launch::async, call);
    waitFor([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 30);
    return answer.get();
  }

  PrivateSessionBus bus_;
  std::string saved_address_;
  std::unique_ptr<pelmora::remote::MprisService> remote_;
};

TEST_F(RemoteControlTest, PlayOrderAndShuffleFromARemoteShowInTheWindow) {
  launch();
  startRemote();
  controller_->addFiles({QString::fromStdString(track("Remote", 6.0))});
  MprisClient client(bus_.address());
  ASSERT_TRUE(client.connected());
  client.setPlayer(remote_->busName());
  EXPECT_EQ(remotely([&] { return client.getBool(MprisClient::kRoot, "CanRaise"); }), 1);
  ASSERT_TRUE(remotely([&] { return client.call(MprisClient::kPlayer, "Play"); }));
  ASSERT_TRUE(waitFor([&] { return controller_->isPlaying() && !controller_->isPaused(); }));
  ASSERT_TRUE(remotely([&] { return client.call(MprisClient::kPlayer, "Pause"); }));
  ASSERT_TRUE(waitFor([&] { return controller_->isPaused(); }));

  ASSERT_TRUE(remotely([&] { return client.setString("LoopStatus", "Track"); }));
  ASSERT_TRUE(waitFor([&] { return window().repeatIndicator()->mode() == 1; }, 5));
  EXPECT_TRUE(window().action(Command::OrderRepeatTitle)->isChecked());
  ASSERT_TRUE(remotely([&] { return client.setBool("Shuffle", true); }));
  ASSERT_TRUE(waitFor([&] { return window().shuffleIndicator()->isOn(); }, 5));
  EXPECT_TRUE(window().action(Command::Shuffle)->isChecked());

  // The window's own order reaches the remote.
  trigger(Command::OrderRepeatAll);
  EXPECT_EQ(remotely([&] { return client.getString(MprisClient::kPlayer, "LoopStatus"); }), "Playlist");
}

TEST_F(RemoteControlTest, QuitFromARemoteEndsTheProgram) {
  launch();
  startRemote();
  bool approved = false;
  QObject::connect(controller_.get(), &pelmora::AppDelegate::quitApproved, [&] { approved = true; });
  MprisClient client(bus_.address());
  client.setPlayer(remote_->busName());
  ASSERT_TRUE(remotely([&] { return client.call(MprisClient::kRoot, "Quit"); }));
  ASSERT_TRUE(waitFor([&] { return approved; }, 5));
}

}  // namespace
