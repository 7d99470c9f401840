// Runs the program's modal dialogs (alerts, file panels). A test answers the next
// dialogs in place of a person: each answer is called with the dialog once it is on
// screen and inside its own loop, and clicks, types or closes as a person would.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QDialog;

namespace sonara::platform {

using DialogAnswer = std::function<void(QDialog& dialog)>;

// Queued: the first answer goes to the next dialog run, and so on.
void answerNextDialog(DialogAnswer answer);
// Answers not yet used (a test checks that every dialog it expected came).
int pendingDialogAnswers();
void forgetDialogAnswers();
// Tests: a dialog that no answer waits for is rejected at once and its window title
// and text kept, so that an unexpected dialog fails a test instead of waiting forever.
void closeUnansweredDialogs(bool on);
// The dialogs closed so, "title: text" each; the list is emptied.
std::vector<std::string> takeUnansweredDialogs();

// exec() of `dialog`, answered from the queue when an answer waits.
int runDialog(QDialog& dialog);

}  // namespace sonara::platform
