// Rich text on Windows: GDI widths for the portable line breaking, link
// children for the mouse, drawing of the plain pieces.
#include "skin/win/rich_text.h"

#include <string>

#include "skin/win/element_paint.h"
#include "skin/win/resources.h"

namespace salvor::skin {
namespace {

constexpr UINT kPieceFormat = DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX;

RichTextMetrics metrics_of(const CGwWindow& e) {
  RichTextMetrics m;
  m.spacing_px = e.style.spacing_px;
  m.line_spacing_px = e.style.line_spacing_px;
  if (const std::string* font = e.class_attribute("defaultfont")) m.base_font_code = parse_font_code(*font);
  return m;
}

bool same_pieces(const std::vector<RichPiece>& a, const std::vector<RichPiece>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].text != b[i].text || a[i].rect != b[i].rect || a[i].font_code != b[i].font_code ||
        a[i].colour != b[i].colour || a[i].link_index != b[i].link_index ||
        a[i].link_id != b[i].link_id || a[i].href != b[i].href)
      return false;
  }
  return true;
}

// One child per link piece: the mouse router hovers, presses and clicks it
// like any "link" element, and the painter draws it with its hover colour.
void rebuild_links(CGwWindow& e) {
  e.clear_children();
  const std::string* link_class = e.class_attribute("linkclass");
  const GwStyle& link_style = GwStyles().get(link_class != nullptr ? *link_class : "");
  for (const RichPiece& piece : e.rich_pieces) {
    if (piece.link_index == 0) continue;
    auto link = std::make_unique<CGwWindow>("link");
    link->style = link_style;
    link->style.text_mode = kPieceFormat;
    link->style.x_margin_px = link->style.y_margin_px = 0;
    if (!link->style.font) link->style.font = piece.font_code;
    if (link->style.text == kNoColour && piece.colour != kNoColour)
      link->style.text = piece.colour;
    link->text = piece.text;
    link->id = piece.link_id;
    link->href = piece.href;
    link->rect = piece.rect;
    e.append(std::move(link));
  }
}

}  // namespace

bool LayoutRichText(CGwWindow& e) {
  std::vector<RichPiece> pieces =
      layout_rich_text(e.rich_runs, e.client_rect(), metrics_of(e), TextWidthPx);
  if (same_pieces(pieces, e.rich_pieces)) return false;
  e.rich_pieces = std::move(pieces);
  rebuild_links(e);
  return true;
}

Size MeasureRichText(const CGwWindow& e) {
  Rect unbounded{0, 0, 1 << 24, 1 << 24};
  const std::vector<RichPiece> pieces =
      layout_rich_text(e.rich_runs, unbounded, metrics_of(e), TextWidthPx);
  Size size = rich_text_extent(pieces, 0, 0);
  size.width += 2 * e.style.x_margin_px;
  size.height += 2 * e.style.y_margin_px;
  return size;
}

void PaintRichText(HDC dc, const CGwWindow& e) {
  const COLORREF colour = EffectiveTextColour(e);
  const bool disabled = e.disabled_in_tree();
  for (const RichPiece& piece : e.rich_pieces) {
    if (piece.link_index != 0) continue;
    HGDIOBJ old = SelectObject(dc, GwFontPool::Instance().Get(piece.font_code));
    SetTextColor(dc, !disabled && piece.colour != kNoColour ? piece.colour : colour);
    RECT rc{piece.rect.left, piece.rect.top, piece.rect.right + 1, piece.rect.bottom};
    DrawTextW(dc, reinterpret_cast<const wchar_t*>(piece.text.c_str()),
              static_cast<int>(piece.text.size()), &rc, kPieceFormat);
    SelectObject(dc, old);
  }
}

}  // namespace salvor::skin
