#include "platform/ui/headless_ui.h"

namespace sonara::ui {

void HeadlessPasteboard::clear() {
  row_type_.clear();
  rows_.reset();
  files_.clear();
}

// A pasteboard holds one drag's contents: rows or file names, never both.
void HeadlessPasteboard::setRows(const std::string& type, std::vector<uint64_t> rows) {
  files_.clear();
  row_type_ = type;
  rows_ = std::move(rows);
}

std::optional<std::vector<uint64_t>> HeadlessPasteboard::rows(const std::string& type) const {
  if (type != row_type_) return std::nullopt;
  return rows_;
}

void HeadlessPasteboard::setFileNames(std::vector<std::string> paths) {
  row_type_.clear();
  rows_.reset();
  files_ = std::move(paths);
}
std::vector<std::string> HeadlessPasteboard::fileNames() const { return files_; }

// Four columns as the playlist table has them: number, title, artist, duration.
HeadlessPlaylistView::HeadlessPlaylistView() : columns_{40, 240, 160, 60} {}

void HeadlessPlaylistView::setFrameOrigin(double x, double y) {
  frame_.x = x;
  frame_.y = y;
}

void HeadlessPlaylistView::setFrameSize(double width, double height) {
  frame_.width = width;
  frame_.height = height;
}

double HeadlessPlaylistView::columnWidth(int column) const {
  return column >= 0 && column < columnCount() ? columns_[static_cast<size_t>(column)] : 0.0;
}

void HeadlessPlaylistView::setColumnWidth(int column, double width) {
  if (column >= 0 && column < columnCount()) columns_[static_cast<size_t>(column)] = width;
}

void HeadlessUi::scriptAlertAnswer(int button) {
  std::lock_guard lock(mutex_);
  alert_answers_.push_back(button);
}

void HeadlessUi::scriptOpenPanelAnswer(PanelAnswer paths) {
  std::lock_guard lock(mutex_);
  open_answers_.emplace_back(paths.has_value(), paths ? std::move(*paths) : std::vector<std::string>{});
}

void HeadlessUi::scriptSavePanelAnswer(std::optional<std::string> path) {
  std::lock_guard lock(mutex_);
  save_answers_.push_back(std::move(path));
}

int HeadlessUi::runAlert(const Alert& alert) {
  std::lock_guard lock(mutex_);
  alerts_.push_back(alert);
  if (alert_answers_.empty()) return 0;
  int answer = alert_answers_.front();
  alert_answers_.pop_front();
  return answer;
}

std::optional<std::vector<std::string>> HeadlessUi::runOpenPanel(const FilePanel& panel) {
  std::lock_guard lock(mutex_);
  panels_.push_back(panel);
  if (open_answers_.empty()) return std::nullopt;
  auto [chosen, paths] = std::move(open_answers_.front());
  open_answers_.pop_front();
  if (!chosen) return std::nullopt;
  return paths;
}

std::optional<std::string> HeadlessUi::runSavePanel(const FilePanel& panel) {
  std::lock_guard lock(mutex_);
  panels_.push_back(panel);
  if (save_answers_.empty()) return std::nullopt;
  auto answer = std::move(save_answers_.front());
  save_answers_.pop_front();
  return answer;
}

std::vector<Alert> HeadlessUi::alertsShown() const {
  std::lock_guard lock(mutex_);
  return alerts_;
}

std::vector<FilePanel> HeadlessUi::panelsShown() const {
  std::lock_guard lock(mutex_);
  return panels_;
}

}  // namespace sonara::ui

