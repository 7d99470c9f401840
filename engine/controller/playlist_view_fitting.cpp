#include "engine/controller/playlist_view_fitting.h"

#include <algorithm>
#include <cstdio>

#include "platform/ui/ui_services.h"

std::string TkDurationValueTransformer::transformedValue(double seconds) {
  if (seconds == 0) return "?";
  long s = static_cast<long>(seconds + 0.5);
  char text[32];
  if (s < 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  }
  return text;
}

namespace {
// The width the columns may use: the scroll view's width less its frame and scroller.
double usableWidth(const sonara::ui::PlaylistView& view) { return view.frame().width - 12.0; }
}  // namespace

void fitLastColumn(sonara::ui::PlaylistView& view) {
  if (view.columnCount() < 4) return;
  view.setColumnWidth(3, usableWidth(view) - view.columnWidth(0) - view.columnWidth(1) - view.columnWidth(2));
}

void fitColumnsToWidth(sonara::ui::PlaylistView& view) {
  if (view.columnCount() < 4) return;
  const double usable = usableWidth(view);
  const double c0 = view.columnWidth(0), c1 = view.columnWidth(1), c2 = view.columnWidth(2),
               c3 = view.columnWidth(3);
  const double ratio = c1 + c2 > 0 ? c1 / (c1 + c2) : 0.5;
  const double rest = usable - c0 - c3;
  const double n1 = std::max(100.0, ratio * rest);
  const double n2 = std::max(100.0, rest - n1);
  view.setColumnWidth(1, n1);
  view.setColumnWidth(2, n2);
  view.setColumnWidth(3, usable - c0 - n1 - n2);
}
