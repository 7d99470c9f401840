// The capability table that device matching uses: one row per known device model.
#pragma once

#include <cstdint>

// Rows in the table, the generic last row included.
inline constexpr uint32_t kSupportedDeviceRows = 25;
