#include "remote/mpris_bus_objects.h"

#include <cerrno>
#include <string>
#include <vector>

#include "remote/mpris_service.h"

namespace pelmora::remote {
namespace {

MprisService& service(void* data) { return *static_cast<MprisService*>(data); }

int appendBool(sd_bus_message* reply, bool value) { return sd_bus_message_append(reply, "b", value ? 1 : 0); }

int appendStrings(sd_bus_message* reply, const std::vector<std::string>& values) {
  int r = sd_bus_message_open_container(reply, 'a', "s");
  for (const auto& v : values) {
    if (r >= 0) r = sd_bus_message_append(reply, "s", v.c_str());
  }
  return r < 0 ? r : sd_bus_message_close_container(reply);
}

int replyDone(sd_bus_message* m) { return sd_bus_reply_method_return(m, ""); }

// --- org.mpris.MediaPlayer2 ---------------------------------------------------------

int getRootProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void* data,
                    sd_bus_error*) {
  const MprisOptions& o = service(data).options();
  const std::string name = property;
  if (name == "CanQuit") return appendBool(reply, static_cast<bool>(o.quit));
  if (name == "CanRaise") return appendBool(reply, static_cast<bool>(o.raise));
  if (name == "HasTrackList") return appendBool(reply, false);
  if (name == "Identity") return sd_bus_message_append(reply, "s", o.identity.c_str());
  if (name == "DesktopEntry") return sd_bus_message_append(reply, "s", o.desktop_entry.c_str());
  if (name == "SupportedUriSchemes") return appendStrings(reply, {"file"});
  if (name == "SupportedMimeTypes") return appendStrings(reply, service(data).mimeTypes());
  return -ENOENT;
}

int onRaise(sd_bus_message* m, void* data, sd_bus_error*) {
  service(data).raise();
  return replyDone(m);
}

int onQuit(sd_bus_message* m, void* data, sd_bus_error*) {
  // Answered first: the program may end before it turns again.
  int r = replyDone(m);
  service(data).quit();
  return r;
}

const sd_bus_vtable kRootTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", &onRaise, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Quit", "", "", &onQuit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("CanQuit", "b", getRootProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("CanRaise", "b", getRootProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("HasTrackList", "b", getRootProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Identity", "s", getRootProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("DesktopEntry", "s", getRootProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", getRootProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", getRootProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_VTABLE_END};

// --- org.mpris.MediaPlayer2.Player --------------------------------------------------

int getPlayerProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void* data,
                      sd_bus_error*) {
  const MprisService& s = service(data);
  const PlayerState& st = s.state();
  const std::string name = property;
  if (name == "PlaybackStatus") return sd_bus_message_append(reply, "s", playbackStatusName(st.status));
  if (name == "LoopStatus") return sd_bus_message_append(reply, "s", loopStatusName(st.repeat));
  if (name == "Shuffle") return appendBool(reply, st.shuffle);
  if (name == "Metadata") return appendMetadata(reply, st.track);
  // A bit-perfect player plays at the file's own rate and never scales samples.
  if (name == "Rate" || name == "MinimumRate" || name == "MaximumRate" || name == "Volume") {
    return sd_bus_message_append(reply, "d", 1.0);
  }
  if (name == "Position") return sd_bus_message_append(reply, "x", s.positionUs());
  if (name == "CanGoNext") return appendBool(reply, st.can_go_next);
  if (name == "CanGoPrevious") return appendBool(reply, st.can_go_previous);
  if (name == "CanPlay") return appendBool(reply, st.can_play);
  if (name == "CanPause") return appendBool(reply, st.can_pause);
  if (name == "CanSeek") return appendBool(reply, st.can_seek);
  if (name == "CanControl") return appendBool(reply, true);
  return -ENOENT;
}

int setLoopStatus(sd_bus*, const char*, const char*, const char*, sd_bus_message* value, void* data,
                  sd_bus_error* error) {
  const char* status = nullptr;
  int r = sd_bus_message_read(value, "s", &status);
  if (r < 0) return r;
  if (!service(data).setLoopStatus(status ? status : "")) {
    return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "LoopStatus is None, Track or Playlist, not \"%s\"",
                             status ? status : "");
  }
  return 0;
}

int setShuffle(sd_bus*, const char*, const char*, const char*, sd_bus_message* value, void* data, sd_bus_error*) {
  int on = 0;
  int r = sd_bus_message_read(value, "b", &on);
  if (r < 0) return r;
  service(data).setShuffle(on != 0);
  return 0;
}

int onPlay(sd_bus_message* m, void* data, sd_bus_error*) {
  service(data).play();
  return replyDone(m);
}
int onPause(sd_bus_message* m, void* data, sd_bus_error*) {
  service(data).pause();
  return replyDone(m);
}
int onPlayPause(sd_bus_message* m, void* data, sd_bus_error*) {
  service(data).playPause();
  return replyDone(m);
}
int onStop(sd_bus_message* m, void* data, sd_bus_error*) {
  service(data).stop();
  return replyDone(m);
}
int onNext(sd_bus_message* m, void* data, sd_bus_error*) {
  service(data).next();
  return replyDone(m);
}
int onPrevious(sd_bus_message* m, void* data, sd_bus_error*) {
  service(data).previous();
  return replyDone(m);
}

int onSeek(sd_bus_message* m, void* data, sd_bus_error*) {
  int64_t offset = 0;
  int r = sd_bus_message_read(m, "x", &offset);
  if (r < 0) return r;
  service(data).seekBy(offset);
  return replyDone(m);
}

int onSetPosition(sd_bus_message* m, void* data, sd_bus_error*) {
  const char* track = nullptr;
  int64_t position = 0;
  int r = sd_bus_message_read(m, "ox", &track, &position);
  if (r < 0) return r;
  service(data).setPosition(track ? track : "", position);
  return replyDone(m);
}

int onOpenUri(sd_bus_message* m, void* data, sd_bus_error* error) {
  const char* uri = nullptr;
  int r = sd_bus_message_read(m, "s", &uri);
  if (r < 0) return r;
  std::string why;
  if (!service(data).openUri(uri ? uri : "", &why)) {
    return sd_bus_error_setf(error, SD_BUS_ERROR_NOT_SUPPORTED, "%s", why.c_str());
  }
  return replyDone(m);
}

constexpr uint64_t kChanges = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;
constexpr uint64_t kConst = SD_BUS_VTABLE_PROPERTY_CONST;

const sd_bus_vtable kPlayerTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Next", "", "", &onNext, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Previous", "", "", &onPrevious, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Pause", "", "", &onPause, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("PlayPause", "", "", &onPlayPause, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Stop", "", "", &onStop, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Play", "", "", &onPlay, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Seek", "x", "", &onSeek, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetPosition", "ox", "", &onSetPosition, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("OpenUri", "s", "", &onOpenUri, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", getPlayerProperty, 0, kChanges),
    SD_BUS_WRITABLE_PROPERTY("LoopStatus", "s", getPlayerProperty, setLoopStatus, 0,
                             kChanges | SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("Rate", "d", getPlayerProperty, 0, kConst),
    SD_BUS_WRITABLE_PROPERTY("Shuffle", "b", getPlayerProperty, setShuffle, 0, kChanges | SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("Metadata", "a{sv}", getPlayerProperty, 0, kChanges),
    // Read-only: setting it is refused with org.freedesktop.DBus.Error.PropertyReadOnly.
    SD_BUS_PROPERTY("Volume", "d", getPlayerProperty, 0, kConst),
    // Changes all the time: read, never signalled (Seeked tells of jumps).
    SD_BUS_PROPERTY("Position", "x", getPlayerProperty, 0, 0),
    SD_BUS_PROPERTY("MinimumRate", "d", getPlayerProperty, 0, kConst),
    SD_BUS_PROPERTY("MaximumRate", "d", getPlayerProperty, 0, kConst),
    SD_BUS_PROPERTY("CanGoNext", "b", getPlayerProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanGoPrevious", "b", getPlayerProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanPlay", "b", getPlayerProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanPause", "b", getPlayerProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanSeek", "b", getPlayerProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanControl", "b", getPlayerProperty, 0, kConst),
    SD_BUS_VTABLE_END};

}  // namespace

const sd_bus_vtable* rootInterfaceTable() { return kRootTable; }
const sd_bus_vtable* playerInterfaceTable() { return kPlayerTable; }

int appendMetadata(sd_bus_message* m, const TrackMetadata& track) {
  int r = sd_bus_message_open_container(m, 'a', "{sv}");
  if (r < 0) return r;
  r = sd_bus_message_append(m, "{sv}", "mpris:trackid", "o", track.track_path.c_str());
  if (r >= 0 && track.hasTrack()) {
    if (track.length_us > 0) r = sd_bus_message_append(m, "{sv}", "mpris:length", "x", track.length_us);
    if (r >= 0) r = sd_bus_message_append(m, "{sv}", "xesam:title", "s", track.title.c_str());
    if (r >= 0 && !track.artist.empty()) {
      r = sd_bus_message_append(m, "{sv}", "xesam:artist", "as", 1, track.artist.c_str());
    }
    if (r >= 0 && !track.url.empty()) r = sd_bus_message_append(m, "{sv}", "xesam:url", "s", track.url.c_str());
  }
  return r < 0 ? r : sd_bus_message_close_container(m);
}

}  // namespace pelmora::remote