namespace sonara::ui {

void HeadlessCdPanel::setHandlers(Handlers handlers) {
  std::lock_guard lock(mutex_);
  handlers_ = std::move(handlers);
}

void HeadlessCdPanel::setLabels(std::vector<std::string> labels) {
  std::lock_guard lock(mutex_);
  labels_ = std::move(labels);
  if (selected_ >= static_cast<int>(labels_.size())) selected_ = -1;
}

void HeadlessCdPanel::selectIndex(int index) {
  std::lock_guard lock(mutex_);
  selected_ = index >= 0 && index < static_cast<int>(labels_.size()) ? index : -1;
}

int HeadlessCdPanel::selectedIndex() const {
  std::lock_guard lock(mutex_);
  return selected_;
}

void HeadlessCdPanel::setOkEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  ok_enabled_ = enabled;
}

void HeadlessCdPanel::orderFront() {
  std::lock_guard lock(mutex_);
  visible_ = true;
}

void HeadlessCdPanel::close() {
  std::lock_guard lock(mutex_);
  visible_ = false;
}

bool HeadlessCdPanel::visible() const {
  std::lock_guard lock(mutex_);
  return visible_;
}

std::vector<std::string> HeadlessCdPanel::labels() const {
  std::lock_guard lock(mutex_);
  return labels_;
}

bool HeadlessCdPanel::okEnabled() const {
  std::lock_guard lock(mutex_);
  return ok_enabled_;
}

void HeadlessCdPanel::choose(int index) {
  std::function<void(int)> selected;
  {
    std::lock_guard lock(mutex_);
    if (!visible_ || index < 0 || index >= static_cast<int>(labels_.size())) return;
    selected_ = index;
    selected = handlers_.selected;
  }
  if (selected) selected(index);
}

// A disabled button does nothing, as on screen.
void HeadlessCdPanel::pressOk() {
  std::function<void()> ok;
  {
    std::lock_guard lock(mutex_);
    if (!visible_ || !ok_enabled_) return;
    ok = handlers_.ok;
  }
  if (ok) ok();
}

void HeadlessCdPanel::pressCancel() {
  std::function<void()> cancel;
  {
    std::lock_guard lock(mutex_);
    if (!visible_) return;
    cancel = handlers_.cancel;
  }
  if (cancel) cancel();
}

void HeadlessProgressPanel::setCancelHandler(std::function<void()> cancel) {
  std::lock_guard lock(mutex_);
  cancel_ = std::move(cancel);
}

void HeadlessProgressPanel::setTitle(const std::string& title) {
  std::lock_guard lock(mutex_);
  title_ = title;
}

void HeadlessProgressPanel::setRange(double minimum, double maximum) {
  std::lock_guard lock(mutex_);
  minimum_ = minimum;
  maximum_ = maximum;
}

void HeadlessProgressPanel::setValue(double value) {
  std::lock_guard lock(mutex_);
  value_ = value;
  values_.push_back(value);
}

void HeadlessProgressPanel::show() {
  std::lock_guard lock(mutex_);
  visible_ = true;
  ++shown_;
}

void HeadlessProgressPanel::close() {
  std::lock_guard lock(mutex_);
  visible_ = false;
}

bool HeadlessProgressPanel::visible() const {
  std::lock_guard lock(mutex_);
  return visible_;
}

// As a button on a hidden panel, it does nothing when the panel is not shown.
void HeadlessProgressPanel::pressCancel() {
  std::function<void()> cancel;
  {
    std::lock_guard lock(mutex_);
    if (!visible_) return;
    cancel = cancel_;
  }
  if (cancel) cancel();
}

std::string HeadlessProgressPanel::title() const {
  std::lock_guard lock(mutex_);
  return title_;
}

double HeadlessProgressPanel::minimum() const {
  std::lock_guard lock(mutex_);
  return minimum_;
}

double HeadlessProgressPanel::maximum() const {
  std::lock_guard lock(mutex_);
  return maximum_;
}

double HeadlessProgressPanel::value() const {
  std::lock_guard lock(mutex_);
  return value_;
}

std::vector<double> HeadlessProgressPanel::values() const {
  std::lock_guard lock(mutex_);
  return values_;
}

int HeadlessProgressPanel::timesShown() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

}  // namespace sonara::ui
