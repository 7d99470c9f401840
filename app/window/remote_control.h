// Remote control of the desktop player on the session bus: media keys, the desktop's
// media widgets and playerctl drive the controller as its own buttons do, and its
// menus and indicators follow what a remote changes.
#pragma once

#include <memory>

#include "platform/user_defaults.h"
#include "remote/mpris_service.h"

namespace pelmora {

class AppDelegate;

// After the controller has launched; hand the result to AppDelegate::setRemote and
// release it before the controller terminates.
std::unique_ptr<remote::MprisService> startRemoteControl(AppDelegate& controller,
                                                         sonara::platform::UserDefaults& defaults);

}  // namespace pelmora
