#include "app/widgets/time_formatters.h"

#include "app/controller/status_texts.h"

namespace pelmora {

QString DurationFormatter::stringForObjectValue(double seconds) const {
  return QString::fromStdString(app::durationText(seconds));
}

QString popoverTimeText(double seconds) {
  const long long total = app::roundedSeconds(seconds);
  return QString::asprintf("%lld:%02lld", total / 60, total % 60);
}

}  // namespace pelmora
