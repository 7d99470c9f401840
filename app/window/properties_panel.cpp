#include "app/window/properties_panel.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>

#include "engine/api/records.h"

namespace pelmora {

namespace {
QLineEdit* readOnlyField(QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setReadOnly(true);
  field->setMinimumWidth(360);
  return field;
}
}  // namespace

PropertiesPanel::PropertiesPanel(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Properties"));
  auto* form = new QFormLayout(this);
  file_name_ = readOnlyField(this);
  title_ = readOnlyField(this);
  artist_ = readOnlyField(this);
  form->addRow(tr("File:"), file_name_);
  form->addRow(tr("Title:"), title_);
  form->addRow(tr("Artist:"), artist_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::hide);
  form->addRow(buttons);
}

void PropertiesPanel::showInfo(const AudioFileInfo& info) {
  file_name_->setText(QString::fromStdString(info.fileName()));
  title_->setText(QString::fromStdString(info.titleName()));
  artist_->setText(QString::fromStdString(info.artistName()));
  for (QLineEdit* field : {file_name_, title_, artist_}) field->setCursorPosition(0);
  show();
  raise();
  activateWindow();
}

}  // namespace pelmora
