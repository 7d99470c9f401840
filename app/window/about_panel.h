// The about panel: the program's name, version and build, its copyright, the engine's
// version and a table of the decoder plug-ins with the extensions each reads.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

#include "engine/api/records.h"

class QLabel;
class QTableWidget;

namespace pelmora {

class AboutPanel : public QDialog {
  Q_OBJECT

 public:
  AboutPanel(const QString& application_name, QWidget* parent = nullptr);

  void setPlugins(const std::vector<TkPluginInfoItem>& plugins);
  void setToolkitVersion(const std::string& version);

  QLabel* versionLabel() const { return version_; }
  QLabel* toolkitLabel() const { return toolkit_; }
  QTableWidget* pluginTable() const { return plugins_; }

 private:
  QLabel* version_ = nullptr;
  QLabel* toolkit_ = nullptr;
  QTableWidget* plugins_ = nullptr;
};

// "Pelmora  Version 0.1.0 (build 412)": two spaces after the name.
QString versionLine(const QString& application_name);

}  // namespace pelmora
