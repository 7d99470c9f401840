// The controller's side of RAM play mode: the modal progress panel shown while a
// track decodes into memory, its Cancel button, and a decode out of memory.
#include <utility>

#include "engine/controller/controller_entry.h"
#include "engine/controller/tk_delegate.h"
#include "engine/play/ram_play_manager.h"
#include "engine/playlist/playlist_array_controller.h"
#include "platform/path_names.h"
#include "platform/services.h"
#include "platform/ui/modal_run.h"

namespace {

sonara::ui::ProgressPanel& progressPanel() { return sonara::platform::uiServices().progressPanel(); }

}  // namespace

// The panel shows this item's span from the start: the decoding thread's own
// report of it comes a moment later.
void TkDelegate::readyRAMModal(const PlaylistItemInfoRef& info) {
  std::string title = info ? info->title() : std::string();
  if (title.empty() && info) title = sonara::platform::lastPathComponent(info->fullpath());
  const double offset = info ? info->offset() : 0.0;
  progressPanel().setTitle(title);
  progressPanel().setRange(offset, offset + (info ? info->duration() : 0.0));
  ram_progress_value_ = offset;
  progressPanel().setValue(offset);
  ram_decode_canceled_flag_ = false;
  auto run = std::make_shared<sonara::ui::ModalRun>(sonara::platform::mainLoop());
  ram_modal_ready_ = run;
  std::lock_guard lock(ram_modal_mutex_);
  ram_modals_.push_back(std::move(run));
}

// A run stopped before it begins (a decode that ended at once) returns at once, so
// the end can never be missed.
bool TkDelegate::startRAMModal() {
  if (auto run = std::exchange(ram_modal_ready_, nullptr)) {
    ram_modal_shown_ = run;
    progressPanel().show();
    run->run();
    if (ram_modal_shown_ == run) ram_modal_shown_ = nullptr;
  }
  return !ram_decode_canceled_flag_;
}

void TkDelegate::updateRAMDecodeProgressRange(double offset, double duration) {
  postToMain([offset, duration](TkDelegate&) { progressPanel().setRange(offset, offset + duration); });
}

bool TkDelegate::updateRAMDecodeProgress(double seconds) {
  ram_progress_value_ = seconds;
  if (!ram_progress_posted_.exchange(true)) {
    postToMain([](TkDelegate& tk) {
      tk.ram_progress_posted_ = false;
      progressPanel().setValue(tk.ram_progress_value_);
    });
  }
  return !ram_decode_canceled_flag_;
}

// The run is stopped on the main thread after the progress already posted has been
// drawn; it is stopped even when the controller has gone meanwhile, so that the
// main thread never stays in it.
void TkDelegate::endRAMModal(const PlaylistItemInfoRef&) {
  std::shared_ptr<sonara::ui::ModalRun> run;
  {
    std::lock_guard lock(ram_modal_mutex_);
    if (ram_modals_.empty()) return;
    run = ram_modals_.front();
    ram_modals_.pop_front();
  }
  std::weak_ptr<TkDelegate*> alive = lifetime_;
  sonara::platform::mainLoop().post([run, alive] {
    if (auto self = alive.lock()) {
      ControllerEntry entry;
      TkDelegate& tk = **self;
      if (tk.ram_modal_shown_ == run) {
        progressPanel().setValue(tk.ram_progress_value_);
        progressPanel().close();
      }
    } else {
      progressPanel().close();
    }
    run->stop();
  });
}

// The panel goes at once, even when the decoder is stuck in a read and its end
// will be late: the stop has waited for it as long as it waits.
void TkDelegate::ramDecodeCanceled() {
  ram_decode_canceled_flag_ = true;
  playStop();
  if (auto run = ram_modal_shown_) {
    progressPanel().setValue(ram_progress_value_);
    progressPanel().close();
    run->stop();
  }
}

void TkDelegate::insufficientMemory(const PlaylistItemInfoRef& info) {
  array_tbl_ctl_->markErrorTrack(info);
  postToMain([info](TkDelegate& tk) { tk.notifyError(4, info); });
}

void TkDelegate::setRAMMemoryProbe(sonara::platform::MemoryProbe probe) {
  ram_memory_probe_ = std::move(probe);
  if (auto* ram = dynamic_cast<RAMPlayManager*>(play_manager_.get()); ram && ram_memory_probe_) {
    ram->setMemoryProbe(ram_memory_probe_);
  }
}
