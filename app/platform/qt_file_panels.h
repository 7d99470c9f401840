// Open and save panels as Qt file dialogs, following the engine's FilePanel.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ui_services.h"

class QWidget;

namespace sonara::platform {

std::optional<std::vector<std::string>> runQtOpenPanel(const ui::FilePanel& panel, QWidget* parent);
std::optional<std::string> runQtSavePanel(const ui::FilePanel& panel, QWidget* parent);

}  // namespace sonara::platform
