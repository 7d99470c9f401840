#include "platform/audio/alsa_mixer.h"

#include <alsa/asoundlib.h>

namespace sonara::audio {

namespace {

// "Master" or "PCM" when the card has them, else the first element with a switch.
snd_mixer_elem_t* playbackSwitch(snd_mixer_t* mixer) {
  snd_mixer_elem_t* fallback = nullptr;
  for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer); e; e = snd_mixer_elem_next(e)) {
    if (!snd_mixer_selem_has_playback_switch(e)) continue;
    std::string name = snd_mixer_selem_get_name(e);
    if (name == "Master" || name == "PCM") return e;
    if (!fallback) fallback = e;
  }
  return fallback;
}

}  // namespace

bool AlsaMixerSwitch::open(int card) {
  close();
  if (card < 0 || snd_mixer_open(&mixer_, 0) < 0) return false;
  const std::string name = "hw:" + std::to_string(card);
  if (snd_mixer_attach(mixer_, name.c_str()) < 0 || snd_mixer_selem_register(mixer_, nullptr, nullptr) < 0 ||
      snd_mixer_load(mixer_) < 0 || !(element_ = playbackSwitch(mixer_))) {
    close();
    return false;
  }
  found_on_ = !muted();
  return true;
}

void AlsaMixerSwitch::close() {
  if (element_) setMuted(!found_on_);
  element_ = nullptr;
  if (mixer_) snd_mixer_close(mixer_);
  mixer_ = nullptr;
}

bool AlsaMixerSwitch::muted() const {
  int on = 1;
  if (element_) snd_mixer_selem_get_playback_switch(element_, SND_MIXER_SCHN_FRONT_LEFT, &on);
  return !on;
}

void AlsaMixerSwitch::setMuted(bool muted) {
  if (element_) snd_mixer_selem_set_playback_switch_all(element_, muted ? 0 : 1);
}

bool AlsaMixerSwitch::readMuted(int card, bool* muted) {
  AlsaMixerSwitch once;
  if (!once.open(card)) return false;
  *muted = once.muted();
  return true;
}

}  // namespace sonara::audio
