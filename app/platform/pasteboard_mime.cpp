#include "app/platform/pasteboard_mime.h"

#include <QMimeData>
#include <QStringList>
#include <QUrl>

namespace sonara::platform {

QMimeData* mimeDataFromPasteboard(const ui::Pasteboard& pasteboard, const std::string& row_type) {
  auto* data = new QMimeData;
  if (auto rows = pasteboard.rows(row_type)) {
    QStringList numbers;
    for (uint64_t row : *rows) numbers << QString::number(row);
    data->setData(kRowsMimeType, (QString::fromStdString(row_type) + '\n' + numbers.join(',')).toUtf8());
    return data;
  }
  QList<QUrl> urls;
  for (const auto& path : pasteboard.fileNames()) urls << QUrl::fromLocalFile(QString::fromStdString(path));
  if (!urls.isEmpty()) data->setUrls(urls);
  return data;
}

void loadPasteboard(ui::Pasteboard& pasteboard, const QMimeData& data) {
  pasteboard.clear();
  if (data.hasFormat(kRowsMimeType)) {
    const QString text = QString::fromUtf8(data.data(kRowsMimeType));
    const qsizetype newline = text.indexOf('\n');
    if (newline < 0) return;
    std::vector<uint64_t> rows;
    for (const auto& number : text.mid(newline + 1).split(',', Qt::SkipEmptyParts)) {
      bool ok = false;
      const qulonglong row = number.toULongLong(&ok);
      if (!ok) return;  // not ours after all: nothing is dropped
      rows.push_back(row);
    }
    pasteboard.setRows(text.left(newline).toStdString(), std::move(rows));
    return;
  }
  std::vector<std::string> files;
  for (const auto& url : data.urls()) {
    if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
  }
  if (!files.empty()) pasteboard.setFileNames(std::move(files));
}

}  // namespace sonara::platform
