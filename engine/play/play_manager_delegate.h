// What the play engine tells its controller.
#pragma once

#include <cstdint>

#include "engine/playlist/playlist_item_info.h"

class PlayManagerDelegate {
 public:
  virtual ~PlayManagerDelegate() = default;
  virtual void started(const PlaylistItemInfoRef& info) = 0;   // began to sound
  virtual void decoded(const PlaylistItemInfoRef& info) = 0;   // decoded to its end: addInfo the next
  virtual void decodeFailed(const PlaylistItemInfoRef& info) = 0;
  virtual void decodeFailedNotSupport(const PlaylistItemInfoRef& info) = 0;
  virtual void finished(const PlaylistItemInfoRef& info) = 0;  // played to its end
  virtual void finishedAll() = 0;
  virtual void stoped(const PlaylistItemInfoRef& info) = 0;    // info may be null
  // The configured DSD transport: 0 DoP, 1 native.
  virtual int32_t decodeMode() const = 0;
};
