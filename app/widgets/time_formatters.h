// Seconds as the player window writes them. Both round to the nearest whole second
// (add 0.5, truncate); negative or not-a-number times read as 0.
#pragma once

#include <QString>

namespace pelmora {

// "h:mm:ss", for the track's remaining time and the playlist total. Display only: there
// is no reading back.
class DurationFormatter {
public:
  QString stringForObjectValue(double seconds) const;
};

// "m:ss", the seek popover's text for the knob's time.
QString popoverTimeText(double seconds);

}  // namespace pelmora
