#include "app/widgets/time_formatters.h"

#include <algorithm>

namespace pelmora {

long long roundedSeconds(double seconds) {
  if (!(seconds > 0)) return 0;  // also NaN
  constexpr double kLargest = 9.0e15;  // far beyond any track, still exact in a double
  return static_cast<long long>(std::min(seconds + 0.5, kLargest));
}

QString DurationFormatter::stringForObjectValue(double seconds) const {
  const long long total = roundedSeconds(seconds);
  return QString::asprintf("%d:%02d:%02d", static_cast<int>(total / 3600),
                           static_cast<int>(total / 60 % 60), static_cast<int>(total % 60));
}

QString popoverTimeText(double seconds) {
  const long long total = roundedSeconds(seconds);
  return QString::asprintf("%d:%02d", static_cast<int>(total / 60), static_cast<int>(total % 60));
}

}  // namespace pelmora
