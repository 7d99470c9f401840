// The error panel: a growing list of what went wrong ("No output device has been
// selected.", "Insufficient Memory." with the file), started afresh each time it is
// shown again after being closed.
#pragma once

#include <QDialog>

#include <string>

class QPlainTextEdit;

namespace pelmora {

class ErrorPanel : public QDialog {
  Q_OBJECT

 public:
  ErrorPanel(const QString& application_name, QWidget* parent = nullptr);

  // Adds the message (and the file's name, when there is one), brings the panel to
  // the front and scrolls to the end.
  void report(const std::string& message, const std::string& file_name = {});

  QString text() const;
  QPlainTextEdit* textView() const { return text_; }

 private:
  void showContextMenu(const QPoint& at);

  QPlainTextEdit* text_ = nullptr;
};

}  // namespace pelmora
