// The capability table that device matching uses: 24 model rows and a generic last
// row that matches every device.
#pragma once

#include <cstdint>

#include "engine/output/audio_device_info.h"

// Rows in the table, the generic last row included.
inline constexpr uint32_t kSupportedDeviceRows = 25;
inline constexpr uint32_t kGenericDeviceRow = 24;

extern const AudioDeviceInfo device_info[kSupportedDeviceRows];

// The index of the first row whose USB IDs equal the device's, else the generic row.
uint32_t matchDeviceRow(int32_t vid, int32_t pid);
