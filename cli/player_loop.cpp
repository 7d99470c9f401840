#include "cli/player_loop.h"

#include <csignal>

#include "cli/exit_signals.h"
#include "engine/api/toolkit.h"

namespace pelmora::cli {

void PlayerLoop::run() {
  check();  // the first track's start (or a RAM decode) may already have ended it
  if (ended_) return;
  running_ = true;
  loop_.run();
  running_ = false;
}

// While a track decodes into memory the engine holds the main thread in its
// progress run: the user's cancel and skip go to the decode then.
void PlayerLoop::handleInput() {
  if (ended_) return;  // the player is stopping: nothing starts again
  const int s = takeSignal();
  if (isTerminating(s)) {
    terminated_by_ = s;
    if (progress_.visible()) {
      progress_.cancel(false);
    } else {
      end();
    }
    return;
  }
  if (s == SIGUSR1 && !progress_.visible()) Toolkit_PauseRequest();
  if (s == SIGUSR2) key('n');
  for (int k = keys_.next(); k >= 0; k = keys_.next()) key(k);
  check();
}

void PlayerLoop::key(int k) {
  if (progress_.visible()) {
    if (k == 'q') progress_.cancel(true);
    if (k == 'n') progress_.skip();
    return;
  }
  if (k == ' ' || k == 'p') Toolkit_PauseRequest();
  if (k == 'n') {
    client_.willStep(1);
    Toolkit_NextRequest();
  }
  if (k == 'b') {
    if (client_.backRestarts()) {
      Toolkit_SetPos(0);
      client_.restarted();
      if (on_restart_) on_restart_();
    } else {
      client_.willStep(-1);
      Toolkit_PrevRequest();
    }
  }
  if (k == 'q') {
    quit_ = true;
    end();
  }
}

void PlayerLoop::handleEvent() { check(); }

void PlayerLoop::remoteKey(int k) {
  if (ended_) return;
  key(k);
  check();
}

void PlayerLoop::check() {
  if (ended_) return;
  if (terminated_by_ != 0 || progress_.quitAsked()) {
    quit_ = quit_ || progress_.quitAsked();
    return end();
  }
  client_.show();
  // The engine says stopped outside a skip only when the playlist has ended (or
  // the device went away): passing stops are not reported to the client.
  if (client_.everPlayed() && client_.state() == 0) {
    ended_after_skip_ = client_.keyStepPending();
    return end();
  }
  if (!client_.everPlayed() && client_.errors() >= static_cast<int>(tracks_)) return end();
  // Skipped from the last track's decode (--ram): nothing more will play.
  if (!client_.everPlayed() && client_.keyStepPending() && client_.stops() > 0) {
    ended_after_skip_ = true;
    return end();
  }
  if (client_.noDevice() || client_.discGone()) return end();
}

// Never from inside a decode's progress run: a loop told to quit there would not
// turn again until the decode ends; the decode's end looks again.
void PlayerLoop::end() {
  if (progress_.visible()) return;
  ended_ = true;
  if (running_) loop_.quit();
}

}  // namespace pelmora::cli
