// Writing the playlist through the save panel, and the prompts that offer to save an
// unsaved list before it is replaced or its window closes. A list is marked saved
// only once it has been written: a failed write never lets the next action discard it.
#include "engine/controller/tk_delegate.h"
#include "engine/playlist/playlist_array_controller.h"
#include "platform/localization.h"
#include "platform/log.h"
#include "platform/path_names.h"
#include "platform/services.h"
#include "platform/ui/ui_services.h"

using sonara::platform::localizedString;
using sonara::platform::logLine;

namespace {

constexpr char kSaveFailed[] = "fileSaveSheetDidEnd:returnCode:contextInfo: : savePlaylist Failed.";

sonara::ui::FilePanel xmlSavePanel() {
  sonara::ui::FilePanel panel;
  panel.allowed_types = {"xml"};
  panel.allows_other_types = false;
  panel.can_create_directories = true;
  return panel;
}

// "Yes" (the default) is button 0.
bool answeredYesToSavePrompt() {
  sonara::ui::Alert alert{localizedString("Playlist has been changed. Do you want to save?"),
                          " ",
                          {localizedString("Yes"), localizedString("No")}};
  return sonara::platform::uiServices().runAlert(alert) == 0;
}

}  // namespace

int32_t TkDelegate::savePlaylist() {
  auto panel = xmlSavePanel();
  panel.message = localizedString("Save playlist");
  const std::string current = array_tbl_ctl_->playlist_path();
  if (!current.empty()) {
    panel.proposed_name = sonara::platform::lastPathComponent(current);
    panel.directory = current.substr(0, current.size() - panel.proposed_name.size());
  }
  return fileSaveSheetDidEnd(sonara::platform::uiServices().runSavePanel(panel));
}

int32_t TkDelegate::fileSaveSheetDidEnd(const std::optional<std::string>& chosen) {
  if (!chosen) return 0;
  if (!array_tbl_ctl_->savePlaylist(*chosen)) {
    logLine(kSaveFailed);
    return 0;
  }
  array_tbl_ctl_->setSaved(true);
  array_tbl_ctl_->setPlaylist_path(*chosen);
  return 1;
}

void TkDelegate::confirmPlaylistSaveAndExecuteBlock(std::function<void()> pending) {
  if (!answeredYesToSavePrompt()) {
    pending();
    return;
  }
  auto chosen = sonara::platform::uiServices().runSavePanel(xmlSavePanel());
  if (!chosen) return;
  if (!array_tbl_ctl_->savePlaylist(*chosen)) {
    logLine(kSaveFailed);
    return;
  }
  array_tbl_ctl_->setSaved(true);
  pending();
}

bool TkDelegate::confirmReplacePlaylistWithoutSave(SheetDidEndPresentData next) {
  if (!answeredYesToSavePrompt()) return replacePlaylist(next);
  if (savePlaylist() != 0) replacePlaylist(next);
  return true;
}

void TkDelegate::windowWillClose() {
  if (playing_) playStop();
  if (!array_tbl_ctl_ || array_tbl_ctl_->saved()) return;
  sonara::ui::Alert alert{localizedString("Playlist has been changed. Do you want to save?"),
                          localizedString(" "),
                          {localizedString("Save"), localizedString("Quit")}};
  if (sonara::platform::uiServices().runAlert(alert) == 0) {
    if (saveOnClose()) array_tbl_ctl_->setSaved(true);
    return;
  }
  array_tbl_ctl_->setSaved(true);
}

bool TkDelegate::saveOnClose() {
  auto panel = xmlSavePanel();
  panel.message = localizedString("Save playlist");
  panel.proposed_name = "playlist.xml";
  auto path = sonara::platform::uiServices().runSavePanel(panel);
  if (!path) return false;
  if (!array_tbl_ctl_->savePlaylist(*path)) {
    logLine("saving playlist failed.");
    return false;
  }
  return true;
}
