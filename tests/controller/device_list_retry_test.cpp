// The controller's device list as the client sees it through the API.
#include "support/controller_fixture.h"

namespace {

class DeviceListTest : public ControllerFixture {};

TEST_F(DeviceListTest, ARetriedEnumerationListsEachDeviceOnce) {
  useDevices({device("DAC A", "freewheel"), device("DAC B", "freewheel"), device("DAC C", "freewheel"),
              device("DAC D", "freewheel")});
  ASSERT_EQ(Toolkit_Init(&client_), 0);
  hal_->failNameLookupAfter(2);  // the third device vanishes for a moment mid-list
  std::vector<TkDeviceInfo> devices;
  ASSERT_EQ(Toolkit_GetDeviceList(&devices), 0);
  std::vector<std::string> names;
  for (const auto& d : devices) names.push_back(d.deviceName().value_or(""));
  EXPECT_EQ(names, (std::vector<std::string>{"DAC A", "DAC B", "DAC C", "DAC D"}));
}

}  // namespace
