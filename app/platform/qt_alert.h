// Alerts as Qt message boxes.
#pragma once

#include "platform/ui/ui_services.h"

class QWidget;

namespace sonara::platform {

// Shows `alert` modally over `parent` with its buttons in the order given, the first
// one the default, and returns the index of the one chosen. Closing the box without
// a button chooses "Cancel" when there is one, else the last button.
int runQtAlert(const ui::Alert& alert, QWidget* parent);

}  // namespace sonara::platform
