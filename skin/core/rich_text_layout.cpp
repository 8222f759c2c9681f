// Line breaking of rich text runs.
#include "skin/core/rich_text_layout.h"

#include <algorithm>

namespace salvor::skin {
namespace {

// Longest prefix of text (in UTF-16 units, never splitting a surrogate pair)
// no wider than room; widths grow with length, so a binary search does.
std::size_t fitting_prefix(std::u16string_view text, std::uint16_t font, int room,
                           const TextWidth& width) {
  std::size_t lo = 0;
  std::size_t hi = text.size();
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo + 1) / 2;
    if (width(text.substr(0, mid), font) <= room) lo = mid;
    else hi = mid - 1;
  }
  if (lo > 0 && lo < text.size() && text[lo - 1] >= 0xD800 && text[lo - 1] <= 0xDBFF) --lo;
  return lo;
}

std::size_t one_character(std::u16string_view text) {
  if (text.size() >= 2 && text[0] >= 0xD800 && text[0] <= 0xDBFF) return 2;
  return 1;
}

}  // namespace

std::vector<RichPiece> layout_rich_text(const std::vector<RichRun>& runs, const Rect& client,
                                        const RichTextMetrics& metrics, const TextWidth& width) {
  std::vector<RichPiece> pieces;
  const int line_height = std::max(1, metrics.line_spacing_px);
  int pen_x = client.left;
  int pen_y = client.top;
  auto new_line = [&] {
    pen_x = client.left;
    pen_y += line_height;
  };
  for (const RichRun& run : runs) {
    if (run.line_break) {
      new_line();
      continue;
    }
    const std::uint16_t font = static_cast<std::uint16_t>(metrics.base_font_code | run.font_code);
    std::u16string_view rest = run.text;
    // Each pass writes at least one character or moves to a fresh line, and
    // a fresh line always writes one: at most 2 * size passes.
    while (!rest.empty()) {
      const bool line_start = pen_x == client.left;
      const int room = client.right - pen_x;
      const int whole = width(rest, font);
      std::size_t n = rest.size();
      if (whole > room) {
        n = room > 0 ? fitting_prefix(rest, font, room, width) : 0;
        // Lines end between words where they can: the prefix is cut back to
        // its last space, and a word that would be split in the middle of a
        // line starts the next one. Only a word wider than a whole line is
        // cut at the edge.
        if (n > 0) {
          const std::size_t space = rest.substr(0, n + 1).find_last_of(u' ');
          if (space != std::u16string_view::npos && space > 0) n = space;
          else if (space == std::u16string_view::npos && !line_start) n = 0;
        }
        if (n == 0) {
          if (!line_start) {
            new_line();
            continue;
          }
          n = one_character(rest);  // too narrow for even one: write it anyway
        }
      }
      const std::u16string_view part = rest.substr(0, n);
      const int w = n == rest.size() ? whole : width(part, font);
      RichPiece piece;
      piece.text = std::u16string(part);
      piece.font_code = font;
      piece.colour = run.colour;
      piece.link_index = run.link_index;
      piece.link_id = run.link_id;
      piece.href = run.href;
      piece.rect = {pen_x, pen_y, pen_x + w, pen_y + line_height};
      pieces.push_back(std::move(piece));
      rest.remove_prefix(n);
      if (rest.empty()) {
        pen_x += w + metrics.spacing_px;
      } else {
        new_line();
        // The spaces at a break belong to neither line.
        while (!rest.empty() && rest.front() == u' ') rest.remove_prefix(1);
      }
    }
  }
  return pieces;
}

Size rich_text_extent(const std::vector<RichPiece>& pieces, int origin_x, int origin_y) {
  Size extent;
  for (const RichPiece& p : pieces) {
    extent.width = std::max(extent.width, p.rect.right - origin_x);
    extent.height = std::max(extent.height, p.rect.bottom - origin_y);
  }
  return extent;
}

}  // namespace salvor::skin
