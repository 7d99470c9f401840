// The engine's side of the CD panel: fills the view with the mounted discs, keeps it
// current while discs come and go, and passes OK on to the controller.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/playlist/cd_manager.h"

namespace sonara::ui {
class CdPanelView;
}
namespace sonara::platform {
class FolderWatch;
}

class CDPanel {
 public:
  // `ok` runs on the main thread when the user confirms a disc.
  CDPanel(sonara::ui::CdPanelView& view, std::function<void()> ok);
  ~CDPanel();
  CDPanel(const CDPanel&) = delete;
  CDPanel& operator=(const CDPanel&) = delete;

  // Refreshes, shows the panel and follows discs being mounted and unmounted.
  void makeKeyAndOrderFront();
  void updateContents();
  void didLabelSelect(int index);
  int64_t getSelectedIndex() const;
  std::string getContentDirAtIndex(int64_t index) const;
  std::optional<std::vector<std::string>> getCDContentPathsAtIndex(int64_t index) const;
  void didMount() { updateContents(); }
  void didUnmount() { updateContents(); }
  void close();
  bool visible() const;
  const std::vector<sonara::Dict>& cds() const { return cds_; }

 private:
  // The places changed (or, on file systems inotify cannot see into, may have): a
  // refresh follows when the discs offered are no longer those present.
  void placesChanged();
  void watchPlaces();

  sonara::ui::CdPanelView& view_;
  std::function<void()> ok_;
  std::unique_ptr<CDManager> cm_;
  std::vector<sonara::Dict> cds_;
  std::unique_ptr<sonara::platform::FolderWatch> mount_watch_;
  std::vector<std::string> watched_folders_;
  std::shared_ptr<CDPanel*> lifetime_ = std::make_shared<CDPanel*>(this);
};
