// The CD panel: a small dialog with the mounted discs in a combo box, OK and Cancel.
// The engine fills it; what the user does goes to the engine's handlers. Closing
// the window or pressing Escape is Cancel.
#pragma once

#include <QDialog>

#include "platform/ui/ui_services.h"

class QComboBox;
class QPushButton;

namespace sonara::platform {

class QtCdPanel final : public QDialog, public ui::CdPanelView {
 public:
  explicit QtCdPanel(QWidget* parent = nullptr);

  void setHandlers(Handlers handlers) override;
  void setLabels(std::vector<std::string> labels) override;
  void selectIndex(int index) override;
  int selectedIndex() const override;
  void setOkEnabled(bool enabled) override;
  void focusOk() override;
  void orderFront() override;
  void close() override;
  bool visible() const override;

  QComboBox* discBox() const { return discs_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  Handlers handlers_;
  QComboBox* discs_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace sonara::platform
