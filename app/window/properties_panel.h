// The file-properties panel: the selected track's file name, title and artist, to
// read and copy, not to edit.
#pragma once

#include <QDialog>

class AudioFileInfo;
class QLineEdit;

namespace pelmora {

class PropertiesPanel : public QDialog {
  Q_OBJECT

 public:
  explicit PropertiesPanel(QWidget* parent = nullptr);

  void showInfo(const AudioFileInfo& info);

  QLineEdit* fileNameField() const { return file_name_; }
  QLineEdit* titleField() const { return title_; }
  QLineEdit* artistField() const { return artist_; }

 private:
  QLineEdit* file_name_ = nullptr;
  QLineEdit* title_ = nullptr;
  QLineEdit* artist_ = nullptr;
};

}  // namespace pelmora
