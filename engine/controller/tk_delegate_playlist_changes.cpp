// The controller's reaction to every change of the playlist: what the play engine
// joins next, the status bar's durations, and the end of a CD or fixed list.
#include <algorithm>

#include "engine/api/constants.h"
#include "engine/api/kiv_sonara_delegate.h"
#include "engine/controller/tk_delegate.h"
#include "engine/play/play_manager.h"
#include "engine/playlist/playlist_array_controller.h"

void TkDelegate::updateStatusBarTotalDuration() {
  auto& model = *array_tbl_ctl_;
  PlaylistItemInfoRef current = play_manager_ ? play_manager_->getCurrentInfo() : nullptr;
  setStatusBarDuration(model.getDurationAtCurrentPlayOrderIndex());
  setStatusBarTotalBaseTimesatmp(current ? model.getBaseDurationPlayOrderAtTrackID(current->track_id()) : 0.0);
  setStatusBarTotalDuration(model.getTotalDuration());
  if (delegate_) delegate_->playlistStateDidChange(0);
}

void TkDelegate::dropFixedList() {
  auto& model = *array_tbl_ctl_;
  if (playing_) playStop();
  model.removeAllInfos(false);
  model.setFixed(false);
  model.setSaved(true);
  model.setCd(false);
}

void TkDelegate::playlistUpdateNotificationHandler(const std::vector<PlaylistItemInfoRef>& infos,
                                                   const char* type) {
  auto& model = *array_tbl_ctl_;
  const std::string change = type;
  playlistRowsChanged();
  if (change == PlaylistChangeNotificatioTypeEdit) return;
  PlaylistItemInfoRef current = play_manager_ ? play_manager_->getCurrentInfo() : nullptr;
  if (play_manager_) play_manager_->updateNextInfo();
  updateStatusBarTotalDuration();
  if (change == PlaylistChangeNotificatioTypeAdd) {
    if (model.cd() && delegate_) delegate_->playlistStateDidChange(1);
    return;
  }
  if (change != PlaylistChangeNotificatioTypeRemove) return;
  if (current && std::any_of(infos.begin(), infos.end(),
                             [&](const auto& i) { return i->track_id() == current->track_id(); })) {
    playStop();
  }
  // A disc is played whole or not at all: losing any of its rows (the disc was
  // ejected) ends the CD list, and the client hears of it.
  if (model.cd()) {
    dropFixedList();
    if (delegate_) delegate_->playlistStateDidChange(2);
  } else if (model.fixed()) {
    dropFixedList();
  }
  if (model.getNumInfos() > 0) {
    model.setSaved(false);
  } else {
    model.setFixed(false);
    model.setSaved(true);
    model.setCd(false);
  }
}
