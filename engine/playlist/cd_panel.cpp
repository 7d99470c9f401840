#include "engine/playlist/cd_panel.h"

#include "engine/api/constants.h"
#include "platform/folder_watch.h"
#include "platform/log.h"
#include "platform/services.h"
#include "platform/ui/ui_services.h"

using sonara::platform::logLine;

CDPanel::CDPanel(sonara::ui::CdPanelView& view, std::function<void()> ok) : view_(view), ok_(std::move(ok)) {
  std::weak_ptr<CDPanel*> alive = lifetime_;
  view_.setHandlers({[alive](int index) {
                       if (auto self = alive.lock()) (*self)->didLabelSelect(index);
                     },
                     [alive] {
                       if (auto self = alive.lock()) (*self)->ok_();
                     },
                     [alive] {
                       if (auto self = alive.lock()) (*self)->close();
                     }});
}

CDPanel::~CDPanel() {
  mount_watch_.reset();
  lifetime_.reset();
  view_.setHandlers({});
}

void CDPanel::makeKeyAndOrderFront() {
  view_.setLabels({});
  view_.setOkEnabled(false);
  updateContents();
  mount_watch_.reset();
  watchPlaces();
  view_.orderFront();
}

void CDPanel::updateContents() {
  auto manager = std::make_unique<CDManager>();
  if (!manager->initialize()) {
    logLine("CDManager Initialize Failed.");
    cm_.reset();
    return;
  }
  cm_ = std::move(manager);
  cds_ = cm_->info();
  std::vector<std::string> labels;
  for (const auto& disc : cds_) labels.push_back(sonara::lookup(disc, CD_LABEL).asString());
  view_.setLabels(std::move(labels));
  if (!cds_.empty()) {
    view_.selectIndex(0);
    view_.setOkEnabled(true);
    view_.focusOk();
  } else {
    view_.selectIndex(-1);
    view_.setOkEnabled(false);
  }
}

void CDPanel::didLabelSelect(int index) {
  if (index < 0) return;
  view_.setOkEnabled(true);
  view_.focusOk();
}

int64_t CDPanel::getSelectedIndex() const { return view_.selectedIndex(); }

std::string CDPanel::getContentDirAtIndex(int64_t index) const {
  return cm_ ? cm_->getContentDirAtIndex(index) : std::string();
}

std::optional<std::vector<std::string>> CDPanel::getCDContentPathsAtIndex(int64_t index) const {
  if (!cm_) return std::nullopt;
  return cm_->getContentPathsAtIndex(index);
}

void CDPanel::close() {
  mount_watch_.reset();
  view_.close();
}

bool CDPanel::visible() const { return view_.visible(); }

void CDPanel::placesChanged() {
  if (!view_.visible()) {
    mount_watch_.reset();  // closed by the view itself: nothing to keep current
    return;
  }
  CDManager present;
  present.initialize();
  if (present.info() != cds_) updateContents();
  watchPlaces();  // folders that appeared are watched too, for tracks copied in later
}

// Each place, the folder holding it (a place made later) and the folders in it (a
// disc folder that is filled after it appears). Subscribed once however often the
// panel is shown.
void CDPanel::watchPlaces() {
  std::vector<std::string> folders;
  for (const auto& place : CDManager::searchPlaces()) {
    folders.push_back(place);
    const size_t slash = place.rfind('/');
    if (slash != std::string::npos && slash > 0) folders.push_back(place.substr(0, slash));
    for (const auto& folder : CDManager::candidateFoldersIn(place)) folders.push_back(folder);
  }
  if (mount_watch_ && folders == watched_folders_) return;
  watched_folders_ = folders;
  mount_watch_.reset();
  std::weak_ptr<CDPanel*> alive = lifetime_;
  mount_watch_ = std::make_unique<sonara::platform::FolderWatch>(
      std::move(folders), std::chrono::seconds(1), [alive](uint32_t) {
        sonara::platform::mainLoop().post([alive] {
          if (auto self = alive.lock()) (*self)->placesChanged();
        });
      });
}
