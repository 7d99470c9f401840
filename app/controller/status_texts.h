// The player window's texts that follow from the engine's state: the status field's
// note of a skipped track, the time status line, the error panel's entries and the
// format light of a track.
#pragma once

#include <cstdint>
#include <string>

namespace pelmora::app {

// `"Title" has been skipped.` with titles of 19 characters or more cut to their
// first 18 and "...". Characters, not bytes: a title is UTF-8.
std::string skippedMessage(const std::string& title);

// "total 1:02:03" while a track of unknown length plays, else
// "track remain 0:03:10/total 1:02:03" (hours always shown, rounded to seconds).
std::string timeStatusText(bool playing, double track_duration, double track_remain, double playlist_total);

// Whole seconds of a time: plus a half, truncated; below zero or not a number reads as
// zero, and beyond any track's length stays there.
long long roundedSeconds(double seconds);

// "h:mm:ss" of the rounded seconds.
std::string durationText(double seconds);

// One entry of the error panel: the message, the file's name on the next line when
// there is one, and an empty line.
std::string errorPanelEntry(const std::string& message, const std::string& file_name);

// The format lights after the playing light, in order; -1 for a type without one.
inline constexpr const char* kFormatLightNames[] = {"WAV", "FLAC", "MP3", "DSF", "DFF", "AIFF", "ALAC"};
int formatLightIndex(const std::string& ext_name);

}  // namespace pelmora::app
