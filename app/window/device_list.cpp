#include "app/window/device_list.h"

#include "engine/api/toolkit.h"
#include "platform/services.h"
#include "platform/ui/ui_services.h"

namespace pelmora {

int32_t fillDeviceBox(QComboBox& box, const TkConfig& config, std::vector<TkDeviceInfo>* devices) {
  devices->clear();
  const int32_t result = Toolkit_GetDeviceList(devices);
  const QSignalBlocker quiet(box);  // filling is not the user choosing
  box.clear();
  if (result != kToolkitOk) devices->clear();
  for (const auto& device : *devices) box.addItem(QString::fromStdString(device.deviceName().value_or("")));
  int selected = -1;
  if (auto configured = config.deviceName(); configured && !configured->empty()) {
    selected = box.findText(QString::fromStdString(*configured), Qt::MatchExactly | Qt::MatchCaseSensitive);
  }
  if (selected < 0 && box.count() > 0) selected = 0;
  box.setCurrentIndex(selected);
  return result;
}

const TkDeviceInfo* selectedDevice(const QComboBox& box, const std::vector<TkDeviceInfo>& devices) {
  const std::string name = box.currentText().toStdString();
  if (name.empty()) return nullptr;
  for (const auto& device : devices) {
    if (device.deviceName() == name) return &device;
  }
  return nullptr;
}

void raiseError(const std::string& title, const std::string& text) {
  sonara::platform::uiServices().runAlert({title, text, {"OK"}});
}

}  // namespace pelmora
