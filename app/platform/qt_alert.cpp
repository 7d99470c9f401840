#include "app/platform/qt_alert.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include <vector>

#include "app/platform/dialog_runner.h"

namespace sonara::platform {

int runQtAlert(const ui::Alert& alert, QWidget* parent) {
  QMessageBox box(parent);
  box.setIcon(QMessageBox::Warning);
  box.setText(QString::fromStdString(alert.message));
  const QString informative = QString::fromStdString(alert.informative_text).trimmed();
  if (!informative.isEmpty()) box.setInformativeText(informative);
  std::vector<std::string> labels = alert.buttons;
  if (labels.empty()) labels.push_back("OK");
  // One role for all keeps the buttons in the order given.
  std::vector<QPushButton*> buttons;
  for (const auto& label : labels) {
    buttons.push_back(box.addButton(QString::fromStdString(label), QMessageBox::ActionRole));
  }
  box.setDefaultButton(buttons.front());
  int fallback = static_cast<int>(buttons.size()) - 1;
  for (size_t i = 0; i < labels.size(); ++i) {
    if (labels[i] == "Cancel") {
      box.setEscapeButton(buttons[i]);
      fallback = static_cast<int>(i);
    }
  }
  runDialog(box);
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (box.clickedButton() == buttons[i]) return static_cast<int>(i);
  }
  return fallback;
}

}  // namespace sonara::platform
