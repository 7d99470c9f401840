// The well-known name a player takes on the session bus: the plain name when it is
// free, else the same name with ".instance<pid>", so that a second player is still
// found by desktops and `playerctl`.
#pragma once

#include <string>

struct sd_bus;

namespace pelmora::remote {

// "org.mpris.MediaPlayer2.pelmora.instance1234".
std::string instanceName(const std::string& base, long pid);

// Takes `base`, or its instance name for `pid` when another connection holds it.
// Returns the name taken, or empty with the bus's negative error in `error`.
std::string takePlayerName(sd_bus* bus, const std::string& base, long pid, int* error);

}  // namespace pelmora::remote
