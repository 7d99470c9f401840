// The preferences panel: the output device, how DSD is sent (DoP or native), whether
// tracks are decoded into memory first and how much memory that may take, and MP3
// gapless joining with its silence threshold. OK sends the choices to the engine.
#pragma once

#include <QDialog>

#include <vector>

#include "engine/api/records.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace pelmora {

class GaplessThresholdFormatter;

class PreferencesPanel : public QDialog {
  Q_OBJECT

 public:
  explicit PreferencesPanel(QWidget* parent = nullptr);
  ~PreferencesPanel() override;

  // Shows the engine's configuration, runs modally and, on OK, stores the choices in
  // `config` and sends it to the engine. False when cancelled or the configuration
  // could not be read.
  bool runPanel(TkConfig* config);

  QComboBox* deviceBox() const { return device_box_; }
  QRadioButton* decodeModeButton(int column) const;  // 0 DoP, 1 native DSD
  QRadioButton* ramModeButton(int row) const;        // 0 streaming, 1 from memory
  QSpinBox* memoryLimitField() const { return memory_limit_; }
  QCheckBox* gaplessSwitch() const { return gapless_; }
  QLineEdit* thresholdField() const { return threshold_; }
  QPushButton* okButton() const { return ok_; }

 private:
  void fill(const TkConfig& config);
  void applyCapabilityRule();
  void refreshDevices();
  void accept() override;
  void done(int result) override;
  static void deviceListChanged(uint32_t device, void* client);

  QComboBox* device_box_ = nullptr;
  QButtonGroup* decode_mode_ = nullptr;
  QButtonGroup* ram_mode_ = nullptr;
  QSpinBox* memory_limit_ = nullptr;
  QCheckBox* gapless_ = nullptr;
  QLineEdit* threshold_ = nullptr;
  GaplessThresholdFormatter* formatter_ = nullptr;
  QPushButton* ok_ = nullptr;
  std::vector<TkDeviceInfo> devices_;
  TkConfig* config_ = nullptr;
  bool listening_ = false;
};

}  // namespace pelmora
