// The capability record of one device model: USB IDs, pre-roll and mute delays,
// rates each transport must not use, and capability flags.
#pragma once

#include <cstdint>

struct AudioDeviceInfo {
  int32_t vid = 0;               // USB vendor ID, -1 when none
  int32_t pid = 0;               // USB product ID, -1 when none
  double dummyFrameTime = 0;     // s of silence before a PCM or native-DSD item
  double dummyFrameTime_DoP = 0; // s of silence before a DoP item
  double muteTime = 0;           // s, part of the mute and un-mute delays
  uint32_t muteSamples = 0;      // frames, added to the same delays
  uint32_t notSupport_PCM = 0;   // rate masks
  uint32_t notSupport_DoP = 0;
  uint32_t notSupport_DSD = 0;
  uint32_t outputCapabilities = 0;
};

inline constexpr uint32_t kDevicePCM = 0x00000001;
inline constexpr uint32_t kDeviceDoP = 0x00000002;
inline constexpr uint32_t kDeviceDSD32 = 0x00000004;
inline constexpr uint32_t kDeviceDSD16 = 0x00000008;
inline constexpr uint32_t kDeviceUSBSwitch = 0x00008000;
inline constexpr uint32_t kDeviceVendorDriver = 0x00010000;
inline constexpr uint32_t kDeviceDSDResetOnStop = 0x80000000;

// Bit n of a rate mask stands for the n-th rate here; other rates have no bit.
inline constexpr double kMaskRates[] = {32000,  44100,  48000,  88200,  96000,  176400,
                                        192000, 352800, 384000, 705600, 768000, 1411200};

// The mask bit of a rate, or -1 when it has none. Rates compare exactly.
inline int rateMaskBit(double rate) {
  for (int i = 0; i < 12; ++i) {
    if (kMaskRates[i] == rate) return i;
  }
  return -1;
}

inline bool isRateExcluded(uint32_t mask, double rate) {
  int bit = rateMaskBit(rate);
  return bit >= 0 && (mask >> bit) & 1u;
}
