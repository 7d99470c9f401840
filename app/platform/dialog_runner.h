// Runs the program's modal dialogs (alerts, file panels). A test answers the next
// dialogs in place of a person: each answer is called with the dialog once it is on
// screen and inside its own loop, and clicks, types or closes as a person would.
#pragma once

#include <functional>

class QDialog;

namespace sonara::platform {

using DialogAnswer = std::function<void(QDialog& dialog)>;

// Queued: the first answer goes to the next dialog run, and so on.
void answerNextDialog(DialogAnswer answer);
// Answers not yet used (a test checks that every dialog it expected came).
int pendingDialogAnswers();
void forgetDialogAnswers();
// exec() of `dialog`, answered from the queue when an answer waits.
int runDialog(QDialog& dialog);

}  // namespace sonara::platform
