// Portable arithmetic of two drawn controls: the progress bar's fraction and
// filled bar, and where a tab control puts the header of page k.
#pragma once

#include "skin/core/geometry.h"

namespace salvor::skin {

// (value - min) / (max - min) in [0, 1]: a reversed range is swapped, the
// value clamped into it, and an empty range gives 0.
double progress_fraction(int min, int max, int value);
// Whole percent shown on the bar (truncated).
int progress_percent(int min, int max, int value);
// The filled part: the rectangle inset by 2 pixels on both sides, as wide as
// the fraction of that width; with a bar skin of natural height bar_height
// (> 0) it is centred vertically at that height.
Rect progress_bar_rect(const Rect& whole, double fraction, int bar_height);

// Header k of a tab strip: offset along the strip by k * (size + spacing) +
// tab_pos from the control's top-left corner; horizontal strips for "top",
// vertical ones for "left". A negative index has no header.
Rect tab_header_rect(const Rect& control, int index, Size header, int tab_pos, int spacing,
                     bool vertical);

}  // namespace salvor::skin
