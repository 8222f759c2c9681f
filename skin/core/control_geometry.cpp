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
  // Sizes, offsets and strips that run off any screen are clamped rather
  // than overflowed (the numbers come from layout attributes).
  constexpr long long kFar = 1'000'000;
  const int width = static_cast<int>(std::clamp<long long>(header.width, 0, kFar));
  const int height = static_cast<int>(std::clamp<long long>(header.height, 0, kFar));
  const long long step = static_cast<long long>(vertical ? height : width) + spacing;
  const long long offset = static_cast<long long>(index) * step + tab_pos;
  const long long along = std::clamp(offset, -kFar, kFar);
  const int x = static_cast<int>(std::clamp(control.left + (vertical ? 0 : along), -kFar, kFar));
  const int y = static_cast<int>(std::clamp(control.top + (vertical ? along : 0), -kFar, kFar));
  return {x, y, x + width, y + height};
}

}  // namespace salvor::skin
