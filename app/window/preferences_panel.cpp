#include "app/window/preferences_panel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

#include "app/platform/dialog_runner.h"
#include "app/widgets/gapless_threshold_formatter.h"
#include "app/window/device_list.h"
#include "engine/api/toolkit.h"
#include "platform/audio/audio_hal.h"

namespace pelmora {

namespace {

QGroupBox* group(const QString& title, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  box->setLayout(new QVBoxLayout);
  return box;
}

QButtonGroup* radioChoice(QGroupBox* box, const QStringList& labels, QBoxLayout* into) {
  auto* choice = new QButtonGroup(box);
  for (int i = 0; i < labels.size(); ++i) {
    auto* button = new QRadioButton(labels[i], box);
    choice->addButton(button, i);
    into->addWidget(button);
  }
  return choice;
}

}  // namespace

PreferencesPanel::PreferencesPanel(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Preferences"));
  setModal(true);
  auto* column = new QVBoxLayout(this);
  column->setSpacing(4);  // the option groups sit 4 points apart

  QGroupBox* device = group(tr("Output device"), this);
  device_box_ = new QComboBox(device);
  device_box_->setMinimumContentsLength(24);
  device->layout()->addWidget(device_box_);
  column->addWidget(device);

  QGroupBox* dsd = group(tr("DSD output"), this);
  auto* dsd_row = new QHBoxLayout;
  decode_mode_ = radioChoice(dsd, {tr("DoP (DSD over PCM)"), tr("Native DSD")}, dsd_row);
  static_cast<QVBoxLayout*>(dsd->layout())->addLayout(dsd_row);
  column->addWidget(dsd);

  QGroupBox* ram = group(tr("Playback"), this);
  auto* ram_rows = static_cast<QVBoxLayout*>(ram->layout());
  ram_mode_ = radioChoice(ram, {tr("Stream from the file"), tr("Decode the whole track into memory first")},
                          ram_rows);
  auto* limit_row = new QHBoxLayout;
  limit_row->addWidget(new QLabel(tr("Memory limit:"), ram));
  memory_limit_ = new QSpinBox(ram);
  memory_limit_->setRange(1, 1 << 20);  // 0 would refuse every track
  memory_limit_->setSuffix(tr(" MB"));
  limit_row->addWidget(memory_limit_);
  limit_row->addStretch();
  ram_rows->addLayout(limit_row);
  column->addWidget(ram);

  QGroupBox* gapless = group(tr("MP3 gapless playback"), this);
  gapless_ = new QCheckBox(tr("Join MP3 tracks without a gap"), gapless);
  gapless->layout()->addWidget(gapless_);
  auto* threshold_row = new QHBoxLayout;
  threshold_row->addWidget(new QLabel(tr("Silence threshold:"), gapless));
  threshold_ = new QLineEdit(gapless);
  formatter_ = new GaplessThresholdFormatter(threshold_);
  threshold_->setValidator(formatter_);
  threshold_->setMaximumWidth(90);
  threshold_row->addWidget(threshold_);
  threshold_row->addWidget(new QLabel(tr("dB"), gapless));
  threshold_row->addStretch();
  static_cast<QVBoxLayout*>(gapless->layout())->addLayout(threshold_row);
  column->addWidget(gapless);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesPanel::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesPanel::reject);
  column->addWidget(buttons);
  connect(device_box_, &QComboBox::currentIndexChanged, this, [this] { applyCapabilityRule(); });
  connect(threshold_, &QLineEdit::textEdited, this, [this] { threshold_->setStyleSheet({}); });
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

PreferencesPanel::~PreferencesPanel() {
  if (listening_) sonara::audio::systemHal().removeDeviceListListener(&PreferencesPanel::deviceListChanged, this);
}

QRadioButton* PreferencesPanel::decodeModeButton(int column) const {
  return static_cast<QRadioButton*>(decode_mode_->button(column));
}

QRadioButton* PreferencesPanel::ramModeButton(int row) const {
  return static_cast<QRadioButton*>(ram_mode_->button(row));
}

bool PreferencesPanel::runPanel(TkConfig* config) {
  if (int32_t code = Toolkit_GetConfiguration(config); code != kToolkitOk) {
    raiseError("ERROR", "Toolkit_GetConfiguration failed. (code=" + std::to_string(code) + ")");
    return false;
  }
  config_ = config;
  fill(*config);
  // A card plugged in or out while the panel is open shows at once.
  listening_ = sonara::audio::systemHal().addDeviceListListener(&PreferencesPanel::deviceListChanged, this) ==
               sonara::audio::kNoError;
  const bool ok = sonara::platform::runDialog(*this) == QDialog::Accepted;
  config_ = nullptr;
  return ok;
}

void PreferencesPanel::fill(const TkConfig& config) {
  fillDeviceBox(*device_box_, config, &devices_);
  if (auto* button = decode_mode_->button(config.decodeMode())) button->setChecked(true);
  applyCapabilityRule();
  if (auto* button = ram_mode_->button(config.ramMode())) button->setChecked(true);
  memory_limit_->setValue(config.ramModeMemoryLimit());
  gapless_->setChecked(config.gaplessMode());
  threshold_->setText(formatter_->stringForObjectValue(static_cast<double>(config.gaplessCutoff())));
  threshold_->setStyleSheet({});
}

// DoP and native DSD are offered only as far as the chosen device takes them; OK needs
// a device.
void PreferencesPanel::applyCapabilityRule() {
  const TkDeviceInfo* device = selectedDevice(*device_box_, devices_);
  decode_mode_->button(0)->setEnabled(device && device->isDoPSupported());
  decode_mode_->button(1)->setEnabled(device && device->isDSDNativeSupported());
  ok_->setEnabled(device != nullptr);
}

void PreferencesPanel::refreshDevices() {
  TkConfig shown;
  shown.setDeviceName(device_box_->currentText().toStdString());
  fillDeviceBox(*device_box_, shown, &devices_);
  applyCapabilityRule();
}

void PreferencesPanel::deviceListChanged(uint32_t, void* client) {
  // Queued to the panel: Qt drops the call if the panel is gone by then.
  auto* panel = static_cast<PreferencesPanel*>(client);
  QMetaObject::invokeMethod(panel, [panel] { panel->refreshDevices(); }, Qt::QueuedConnection);
}

void PreferencesPanel::accept() {
  double threshold = 0;
  if (!formatter_->getObjectValue(threshold_->text(), &threshold)) {
    threshold_->setStyleSheet("QLineEdit { background: #f6c8c8; }");
    threshold_->setFocus();
    return;
  }
  if (config_) {
    config_->setDeviceName(device_box_->currentText().toStdString());
    config_->setDecodeMode(std::max(0, decode_mode_->checkedId()));
    config_->setRamMode(std::max(0, ram_mode_->checkedId()));
    config_->setRamModeMemoryLimit(memory_limit_->value());
    config_->setGaplessMode(gapless_->isChecked());
    config_->setGaplessCutoff(static_cast<int32_t>(std::trunc(threshold)));
    Toolkit_SetConfiguration(config_);
  }
  QDialog::accept();
}

void PreferencesPanel::done(int result) {
  if (listening_) {
    sonara::audio::systemHal().removeDeviceListListener(&PreferencesPanel::deviceListChanged, this);
    listening_ = false;
  }
  QDialog::done(result);
}

}  // namespace pelmora
