#include <gtest/gtest.h>

#include "engine/output/audio_device_list.h"
#include "engine/output/device_table.h"
#include "platform/named_exception.h"
#include "support/virtual_devices.h"

namespace {

std::vector<DeviceJson> manyDevices(int n) {
  std::vector<DeviceJson> list;
  for (int i = 0; i < n; ++i) {
    DeviceJson d;
    d.name = "DAC " + std::to_string(i);
    list.push_back(d);
  }
  return list;
}

TEST(DeviceList, SixtyFourDevicesAreAcceptedAndSixtyFiveRefused) {
  auto hal64 = makeVirtualHal(manyDevices(64));
  AudioDeviceList list64(*hal64);
  list64.initialize();
  EXPECT_EQ(list64.devices().size(), 64u);

  auto hal65 = makeVirtualHal(manyDevices(65));
  AudioDeviceList list65(*hal65);
  try {
    list65.initialize();
    FAIL() << "65 devices were accepted";
  } catch (const sonara::NamedException& e) {
    EXPECT_EQ(e.name(), "ERROR");
    EXPECT_STREQ(e.reason(), "buildList : Too Many Audio Devices. (65)");
  }
  EXPECT_TRUE(list65.devices().empty());
}

TEST(DeviceList, DeadDevicesAreDroppedAndTheRestKeepTheirOrder) {
  auto devices = manyDevices(5);
  devices[0].alive = false;
  devices[3].alive = false;
  auto hal = makeVirtualHal(devices);
  AudioDeviceList list(*hal);
  list.initialize();
  EXPECT_EQ(list.getNameList(false), (std::vector<std::string>{"DAC 1", "DAC 2", "DAC 4"}));
}

TEST(DeviceList, DevicesWithoutUsbIdsGetTheGenericRow) {
  auto hal = makeVirtualHal(manyDevices(1));
  AudioDeviceList list(*hal);
  list.initialize();
  const auto& d = *list.devices().at(0);
  EXPECT_EQ(d.deviceInfoRow, kGenericDeviceRow);
  // The generic row's DSD16 goes: the device offers no format for native DSD words.
  EXPECT_EQ(d.deviceInfo.outputCapabilities, 0x00000003u);
  EXPECT_EQ(d.deviceInfo.vid, -1);
  EXPECT_DOUBLE_EQ(d.deviceInfo.dummyFrameTime, 0.1);
}

TEST(DeviceList, ModelRowsMatchByUsbIdsAndLoseDsd32WithoutIntegerMode) {
  DeviceJson plain;  // row 11: USB switch, DSD32, reset on stop; no non-mixable format
  plain.name = "Row 11 plain";
  plain.vid = device_info[11].vid;
  plain.pid = device_info[11].pid;
  DeviceJson integer = plain;
  integer.name = "Row 11 integer";
  integer.uid = "uid:integer";
  FormatJson words;
  words.bits = 32;
  words.non_mixable = true;
  integer.formats.push_back(words);
  auto hal = makeVirtualHal({plain, integer});
  AudioDeviceList list(*hal);
  list.initialize();
  const auto& p = *list.devices().at(0);
  const auto& i = *list.devices().at(1);
  EXPECT_EQ(p.deviceInfoRow, 11u);
  EXPECT_FALSE(p.hasIntegerMode);
  EXPECT_EQ(p.deviceInfo.outputCapabilities, 0x80008003u);  // DSD32 gone: no "DSD Native"
  EXPECT_TRUE(i.hasIntegerMode);
  EXPECT_EQ(i.deviceInfo.outputCapabilities, 0x80008007u);
  EXPECT_EQ(i.deviceInfo.vid, device_info[11].vid);
}

TEST(DeviceList, NativeDsdFollowsTheFormatsOffered) {
  DeviceJson dsd16;  // no row: generic, but it offers DSD_U16-like words
  dsd16.name = "DSD16 DAC";
  dsd16.formats.push_back(formatJson(176400, 16, 2, 2, false, true));
  DeviceJson dsd32 = dsd16;  // a row without DSD32 (row 2: PCM and DoP)
  dsd32.name = "DSD32 DAC";
  dsd32.uid = "uid:dsd32";
  dsd32.vid = device_info[2].vid;
  dsd32.pid = device_info[2].pid;
  dsd32.formats = {FormatJson{}, formatJson(88200, 32, 4, 2, true, true)};
  auto hal = makeVirtualHal({dsd16, dsd32});
  AudioDeviceList list(*hal);
  list.initialize();
  EXPECT_EQ(list.devices()[0]->deviceInfo.outputCapabilities, kDevicePCM | kDeviceDoP | kDeviceDSD16);
  EXPECT_EQ(list.devices()[1]->deviceInfo.outputCapabilities, kDevicePCM | kDeviceDoP | kDeviceDSD32);
}

TEST(DeviceList, VendorDriversAreFlagged) {
  auto devices = manyDevices(2);
  devices[1].vendor_driver = true;
  auto hal = makeVirtualHal(devices);
  AudioDeviceList list(*hal);
  list.initialize();
  EXPECT_FALSE(list.devices()[0]->isVendorDriver);
  EXPECT_EQ(list.devices()[0]->deviceInfo.outputCapabilities & kDeviceVendorDriver, 0u);
  EXPECT_TRUE(list.devices()[1]->isVendorDriver);
  EXPECT_NE(list.devices()[1]->deviceInfo.outputCapabilities & kDeviceVendorDriver, 0u);
}

TEST(DeviceList, InputOnlyDevicesStayOutOfTheOutputLists) {
  auto devices = manyDevices(2);
  devices[0].output_channels = 0;
  devices[0].input_channels = 2;
  devices[0].name = "Microphone";
  auto hal = makeVirtualHal(devices);
  AudioDeviceList list(*hal);
  list.initialize();
  EXPECT_EQ(list.devices().size(), 2u);
  EXPECT_EQ(list.getNameList(true), std::vector<std::string>{"Microphone"});
  EXPECT_EQ(list.getNameList(false), std::vector<std::string>{"DAC 1"});
  EXPECT_EQ(list.getOutputAudioDeviceByName("Microphone"), nullptr);
}

TEST(DeviceList, IndexLookups) {
  auto hal = makeVirtualHal(manyDevices(2));
  AudioDeviceList list(*hal);
  list.initialize();
  EXPECT_EQ(list.getOutputAudioDeviceAtIndex(-1), nullptr);
  EXPECT_EQ(list.getOutputAudioDeviceAtIndex(1)->name, "DAC 1");
  EXPECT_THROW(list.getOutputAudioDeviceAtIndex(2), sonara::NamedException);
  EXPECT_EQ(list.getDefaultDeviceIndex(false), 0);
  EXPECT_TRUE(list.setOutputDeviceByName("DAC 1"));
  EXPECT_EQ(list.getDefaultDeviceName(false), "DAC 1");
  EXPECT_FALSE(list.setOutputDeviceByName("Nothing"));
}

TEST(DeviceTable, RowsAreDistinctAndDescribeTheirMasks) {
  for (uint32_t a = 0; a < 24; ++a) {
    EXPECT_EQ(device_info[a].vid, device_info[a < 10 ? 0 : 10].vid) << a;
    for (uint32_t b = a + 1; b < 24; ++b) {
      EXPECT_FALSE(device_info[a].vid == device_info[b].vid && device_info[a].pid == device_info[b].pid);
    }
  }
  EXPECT_NE(device_info[0].vid, device_info[10].vid);
  // 0xFFFFFF5F leaves DoP at 176400 and 352800 Hz only.
  for (double rate : kMaskRates) {
    bool allowed = rate == 176400 || rate == 352800;
    EXPECT_EQ(isRateExcluded(0xFFFFFF5F, rate), !allowed) << rate;
  }
  EXPECT_FALSE(isRateExcluded(0xFFFFFFFF, 22050));  // no bit: never excluded
}

}  // namespace
