// The signals `play` answers: SIGINT, SIGTERM and SIGHUP end playback (the device is
// given back as it was found) with the shell's status 128 + signal; SIGUSR1 pauses or
// resumes, SIGUSR2 skips to the next track.
#pragma once

namespace pelmora::cli {

void installPlayerSignals();
// The signal received since the last call, or 0.
int takeSignal();
// Readable when a signal has come since drainSignalWakes: a wait can poll it.
int signalWakeFd();
void drainSignalWakes();
// The terminating signal received, if any, left for takeSignal (0: none).
int terminatingSignal();
bool isTerminating(int signal);
// 130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP.
int exitStatusOf(int signal);

}  // namespace pelmora::cli
