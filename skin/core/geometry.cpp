// The "pos" syntax and the coordinate rule.
#include "skin/core/geometry.h"

#include <algorithm>

namespace salvor::skin {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool parse_coordinate(std::string_view text, Coordinate& out) {
  text = trim(text);
  Coordinate c;
  if (!text.empty() && text.front() == '|') {
    c.from_centre = true;
    text.remove_prefix(1);
  }
  if (!text.empty() && text.front() == '-') {
    c.from_end = true;
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  long long value = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') return false;
    value = value * 10 + (ch - '0');
    // Screen coordinates: anything past a million pixels is nonsense.
    if (value > 1'000'000) return false;
  }
  c.value = static_cast<int>(value);
  out = c;
  return true;
}

}  // namespace

PosSpec parse_pos(std::string_view text) {
  PosSpec pos;
  std::array<Coordinate, 4> coords{};
  int count = 0;
  while (true) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    if (count == 4) return pos;  // a fifth value: not a position
    if (!parse_coordinate(item, coords[static_cast<std::size_t>(count)])) return pos;
    ++count;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (count != 2 && count != 4) return pos;
  pos.count = count;
  pos.coords = coords;
  return pos;
}

int resolve_coordinate(const Coordinate& c, int origin, int extent) {
  if (c.from_centre) return origin + extent / 2 + (c.from_end ? -c.value : c.value);
  return c.from_end ? origin + extent - c.value : origin + c.value;
}

Rect resolve_rect(const PosSpec& pos, const Rect& client) {
  Rect r;
  r.left = resolve_coordinate(pos.coords[0], client.left, client.width());
  r.top = resolve_coordinate(pos.coords[1], client.top, client.height());
  if (pos.count == 4) {
    r.right = std::max(r.left, resolve_coordinate(pos.coords[2], client.left, client.width()));
    r.bottom = std::max(r.top, resolve_coordinate(pos.coords[3], client.top, client.height()));
  } else {
    r.right = r.left;
    r.bottom = r.top;
  }
  return r;
}

}  // namespace salvor::skin
