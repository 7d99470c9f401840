// The run of `play` after the first track has been asked for: the main thread
// sleeps on the main loop until a key, a signal or an engine event comes, answers
// it, and ends the run when the playlist has played, the user stops it, a signal
// ends it or nothing more can play.
#pragma once

#include <cstdint>
#include <functional>

#include "cli/decode_progress.h"
#include "cli/player_client.h"
#include "cli/terminal_keys.h"
#include "platform/standalone_main_loop.h"

namespace pelmora::cli {

class PlayerLoop {
 public:
  PlayerLoop(sonara::platform::StandaloneMainLoop& loop, PlayerClient& client, TerminalKeys& keys,
             DecodeProgress& progress, uint32_t tracks)
      : loop_(loop), client_(client), keys_(keys), progress_(progress), tracks_(tracks) {}

  // The keys, signals and engine events to follow; on the main thread.
  void handleInput();
  void handleEvent();
  // A remote's request, done as key `k` is (' ', 'n', 'b', 'q').
  void remoteKey(int k);
  // Told when `b` restarted the track (a seek to its start).
  void setRestartHandler(std::function<void()> handler) { on_restart_ = std::move(handler); }
  // Returns when the run has ended.
  void run();

  int terminatedBy() const { return terminated_by_; }
  bool quit() const { return quit_; }
  // A skip asked for had no track to go to.
  bool endedAfterSkip() const { return ended_after_skip_; }

 private:
  void key(int k);
  void check();
  void end();

  sonara::platform::StandaloneMainLoop& loop_;
  PlayerClient& client_;
  TerminalKeys& keys_;
  DecodeProgress& progress_;
  std::function<void()> on_restart_;
  const uint32_t tracks_;
  int terminated_by_ = 0;
  bool quit_ = false;
  bool ended_after_skip_ = false;
  bool ended_ = false;
  bool running_ = false;  // inside run(): the loop is turning
};

}  // namespace pelmora::cli
