#include "app/platform/dialog_runner.h"

#include <QDialog>
#include <QTimer>

#include <deque>

namespace sonara::platform {
namespace {

// Main thread only, as every dialog.
std::deque<DialogAnswer>& answers() {
  static std::deque<DialogAnswer> queue;
  return queue;
}

}  // namespace

void answerNextDialog(DialogAnswer answer) { answers().push_back(std::move(answer)); }

int pendingDialogAnswers() { return static_cast<int>(answers().size()); }

void forgetDialogAnswers() { answers().clear(); }

int runDialog(QDialog& dialog) {
  if (!answers().empty()) {
    auto answer = std::move(answers().front());
    answers().pop_front();
    // Runs inside the dialog's own loop, once it is shown.
    QTimer::singleShot(0, &dialog, [&dialog, answer = std::move(answer)] { answer(dialog); });
  }
  return dialog.exec();
}

}  // namespace sonara::platform
