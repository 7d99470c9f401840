// What the engine asks of a user interface: alerts, open and save panels, modal
// runs, the pasteboard, the playlist view's frame and columns, the CD panel and the
// decoding progress panel. The desktop
// program implements it with Qt; HeadlessUi answers from a script.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/playlist_table_source.h"
#include "platform/ui/progress_panel.h"

namespace sonara::ui {

struct Alert {
  std::string message;
  std::string informative_text;
  std::vector<std::string> buttons;  // in order; the first is the default
};

struct FilePanel {
  std::string message;                     // title or prompt
  std::vector<std::string> allowed_types;  // extensions without the dot; empty: any
  bool allows_other_types = false;
  bool can_choose_files = true;
  bool can_choose_directories = false;
  bool allows_multiple_selection = false;
  bool can_create_directories = false;
  std::string proposed_name;               // save panels
  std::string directory;                   // folder opened first; empty: the last used
};

struct Rect {
  double x = 0, y = 0, width = 0, height = 0;
};

// Opaque handle of a toolkit view that the client owns (a QWidget* in the desktop
// program). The engine never looks inside.
using ViewHandle = void*;

// The engine's playlist view: a scroll view holding the playlist table.
class PlaylistView {
 public:
  virtual ~PlaylistView() = default;
  virtual ViewHandle superview() const = 0;
  virtual void addToContainer(ViewHandle container) = 0;
  virtual Rect frame() const = 0;
  virtual void setFrameOrigin(double x, double y) = 0;
  virtual void setFrameSize(double width, double height) = 0;
  virtual int columnCount() const = 0;
  virtual double columnWidth(int column) const = 0;
  virtual void setColumnWidth(int column, double width) = 0;
  // Where the rows come from and the table's events go; null detaches the view.
  virtual void setTableSource(PlaylistTableSource* source) = 0;
  // The rows, their marks or the selection changed: the view reads them again.
  virtual void reloadRows() = 0;
};

// A private row type and file names from outside the program.
class Pasteboard {
 public:
  virtual ~Pasteboard() = default;
  virtual void clear() = 0;
  virtual void setRows(const std::string& type, std::vector<uint64_t> rows) = 0;
  virtual std::optional<std::vector<uint64_t>> rows(const std::string& type) const = 0;
  virtual void setFileNames(std::vector<std::string> paths) = 0;
  virtual std::vector<std::string> fileNames() const = 0;
};

// The small panel that offers the mounted audio CDs: a list of disc labels, OK and
// Cancel. The engine fills it and is told of the user's choices.
class CdPanelView {
 public:
  struct Handlers {
    std::function<void(int index)> selected;  // the user picked an entry
    std::function<void()> ok;
    std::function<void()> cancel;  // also when the panel is closed by other means
  };
  virtual ~CdPanelView() = default;
  virtual void setHandlers(Handlers handlers) = 0;
  virtual void setLabels(std::vector<std::string> labels) = 0;
  // -1 clears the selection and the text shown.
  virtual void selectIndex(int index) = 0;
  virtual int selectedIndex() const = 0;
  virtual void setOkEnabled(bool enabled) = 0;
  virtual void focusOk() = 0;
  virtual void orderFront() = 0;
  virtual void close() = 0;
  virtual bool visible() const = 0;
};

class UiServices {
 public:
  virtual ~UiServices() = default;
  // Index of the button chosen, counted from 0 in the order given.
  virtual int runAlert(const Alert& alert) = 0;
  // The chosen paths, or nothing when cancelled.
  virtual std::optional<std::vector<std::string>> runOpenPanel(const FilePanel& panel) = 0;
  virtual std::optional<std::string> runSavePanel(const FilePanel& panel) = 0;
  virtual Pasteboard& pasteboard() = 0;
  virtual PlaylistView& playlistView() = 0;
  virtual CdPanelView& cdPanel() = 0;
  virtual ProgressPanel& progressPanel() = 0;
};

}  // namespace sonara::ui
