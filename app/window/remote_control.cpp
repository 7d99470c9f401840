#include "app/window/remote_control.h"

#include "app/controller/app_settings.h"
#include "app/window/app_delegate.h"
#include "app/window/player_window.h"

namespace pelmora {

std::unique_ptr<remote::MprisService> startRemoteControl(AppDelegate& controller,
                                                         sonara::platform::UserDefaults& defaults) {
  remote::MprisOptions options;
  options.raise = [&controller] {
    controller.window()->showNormal();
    controller.window()->raise();
    controller.window()->activateWindow();
  };
  options.quit = [&controller] { controller.quitNow(); };
  options.repeat_changed = [&controller](int32_t mode) { controller.followRepeat(mode); };
  options.shuffle_changed = [&controller](bool on) { controller.followShuffle(on); };
  const app::AppSettings settings(defaults);
  options.repeat = settings.repeatMode();
  options.shuffle = settings.shuffle();
  return std::make_unique<remote::MprisService>(std::move(options));
}

}  // namespace pelmora
