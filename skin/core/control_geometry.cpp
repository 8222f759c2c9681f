// Progress bar and tab strip arithmetic.
#include "skin/core/control_geometry.h"

#include <algorithm>
#include <utility>

namespace salvor::skin {

double progress_fraction(int min, int max, int value) {
  if (min == max) return 0.0;
  if (min > max) std::swap(min, max);
  value = std::clamp(value, min, max);
  // In doubles: max - min may not fit an int.
  return (static_cast<double>(value) - min) / (static_cast<double>(max) - min);
}

int progress_percent(int min, int max, int value) {
  return static_cast<int>(progress_fraction(min, max, value) * 100.0);
}

Rect progress_bar_rect(const Rect& whole, double fraction, int bar_height) {
  Rect bar = whole;
  bar.left += 2;
  bar.right = std::max(bar.left, whole.right - 2);
  fraction = std::clamp(fraction, 0.0, 1.0);
  bar.right = bar.left + static_cast<int>(bar.width() * fraction);
  if (bar_height > 0) {
    bar.top = whole.top + (whole.height() - bar_height) / 2;
    bar.bottom = bar.top + bar_height;
  }
  return bar;
}

Rect tab_header_rect(const Rect& control, int index, Size header, int tab_pos, int spacing,
                     bool vertical) {
  if (index < 0) return {};
  const long long step = vertical ? header.height + spacing : header.width + spacing;
  const long long offset = static_cast<long long>(index) * step + tab_pos;
  // A strip that runs off any screen is clamped rather than overflowed.
  const int along = static_cast<int>(std::clamp(offset, -1'000'000LL, 1'000'000LL));
  const int x = control.left + (vertical ? 0 : along);
  const int y = control.top + (vertical ? along : 0);
  return {x, y, x + header.width, y + header.height};
}

}  // namespace salvor::skin
