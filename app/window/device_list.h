// Fills a device box from the engine's list of output devices and tells the
// controller when and how it failed; shared by the main window and the preferences.
#pragma once

#include <QComboBox>

#include <string>
#include <vector>

#include "engine/api/records.h"

namespace pelmora {

// Empties `box` and lists the engine's devices, selecting the configured one, else the
// first, else showing "". Returns the engine's result: 0, kToolkitNoDevice (no device,
// not an error) or a failure, when the box is left empty.
int32_t fillDeviceBox(QComboBox& box, const TkConfig& config, std::vector<TkDeviceInfo>* devices);

// The record of the device named in the box, or null.
const TkDeviceInfo* selectedDevice(const QComboBox& box, const std::vector<TkDeviceInfo>& devices);

// Shows an alert with one OK button: the error raised by a failed engine call.
void raiseError(const std::string& title, const std::string& text);

}  // namespace pelmora
