// Drives the play manager as the controller would: a scripted list of records handed
// out one after another, a main loop run by the test thread, virtual devices.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "engine/api/constants.h"
#include "engine/play/play_manager.h"
#include "engine/plugin/decoder_host.h"
#include "engine/plugin/plugin_manager.h"
#include "platform/services.h"
#include "platform/standalone_main_loop.h"
#include "support/output_harness.h"

// A complete record for a file, made by opening it as the playlist does.
inline PlaylistItemInfoRef recordFor(const std::string& path, uint64_t id, double offset = 0,
                                     double duration = -1) {
  sonara::PluginManager::initializePluginList();
  auto info = std::make_shared<PlaylistItemInfo>();
  info->setTrack_id(id);
  info->setFullpath(path);
  auto opened = sonara::openDecoder(sonara::PluginManager::sharedInstance(), path, nullptr, nullptr);
  if (!opened) {
    info->setDecoder_class("Missing");
    info->setDuration(1);
    return info;
  }
  auto d = sonara::describeStream(*opened->decoder, path);
  info->setDecoder_class(opened->decoder_class->className());
  info->setOffset(offset);
  info->setDuration(duration >= 0 ? duration : d->duration_s);
  info->set(TABLE_KEY_SAMPLERATE, sonara::Value(static_cast<double>(d->rate)));
  info->set(TABLE_KEY_CHANNELS, sonara::Value(d->channels));
  info->set(TABLE_KEY_BITS, sonara::Value(d->bits));
  info->set(TABLE_KEY_SRC_BITS, sonara::Value(d->src_bits));
  info->set(TABLE_KEY_SRC_SAMPLERATE, sonara::Value(d->src_rate));
  info->setTitle(d->title);
  return info;
}

class ScriptedController : public PlayManagerDelegate {
 public:
  std::weak_ptr<PlayManager> engine;
  std::deque<PlaylistItemInfoRef> upcoming;  // handed out by decoded:, in order
  int32_t decode_mode = 0;

  void started(const PlaylistItemInfoRef& i) override { log("started", i); }
  void decoded(const PlaylistItemInfoRef& i) override {
    log("decoded", i);
    PlaylistItemInfoRef next;
    {
      std::lock_guard lock(mutex_);
      if (upcoming.empty()) return;
      next = upcoming.front();
      upcoming.pop_front();
    }
    if (auto pm = engine.lock()) pm->addInfo(next);
  }
  void decodeFailed(const PlaylistItemInfoRef& i) override { log("failed", i); }
  void decodeFailedNotSupport(const PlaylistItemInfoRef& i) override { log("notsupported", i); }
  void finished(const PlaylistItemInfoRef& i) override { log("finished", i); }
  void finishedAll() override { log("finishedAll", nullptr); }
  void stoped(const PlaylistItemInfoRef& i) override { log("stoped", i); }
  int32_t decodeMode() const override { return decode_mode; }

  std::vector<std::string> events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // When an event was heard; the epoch when it was not.
  std::chrono::steady_clock::time_point when(const std::string& event) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < events_.size(); ++i) {
      if (events_[i] == event) return times_[i];
    }
    return {};
  }
  bool saw(const std::string& event) {
    auto all = events();
    return std::find(all.begin(), all.end(), event) != all.end();
  }

 private:
  void log(const char* what, const PlaylistItemInfoRef& i) {
    std::lock_guard lock(mutex_);
    events_.push_back(i ? std::string(what) + ":" + std::to_string(i->track_id()) : std::string(what));
    times_.push_back(std::chrono::steady_clock::now());
  }
  std::mutex mutex_;
  std::vector<std::string> events_;
  std::vector<std::chrono::steady_clock::time_point> times_;
};

class PlayHarness {
 public:
  explicit PlayHarness(DeviceJson device, Capture capture = Capture::File)
      : output_(std::move(device), capture) {
    sonara::platform::installMainLoop(loop_);
    engine_ = PlayManager::initWithAudioOutputCtx(output_.ctx_, &alive_);
    engine_->setDelegate(&controller_);
    controller_.engine = engine_;
  }
  ~PlayHarness() {
    if (engine_) engine_->stop(true);
    engine_.reset();
    sonara::platform::installMainLoop(nullptr);
  }
  // Plays the records in order (the first now, the rest as decoded: asks for them)
  // until the engine reports finishedAll.
  bool playAll(std::vector<PlaylistItemInfoRef> records, int seconds = 60) {
    controller_.upcoming.assign(records.begin() + 1, records.end());
    engine_->addInfo(records.front());
    engine_->start();
    bool done = runUntil([&] { return controller_.saw("finishedAll"); }, seconds);
    // The device writes a cycle after the engine has handed it over: stopping the
    // output waits for the last one.
    engine_->stop(true);
    return done;
  }
  template <typename F>
  bool runUntil(F done, int seconds = 60) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      loop_->runFor(std::chrono::milliseconds(2));
    }
    return true;
  }

  std::shared_ptr<sonara::platform::StandaloneMainLoop> loop_ =
      std::make_shared<sonara::platform::StandaloneMainLoop>();
  OutputHarness output_;
  std::atomic<uint8_t> alive_{0};
  ScriptedController controller_;
  std::shared_ptr<PlayManager> engine_;
};
