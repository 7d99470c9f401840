#include "app/platform/qt_file_panels.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

#include "app/platform/dialog_runner.h"

namespace sonara::platform {
namespace {

// The folder the last panel ended in, where a panel naming none opens.
QString& lastFolder() {
  static QString folder = QDir::homePath();
  return folder;
}

QStringList nameFilters(const ui::FilePanel& panel) {
  QStringList filters;
  if (!panel.allowed_types.empty()) {
    QStringList patterns;
    for (const auto& type : panel.allowed_types) patterns << "*." + QString::fromStdString(type);
    filters << QFileDialog::tr("Supported files (%1)").arg(patterns.join(' '));
  }
  if (panel.allowed_types.empty() || panel.allows_other_types) filters << QFileDialog::tr("All files (*)");
  return filters;
}

// Title, folder and filters, as both kinds of panel have them.
void prepare(QFileDialog& dialog, const ui::FilePanel& panel) {
  if (!panel.message.empty()) dialog.setWindowTitle(QString::fromStdString(panel.message));
  dialog.setDirectory(panel.directory.empty() ? lastFolder() : QString::fromStdString(panel.directory));
  dialog.setNameFilters(nameFilters(panel));
  if (!panel.can_create_directories) dialog.setOption(QFileDialog::ReadOnly, true);
}

std::vector<std::string> chosen(const QFileDialog& dialog) {
  lastFolder() = dialog.directory().absolutePath();
  std::vector<std::string> paths;
  for (const auto& file : dialog.selectedFiles()) paths.push_back(QDir::cleanPath(file).toStdString());
  return paths;
}

}  // namespace

std::optional<std::vector<std::string>> runQtOpenPanel(const ui::FilePanel& panel, QWidget* parent) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (panel.can_choose_directories && !panel.can_choose_files) {
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
  } else {
    dialog.setFileMode(panel.allows_multiple_selection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  }
  prepare(dialog, panel);
  if (runDialog(dialog) != QDialog::Accepted) return std::nullopt;
  auto paths = chosen(dialog);
  if (paths.empty()) return std::nullopt;
  return paths;
}

std::optional<std::string> runQtSavePanel(const ui::FilePanel& panel, QWidget* parent) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  prepare(dialog, panel);
  if (!panel.allowed_types.empty()) dialog.setDefaultSuffix(QString::fromStdString(panel.allowed_types.front()));
  if (!panel.proposed_name.empty()) dialog.selectFile(QString::fromStdString(panel.proposed_name));
  if (runDialog(dialog) != QDialog::Accepted) return std::nullopt;
  auto paths = chosen(dialog);
  if (paths.empty()) return std::nullopt;
  return paths.front();
}

}  // namespace sonara::platform
