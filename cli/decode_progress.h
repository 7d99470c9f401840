// The progress of `play --ram` while a track decodes into memory: on a terminal a
// bar in the status line (share done, seconds decoded of the track's, speed as times
// real time), redrawn ten times a second; a line as each decode ends, on a terminal
// or not. The player passes on the user's cancel and skip while a decode is shown.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "cli/status_line.h"
#include "platform/main_loop.h"
#include "platform/ui/progress_panel.h"

namespace pelmora::cli {

class DecodeProgress final : public sonara::ui::ProgressPanel {
 public:
  DecodeProgress(StatusLine& status, bool terminal) : status_(status), terminal_(terminal) {}
  ~DecodeProgress() override;

  void setCancelHandler(std::function<void()> cancel) override { cancel_ = std::move(cancel); }
  void setTitle(const std::string& title) override { title_ = title; }
  void setRange(double minimum, double maximum) override;
  void setValue(double value) override;
  void show() override;
  void close() override;
  bool visible() const override { return visible_; }

  // What skip() does: the next track instead.
  void setSkipHandler(std::function<void()> skip) { skip_ = std::move(skip); }
  // Run as a decode's panel closes.
  void setClosedHandler(std::function<void()> closed) { closed_ = std::move(closed); }

  // The user's moves while a decode is shown (nothing otherwise): `quit` says the
  // player ends after the cancel.
  void cancel(bool quit);
  void skip();
  // A cancel asked the player to end.
  bool quitAsked() const { return quit_asked_; }

  // "decoding "Title"  [########........]  50%  61.2 of 122.5 s  38.0x real time".
  static std::string barText(const std::string& title, double decoded_s, double length_s, double elapsed_s);
  enum class Ending { kDone, kCancelled, kSkipped };
  // "decoded "Title": 122.5 s in 3.2 s (38.0x real time)", or where it stopped, was
  // cancelled or skipped.
  static std::string endText(const std::string& title, double decoded_s, double length_s, double elapsed_s,
                             Ending how);

 private:
  void tick();
  void draw();
  void tellEnd();
  double elapsed() const;
  double decoded() const { return value_ > minimum_ ? value_ - minimum_ : 0.0; }

  StatusLine& status_;
  const bool terminal_;
  std::function<void()> cancel_;
  std::function<void()> skip_;
  std::function<void()> closed_;
  std::string title_;
  double minimum_ = 0, maximum_ = 0, value_ = 0;
  bool visible_ = false;
  bool quit_asked_ = false;
  Ending ending_ = Ending::kDone;  // how the decode shown ends, as far as the user chose
  bool end_told_ = false;
  std::chrono::steady_clock::time_point shown_at_;
  sonara::platform::DelayedPerformId timer_ = 0;
  bool ticking_ = false;
};

}  // namespace pelmora::cli
