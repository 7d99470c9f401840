// A card's playback switch, the ALSA stand-in for a device's mute: the mixer is
// opened and its element found once, when the device is taken, so that muting from
// the real-time thread only flips the switch. The switch is put back as it was
// found when the mixer is closed.
#pragma once

#include <string>

struct _snd_mixer;
struct _snd_mixer_elem;

namespace sonara::audio {

class AlsaMixerSwitch {
 public:
  AlsaMixerSwitch() = default;
  ~AlsaMixerSwitch() { close(); }
  AlsaMixerSwitch(const AlsaMixerSwitch&) = delete;
  AlsaMixerSwitch& operator=(const AlsaMixerSwitch&) = delete;

  // False when the card has no playback switch (or no mixer).
  bool open(int card);
  void close();
  bool isOpen() const { return element_ != nullptr; }

  bool muted() const;
  void setMuted(bool muted);

  // For a card not taken: opens, reads and closes.
  static bool readMuted(int card, bool* muted);

 private:
  _snd_mixer* mixer_ = nullptr;
  _snd_mixer_elem* element_ = nullptr;
  bool found_on_ = true;
};

}  // namespace sonara::audio
