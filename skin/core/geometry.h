// Rectangles and sizes in a host window's client coordinates, and the
// "pos" syntax of the layouts: up to four comma-separated coordinates, each
// an optional "|" (from the parent's centre), an optional "-" (back from the
// right/bottom edge, or left of/above the centre) and a decimal number.
#pragma once

#include <array>
#include <string_view>

namespace salvor::skin {

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool operator==(const Rect&) const = default;
};

struct Coordinate {
  bool from_centre = false;  // "|"
  bool from_end = false;     // "-"
  int value = 0;
  bool operator==(const Coordinate&) const = default;
};

// A parsed "pos". count is 0 (no position), 2 (top-left corner; size from
// content) or 4 (both corners): any other number of values, or a value that
// is not a coordinate, leaves the element without a position.
struct PosSpec {
  int count = 0;
  std::array<Coordinate, 4> coords{};
  bool has_position() const { return count == 2 || count == 4; }
};

PosSpec parse_pos(std::string_view text);

// The coordinate rule along one axis: origin is the client area's left (or
// top), extent its width (or height).
int resolve_coordinate(const Coordinate& c, int origin, int extent);

// The rectangle a four-value position gives inside a parent's client area
// (x2 < x1 collapses to zero width; likewise for y).
Rect resolve_rect(const PosSpec& pos, const Rect& client);

}  // namespace salvor::skin
