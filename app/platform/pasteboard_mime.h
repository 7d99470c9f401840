// The engine's drag pasteboard carried in Qt's drag data: rows of the private row
// type travel in a format of the program's own, file names as file URLs, so that
// files dragged in from a file manager reach the engine as file names.
#pragma once

#include <QString>

#include "platform/ui/ui_services.h"

class QMimeData;

namespace sonara::platform {

// The format rows travel in: the row type, a newline, the row numbers separated by commas.
inline const QString kRowsMimeType = QStringLiteral("application/x-pelmora-playlist-rows");

// New drag data holding the pasteboard's rows of `row_type`, or its file names.
QMimeData* mimeDataFromPasteboard(const ui::Pasteboard& pasteboard, const std::string& row_type);
// The pasteboard takes what `data` carries: rows, else local files, else nothing.
void loadPasteboard(ui::Pasteboard& pasteboard, const QMimeData& data);

}  // namespace sonara::platform
