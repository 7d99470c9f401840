// Which output device the user means by --device: its name (any letter case), its
// UID, or the number `pelmora-cli devices` shows before it.
#pragma once

#include <memory>
#include <string>
#include <vector>

class AudioDevice;

namespace pelmora::cli {

// The output devices in the order `devices` numbers them (from 1).
std::vector<std::shared_ptr<AudioDevice>> outputDevices(std::string* error);

// The device's name, or empty with `*error` set.
std::string chooseDevice(const std::string& wanted, std::string* error);

}  // namespace pelmora::cli
