#include "app/window/about_panel.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/widgets/image_store.h"
#include "app/window/build_id.h"
#include "build_config.h"

namespace pelmora {

QString versionLine(const QString& application_name) {
  return QStringLiteral("%1  Version %2 (build %3)").arg(application_name, PELMORA_VERSION, PELMORA_BUILD_ID);
}

AboutPanel::AboutPanel(const QString& application_name, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Version Information %1").arg(application_name));
  auto* column = new QVBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(ImageStore::image(QStringLiteral("pelmora"), QSize(64, 64), devicePixelRatioF()));
  column->addWidget(icon, 0, Qt::AlignHCenter);
  version_ = new QLabel(versionLine(application_name), this);
  version_->setAlignment(Qt::AlignCenter);
  QFont bold = version_->font();
  bold.setBold(true);
  version_->setFont(bold);
  column->addWidget(version_);
  auto* copyright = new QLabel(tr("Copyright \u00A9 2026 the Pelmora developers"), this);
  copyright->setAlignment(Qt::AlignCenter);
  column->addWidget(copyright);
  toolkit_ = new QLabel(this);
  toolkit_->setAlignment(Qt::AlignCenter);
  column->addWidget(toolkit_);
  plugins_ = new QTableWidget(0, 3, this);
  plugins_->setHorizontalHeaderLabels({tr("Plug-in"), tr("Extensions"), tr("Version")});
  plugins_->verticalHeader()->hide();
  plugins_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  plugins_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  plugins_->setSelectionMode(QAbstractItemView::NoSelection);
  plugins_->setFocusPolicy(Qt::NoFocus);
  column->addWidget(plugins_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::hide);
  column->addWidget(buttons);
  resize(480, 360);
}

void AboutPanel::setPlugins(const std::vector<TkPluginInfoItem>& plugins) {
  plugins_->setRowCount(static_cast<int>(plugins.size()));
  for (int row = 0; row < static_cast<int>(plugins.size()); ++row) {
    const auto& plugin = plugins[static_cast<size_t>(row)];
    const std::string* texts[] = {&plugin.pluginName(), &plugin.pluginExt(), &plugin.pluginVersion()};
    for (int c = 0; c < 3; ++c) plugins_->setItem(row, c, new QTableWidgetItem(QString::fromStdString(*texts[c])));
  }
  plugins_->resizeColumnToContents(0);
  plugins_->resizeColumnToContents(2);
}

void AboutPanel::setToolkitVersion(const std::string& version) {
  toolkit_->setText(tr("Toolkit version: %1").arg(QString::fromStdString(version)));
}

}  // namespace pelmora
