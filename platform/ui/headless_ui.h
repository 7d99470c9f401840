// A user interface without windows: answers from a queue of scripted answers (tests,
// the headless player) and records what was asked. With nothing scripted, alerts
// take their first button and panels are cancelled.
#pragma once

#include <deque>
#include <mutex>
#include <variant>

#include "platform/ui/ui_services.h"

namespace sonara::ui {

class HeadlessPasteboard final : public Pasteboard {
 public:
  void clear() override;
  void setRows(const std::string& type, std::vector<uint64_t> rows) override;
  std::optional<std::vector<uint64_t>> rows(const std::string& type) const override;
  void setFileNames(std::vector<std::string> paths) override;
  std::vector<std::string> fileNames() const override;

 private:
  std::string row_type_;
  std::optional<std::vector<uint64_t>> rows_;
  std::vector<std::string> files_;
};

class HeadlessPlaylistView final : public PlaylistView {
 public:
  HeadlessPlaylistView();
  ViewHandle superview() const override { return container_; }
  void addToContainer(ViewHandle container) override { container_ = container; }
  Rect frame() const override { return frame_; }
  void setFrameOrigin(double x, double y) override;
  void setFrameSize(double width, double height) override;
  int columnCount() const override { return static_cast<int>(columns_.size()); }
  double columnWidth(int column) const override;
  void setColumnWidth(int column, double width) override;
  void setTableSource(PlaylistTableSource* source) override { source_ = source; }
  void reloadRows() override { ++reloads_; }

  // A test plays the user's part through the source the engine handed over.
  PlaylistTableSource* tableSource() const { return source_; }
  int reloads() const { return reloads_; }

 private:
  PlaylistTableSource* source_ = nullptr;
  int reloads_ = 0;
  ViewHandle container_ = nullptr;
  Rect frame_;
  std::vector<double> columns_;
};

// Keeps what the engine shows; a test or the headless player picks and confirms.
class HeadlessCdPanel final : public CdPanelView {
 public:
  void setHandlers(Handlers handlers) override;
  void setLabels(std::vector<std::string> labels) override;
  void selectIndex(int index) override;
  int selectedIndex() const override;
  void setOkEnabled(bool enabled) override;
  void focusOk() override {}
  void orderFront() override;
  void close() override;
  bool visible() const override;

  std::vector<std::string> labels() const;
  bool okEnabled() const;
  // What the user does; each runs the engine's handler on the calling thread.
  void choose(int index);
  void pressOk();
  void pressCancel();

 private:
  mutable std::mutex mutex_;
  Handlers handlers_;
  std::vector<std::string> labels_;
  int selected_ = -1;
  bool ok_enabled_ = false;
  bool visible_ = false;
};

// Records what the engine shows; a test or the headless player presses Cancel.
class HeadlessProgressPanel final : public ProgressPanel {
 public:
  void setCancelHandler(std::function<void()> cancel) override;
  void setTitle(const std::string& title) override;
  void setRange(double minimum, double maximum) override;
  void setValue(double value) override;
  void show() override;
  void close() override;
  bool visible() const override;

  // Runs the engine's handler on the calling thread (the main thread).
  void pressCancel();
  std::string title() const;
  double minimum() const;
  double maximum() const;
  double value() const;
  // Every value set since the panel was made, in order.
  std::vector<double> values() const;
  int timesShown() const;

 private:
  mutable std::mutex mutex_;
  std::function<void()> cancel_;
  std::string title_;
  double minimum_ = 0, maximum_ = 0, value_ = 0;
  std::vector<double> values_;
  int shown_ = 0;
  bool visible_ = false;
};

class HeadlessUi final : public UiServices {
 public:
  using PanelAnswer = std::optional<std::vector<std::string>>;

  void scriptAlertAnswer(int button);
  void scriptOpenPanelAnswer(PanelAnswer paths);
  void scriptSavePanelAnswer(std::optional<std::string> path);

  int runAlert(const Alert& alert) override;
  std::optional<std::vector<std::string>> runOpenPanel(const FilePanel& panel) override;
  std::optional<std::string> runSavePanel(const FilePanel& panel) override;
  Pasteboard& pasteboard() override { return pasteboard_; }
  PlaylistView& playlistView() override { return view_; }
  HeadlessPlaylistView& headlessPlaylistView() { return view_; }
  CdPanelView& cdPanel() override { return cd_panel_; }
  HeadlessCdPanel& headlessCdPanel() { return cd_panel_; }
  ProgressPanel& progressPanel() override { return own_progress_panel_ ? *own_progress_panel_ : progress_panel_; }
  // A panel of the program's own drawing in place of the recording one (the
  // headless player's progress bar); set before the engine starts.
  void setProgressPanel(ProgressPanel* panel) { own_progress_panel_ = panel; }
  HeadlessProgressPanel& headlessProgressPanel() { return progress_panel_; }

  std::vector<Alert> alertsShown() const;
  std::vector<FilePanel> panelsShown() const;

 private:
  mutable std::mutex mutex_;
  std::deque<int> alert_answers_;
  // Kept as (chosen, paths): GCC 12 misreads moves out of optional<vector>.
  std::deque<std::pair<bool, std::vector<std::string>>> open_answers_;
  std::deque<std::optional<std::string>> save_answers_;
  std::vector<Alert> alerts_;
  std::vector<FilePanel> panels_;
  HeadlessPasteboard pasteboard_;
  HeadlessPlaylistView view_;
  HeadlessCdPanel cd_panel_;
  HeadlessProgressPanel progress_panel_;
  ProgressPanel* own_progress_panel_ = nullptr;
};

}  // namespace sonara::ui
