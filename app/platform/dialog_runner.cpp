#include "app/platform/dialog_runner.h"

#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include <deque>
#include <utility>

namespace sonara::platform {
namespace {

// Main thread only, as every dialog.
std::deque<DialogAnswer>& answers() {
  static std::deque<DialogAnswer> queue;
  return queue;
}

bool closing_unanswered = false;

std::vector<std::string>& unanswered() {
  static std::vector<std::string> closed;
  return closed;
}

}  // namespace

void answerNextDialog(DialogAnswer answer) { answers().push_back(std::move(answer)); }

int pendingDialogAnswers() { return static_cast<int>(answers().size()); }

void forgetDialogAnswers() { answers().clear(); }

void closeUnansweredDialogs(bool on) { closing_unanswered = on; }

std::vector<std::string> takeUnansweredDialogs() { return std::exchange(unanswered(), {}); }

int runDialog(QDialog& dialog) {
  if (answers().empty() && closing_unanswered) {
    auto* box = qobject_cast<QMessageBox*>(&dialog);
    unanswered().push_back(dialog.windowTitle().toStdString() + ": " +
                           (box ? (box->text() + " " + box->informativeText()).toStdString() : std::string()));
    return QDialog::Rejected;
  }
  if (!answers().empty()) {
    auto answer = std::move(answers().front());
    answers().pop_front();
    // Runs inside the dialog's own loop, once it is shown.
    QTimer::singleShot(0, &dialog, [&dialog, answer = std::move(answer)] { answer(dialog); });
  }
  return dialog.exec();
}

}  // namespace sonara::platform
