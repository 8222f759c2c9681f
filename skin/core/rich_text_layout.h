// Rich text of a "richtext" element: the runs its markup makes (text with a
// font code, a colour and an optional link) and the line breaking that turns
// them into positioned pieces inside the element's client area. Widths come
// from a measurer, so the breaking is testable without GDI.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "skin/core/geometry.h"
#include "skin/core/values.h"

namespace salvor::skin {

// Font code bits that the markup adds ("b", "u", "i").
namespace font_bit {
inline constexpr std::uint16_t kItalic = 0x1;
inline constexpr std::uint16_t kUnderline = 0x2;
inline constexpr std::uint16_t kBold = 0x4;
}  // namespace font_bit

struct RichRun {
  std::u16string text;
  std::uint16_t font_code = 0;
  Colour colour = kNoColour;  // kNoColour: the element's text colour
  bool line_break = false;    // a "br": no text
  // Link ("a"): link_index counts the markup's links from 1 (0: no link),
  // link_id is its "id", href its "href".
  int link_index = 0;
  int link_id = 0;
  std::string href;
  bool operator==(const RichRun&) const = default;
};

// One positioned piece of text: a run or the part of a run on one line.
struct RichPiece {
  std::u16string text;
  std::uint16_t font_code = 0;
  Colour colour = kNoColour;
  int link_index = 0;
  int link_id = 0;
  std::string href;
  Rect rect;
};

struct RichTextMetrics {
  int spacing_px = 0;        // pen advance after each run, beyond its width
  int line_spacing_px = 20;  // line height
  std::uint16_t base_font_code = 0;  // "defaultfont"; runs add their bits
};

// Width in pixels of text drawn with the font of font_code.
using TextWidth = std::function<int(std::u16string_view text, std::uint16_t font_code)>;

// Writes the runs from client's top-left corner. A run that does not fit
// before client.right writes its longest fitting prefix (at least one
// character at the start of a line, so every line makes progress) and
// continues on the next line; "br" starts a new line. Empty runs are kept
// out of the result.
std::vector<RichPiece> layout_rich_text(const std::vector<RichRun>& runs, const Rect& client,
                                        const RichTextMetrics& metrics, const TextWidth& width);

// Extent of laid-out pieces: widest right edge and lowest bottom relative to
// origin (0 x 0 for none).
Size rich_text_extent(const std::vector<RichPiece>& pieces, int origin_x, int origin_y);

}  // namespace salvor::skin
