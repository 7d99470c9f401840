// Text and layout helpers of the playlist view: the duration column's text and the
// fitting of the first four columns to the view's width.
#pragma once

#include <string>

namespace sonara::ui {
class PlaylistView;
}

class TkDurationValueTransformer {
 public:
  // 0 gives "?"; else the seconds rounded to whole ones as m:ss or h:mm:ss.
  static std::string transformedValue(double seconds);
};

// A column was resized by the user: column 3 takes what is left.
void fitLastColumn(sonara::ui::PlaylistView& view);
// The view was resized: column 0 stays, columns 1 and 2 share the rest in their
// current ratio (each at least 100), column 3 takes the remainder.
void fitColumnsToWidth(sonara::ui::PlaylistView& view);
