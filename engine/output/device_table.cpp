#include "engine/output/device_table.h"

namespace {

// Deployment data: the USB vendor and product IDs of the supported models. Rows 0-9
// are one maker's, rows 10-23 another's; every pair is distinct. A packager who
// ships for other hardware replaces these IDs; the capabilities stay with the rows.
constexpr int32_t kVendorA = 0x20B1;
constexpr int32_t kVendorB = 0x262A;

constexpr AudioDeviceInfo row(int32_t vid, int32_t pid, uint32_t pcm, uint32_t dop, uint32_t dsd,
                              uint32_t caps) {
  return AudioDeviceInfo{vid, pid, 0.0, 0.0, 0.0, 0, pcm, dop, dsd, caps};
}

}  // namespace

const AudioDeviceInfo device_info[kSupportedDeviceRows] = {
    row(kVendorA, 0x3001, 0, 0, 0, 0x00000001),                              // 0
    row(kVendorA, 0x3002, 0, 0, 0, 0x00000001),                              // 1
    row(kVendorA, 0x3003, 0, 0xFFFFFF5F, 0, 0x00000003),                     // 2
    row(kVendorA, 0x3004, 0, 0xFFFFFF5F, 0, 0x00000003),                     // 3
    row(kVendorA, 0x3005, 0x00000080, 0xFFFFFF5F, 0, 0x00000003),            // 4
    row(kVendorA, 0x3006, 0, 0xFFFFFF5F, 0, 0x00000003),                     // 5
    row(kVendorA, 0x3007, 0x00000080, 0xFFFFFF5F, 0, 0x00000003),            // 6
    row(kVendorA, 0x3008, 0x00000080, 0xFFFFFF5F, 0, 0x00000003),            // 7
    row(kVendorA, 0x3009, 0x00000080, 0, 0, 0x00000001),                     // 8
    row(kVendorA, 0x300A, 0x00000080, 0, 0, 0x00000001),                     // 9
    row(kVendorB, 0x1001, 0, 0xFFFFFD5F, 0, 0x80008003),                     // 10
    row(kVendorB, 0x1002, 0, 0xFFFFFD5F, 0xFFFFFD57, 0x80008007),            // 11
    row(kVendorB, 0x1003, 0x00000200, 0xFFFFFD5F, 0, 0x00008003),            // 12
    row(kVendorB, 0x1004, 0x00000200, 0xFFFFFD5F, 0xFFFFFD57, 0x00008007),   // 13
    row(kVendorB, 0x1005, 0x00000200, 0xFFFFFD5F, 0, 0x00008003),            // 14
    row(kVendorB, 0x1006, 0x00000200, 0xFFFFFD5F, 0xFFFFFD57, 0x00008007),   // 15
    row(kVendorB, 0x1007, 0, 0xFFFFFD5F, 0, 0x80008003),                     // 16
    row(kVendorB, 0x1008, 0, 0xFFFFFD5F, 0xFFFFFD57, 0x80008007),            // 17
    row(kVendorB, 0x1009, 0, 0xFFFFFD5F, 0, 0x80008003),                     // 18
    row(kVendorB, 0x100A, 0, 0xFFFFFD5F, 0xFFFFFD57, 0x80008007),            // 19
    row(kVendorB, 0x100B, 0x00000600, 0xFFFFF81F, 0xFFFFF807, 0x00008007),   // 20
    row(kVendorB, 0x100C, 0x00000600, 0xFFFFF81F, 0xFFFFF807, 0x00008007),   // 21
    row(kVendorB, 0x100D, 0, 0xFFFFF81F, 0xFFFFF807, 0x00008007),            // 22
    row(kVendorB, 0x100E, 0, 0xFFFFF81F, 0xFFFFF807, 0x00008007),            // 23
    AudioDeviceInfo{-1, -1, 0.1, 0.1, 0.0, 0, 0, 0, 0, 0x0000000B},          // 24: generic
};

uint32_t matchDeviceRow(int32_t vid, int32_t pid) {
  for (uint32_t i = 0; i < kGenericDeviceRow; ++i) {
    if (device_info[i].vid == vid && device_info[i].pid == pid) return i;
  }
  return kGenericDeviceRow;
}
