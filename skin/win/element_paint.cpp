// GDI painting of elements, tag by tag, and their natural sizes.
#include "skin/win/element_paint.h"

#include <uxtheme.h>
#include <vssym32.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>

#include "common/text.h"
#include "skin/core/control_geometry.h"
#include "skin/win/resources.h"
#include "skin/win/rich_text.h"
#include "skin/win/skins.h"

namespace salvor::skin {
namespace {

constexpr int kBoxPx = 13;      // check box and radio glyph
constexpr int kBoxTextPx = 17;  // text starts this far right of the box
constexpr COLORREF kBarColour = 0x906142;

RECT to_rect(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

const wchar_t* wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

int class_int(const CGwWindow& e, std::string_view name, int fallback) {
  const std::string* value = e.class_attribute(name);
  return value != nullptr && !value->empty() ? parse_decimal(*value) : fallback;
}

CGwSkinBase* class_skin(const CGwWindow& e, std::string_view name) {
  const std::string* value = e.class_attribute(name);
  return value != nullptr && !value->empty() ? FindSkin(*value) : nullptr;
}

// The state word a skin sees: the element's own bits, plus disabled when a
// container above it is disabled.
std::uint32_t draw_state(const CGwWindow& e) {
  std::uint32_t s = e.state & (state::kHover | state::kPushed | state::kChecked | state::kDisabled);
  if (e.disabled_in_tree()) s |= state::kDisabled;
  return s;
}

void fill(HDC dc, const Rect& r, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  RECT rc = to_rect(r);
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
}

class FontScope {
 public:
  FontScope(HDC dc, std::uint16_t code)
      : dc_(dc), old_(SelectObject(dc, GwFontPool::Instance().Get(code))) {}
  ~FontScope() { SelectObject(dc_, old_); }
  FontScope(const FontScope&) = delete;
  FontScope& operator=(const FontScope&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

void draw_text(HDC dc, const CGwWindow& e, const Rect& r, UINT format) {
  if (e.text.empty()) return;
  FontScope font(dc, EffectiveFontCode(e));
  SetTextColor(dc, EffectiveTextColour(e));
  RECT rc = to_rect(r);
  DrawTextW(dc, wide(e.text), static_cast<int>(e.text.size()), &rc, format);
}

Size text_extent(const std::u16string& text, std::uint16_t font_code, UINT format) {
  if (text.empty()) return {};
  HDC dc = MeasureDc();
  FontScope font(dc, font_code);
  RECT rc{0, 0, 0, 0};
  format &= ~static_cast<UINT>(DT_WORDBREAK | DT_VCENTER | DT_BOTTOM | DT_CENTER | DT_RIGHT);
  DrawTextW(dc, wide(text), static_cast<int>(text.size()), &rc, format | DT_CALCRECT);
  return {rc.right - rc.left, rc.bottom - rc.top};
}

void paint_background(HDC dc, const CGwWindow& e) {
  if (e.tag() == "hr") return;  // its "crbg" is the line colour
  if (!e.style.skin.empty()) {
    if (CGwSkinBase* skin = FindSkin(e.style.skin)) {
      skin->Draw(dc, e.rect, draw_state(e));
      return;
    }
  }
  // A style naming a skin the table lacks still shows its colours.
  if ((e.state & state::kHover) && e.style.background_hover != kNoColour)
    fill(dc, e.rect, e.style.background_hover);
  else if (e.style.background != kNoColour)
    fill(dc, e.rect, e.style.background);
}

void paint_progress(HDC dc, const CGwWindow& e) {
  if (CGwSkinBase* bg = class_skin(e, "bgskin")) bg->Draw(dc, e.rect, state::kNone);
  const int min = class_int(e, "min", 0);
  const int max = class_int(e, "max", 100);
  const int value = class_int(e, "value", 0);
  const double fraction = progress_fraction(min, max, value);
  CGwSkinBase* pos_skin = class_skin(e, "posskin");
  const Rect bar = progress_bar_rect(e.rect, fraction, pos_skin ? pos_skin->NaturalSize().height : 0);
  if (bar.width() > 0) {
    if (pos_skin != nullptr) {
      pos_skin->Draw(dc, bar, state::kNone);
    } else {
      HBRUSH brush = CreateSolidBrush(kBarColour);
      HPEN pen = CreatePen(PS_SOLID, 1, kBarColour);
      HGDIOBJ old_brush = SelectObject(dc, brush);
      HGDIOBJ old_pen = SelectObject(dc, pen);
      RoundRect(dc, bar.left, bar.top, bar.right, bar.bottom, 2, 2);
      SelectObject(dc, old_brush);
      SelectObject(dc, old_pen);
      DeleteObject(brush);
      DeleteObject(pen);
    }
  }
  if (class_int(e, "showpercent", 0) == 0) return;
  wchar_t percent[16];
  std::swprintf(percent, 16, L"%d%%", progress_percent(min, max, value));
  FontScope font(dc, EffectiveFontCode(e));
  RECT rc = to_rect(e.rect);
  const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
  SetTextColor(dc, EffectiveTextColour(e));
  DrawTextW(dc, percent, -1, &rc, format);
  // Over the filled bar the text reads in the element's background colour.
  if (bar.width() <= 0) return;
  HRGN saved = CreateRectRgn(0, 0, 0, 0);
  const bool had_clip = GetClipRgn(dc, saved) == 1;
  IntersectClipRect(dc, bar.left, bar.top, bar.right, bar.bottom);
  SetTextColor(dc, e.style.background != kNoColour ? e.style.background : RGB(255, 255, 255));
  DrawTextW(dc, percent, -1, &rc, format);
  SelectClipRgn(dc, had_clip ? saved : nullptr);
  DeleteObject(saved);
}

void paint_line(HDC dc, const CGwWindow& e) {
  int style = PS_SOLID;
  if (const std::string* s = e.class_attribute("style")) {
    if (*s == "dash") style = PS_DASH;
    else if (*s == "dot") style = PS_DOT;
    else if (*s == "dashdot") style = PS_DASHDOT;
    else if (*s == "dashdotdot") style = PS_DASHDOTDOT;
  }
  const int width = std::max(1, class_int(e, "size", 1));
  const COLORREF colour = e.style.background != kNoColour ? e.style.background : RGB(0, 0, 0);
  // A geometric pen keeps its dashes at any width (a cosmetic one draws
  // solid beyond one pixel).
  LOGBRUSH brush{BS_SOLID, colour, 0};
  HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_FLAT | static_cast<DWORD>(style),
                          static_cast<DWORD>(width), &brush, 0, nullptr);
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, e.rect.left, e.rect.top, nullptr);
  LineTo(dc, e.rect.right, e.rect.bottom);
  SelectObject(dc, old);
  DeleteObject(pen);
}

void paint_box(HDC dc, const CGwWindow& e, HWND view, bool radio) {
  const int top = e.rect.top + (e.rect.height() - kBoxPx) / 2;
  RECT box{e.rect.left, top, e.rect.left + kBoxPx, top + kBoxPx};
  const bool checked = (e.state & state::kChecked) != 0;
  const bool disabled = e.disabled_in_tree();
  const bool pushed = (e.state & state::kPushed) != 0;
  const bool hot = (e.state & state::kHover) != 0;
  bool drawn = false;
  if (IsThemeActive()) {
    if (HTHEME theme = OpenThemeData(view, L"BUTTON")) {
      // Part states come in fours: normal, hot, pressed, disabled.
      int s = disabled ? 4 : pushed ? 3 : hot ? 2 : 1;
      if (checked) s += 4;
      drawn = SUCCEEDED(DrawThemeBackground(theme, dc, radio ? BP_RADIOBUTTON : BP_CHECKBOX, s,
                                            &box, nullptr));
      CloseThemeData(theme);
    }
  }
  if (!drawn) {
    UINT flags = radio ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK;
    if (checked) flags |= DFCS_CHECKED;
    if (disabled) flags |= DFCS_INACTIVE;
    if (pushed) flags |= DFCS_PUSHED;
    DrawFrameControl(dc, &box, DFC_BUTTON, flags);
  }
  Rect text_rect = e.rect;
  text_rect.left += kBoxTextPx;
  draw_text(dc, e, text_rect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// Icons by (id, from the system, size), loaded once.
HICON icon_of(const CGwWindow& e, int size) {
  static std::map<std::tuple<int, bool, int>, HICON> icons;
  const std::string* oem = e.class_attribute("oem");
  const bool system = oem != nullptr && !oem->empty();
  const int id = system ? parse_decimal(*oem) : class_int(e, "src", 0);
  if (id <= 0) return nullptr;
  const auto key = std::make_tuple(id, system, size);
  auto it = icons.find(key);
  if (it != icons.end()) return it->second;
  HANDLE icon = LoadImageW(system ? nullptr : GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                           IMAGE_ICON, size, size, system ? LR_SHARED : 0);
  HICON result = static_cast<HICON>(icon);
  if (result != nullptr) icons.emplace(key, result);
  return result;
}

int icon_size(const CGwWindow& e) { return std::clamp(class_int(e, "size", 16), 1, 256); }

// The frame behind the pages ("frameskin" over the page area).
void paint_tab_frame(HDC dc, const CGwWindow& e) {
  if (CGwSkinBase* frame = class_skin(e, "frameskin")) frame->Draw(dc, e.tab_page_area(), state::kNone);
}

void paint_tab_headers(HDC dc, const CGwWindow& e) {
  CGwSkinBase* skin = class_skin(e, "tabskin");
  CGwSkinBase* icons = class_skin(e, "iconskin");
  const int icon_x = class_int(e, "icon-x", 0);
  const int icon_y = class_int(e, "icon-y", 0);
  const int text_x = class_int(e, "text-x", 0);
  const int text_y = class_int(e, "text-y", 0);
  const bool centred = e.class_attribute("text-x") == nullptr && e.class_attribute("text-y") == nullptr;
  const int count = e.tab_count();
  for (int k = 0; k < count; ++k) {
    const Rect header = e.tab_header_rect(k);
    // Sub-images: 0 normal, 2 the selected page's header.
    if (skin != nullptr) skin->Draw(dc, header, state::kNone, k == e.selected_tab() ? 2 : 0);
    // Icon k of the icon strip, at its offset in the header.
    if (icons != nullptr) {
      const Size size = icons->NaturalSize();
      const Rect at{header.left + icon_x, header.top + icon_y, header.left + icon_x + size.width,
                    header.top + icon_y + size.height};
      icons->Draw(dc, at, state::kNone, k);
    }
    const CGwWindow* page = e.tab_page(k);
    const std::string* title = page->class_attribute("title");
    if (title == nullptr || title->empty()) continue;
    const std::u16string text = salvor::text::from_utf8(*title);
    FontScope font(dc, EffectiveFontCode(e));
    SetTextColor(dc, EffectiveTextColour(e));
    RECT rc = to_rect(header);
    UINT format = DT_SINGLELINE | DT_NOPREFIX;
    if (centred) {
      format |= DT_CENTER | DT_VCENTER;
    } else {
      rc.left += text_x;
      rc.top += text_y;
    }
    DrawTextW(dc, wide(text), static_cast<int>(text.size()), &rc, format);
  }
}

void paint_content(HDC dc, const CGwWindow& e, HWND view) {
  const std::string& tag = e.tag();
  const Rect client = e.client_rect();
  if (tag == "text" || tag == "link") {
    draw_text(dc, e, client, e.style.text_mode);
  } else if (tag == "button") {
    draw_text(dc, e, client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  } else if (tag == "img" || tag == "imgbtn") {
    if (CGwSkinBase* skin = class_skin(e, "skin")) {
      if (tag == "img") skin->Draw(dc, e.rect, state::kNone, class_int(e, "sub", -1));
      else skin->Draw(dc, e.rect, draw_state(e));
    }
  } else if (tag == "progress") {
    paint_progress(dc, e);
  } else if (tag == "hr") {
    paint_line(dc, e);
  } else if (tag == "check" || tag == "radio") {
    paint_box(dc, e, view, tag == "radio");
  } else if (tag == "icon") {
    const int size = icon_size(e);
    if (HICON icon = icon_of(e, size))
      DrawIconEx(dc, e.rect.left, e.rect.top, icon, size, size, 0, nullptr, DI_NORMAL);
  } else if (tag == "richtext") {
    PaintRichText(dc, e);
  }
  // realwnd: its control draws itself; br: nothing.
}

bool outside(const CGwWindow& e, HRGN update) {
  if (update == nullptr) return false;
  RECT rc = to_rect(e.rect);
  return !RectInRegion(update, &rc);
}

}  // namespace

HDC MeasureDc() {
  static HDC dc = CreateCompatibleDC(nullptr);
  return dc;
}

std::uint16_t EffectiveFontCode(const CGwWindow& e) {
  if ((e.state & state::kHover) && e.style.hover_font) return *e.style.hover_font;
  for (const CGwWindow* p = &e; p != nullptr; p = p->parent())
    if (p->style.font) return *p->style.font;
  return 0;
}

COLORREF EffectiveTextColour(const CGwWindow& e) {
  if (e.disabled_in_tree()) return e.style.text_disabled;
  if ((e.state & state::kHover) && e.style.text_hover != kNoColour) return e.style.text_hover;
  for (const CGwWindow* p = &e; p != nullptr; p = p->parent())
    if (p->style.text != kNoColour) return p->style.text;
  return RGB(0, 0, 0);
}

int TextWidthPx(std::u16string_view text, std::uint16_t font_code) {
  if (text.empty()) return 0;
  HDC dc = MeasureDc();
  FontScope font(dc, font_code);
  SIZE size{};
  GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()),
                        static_cast<int>(text.size()), &size);
  return size.cx;
}

Size MeasureElement(const CGwWindow& e) {
  const std::string& tag = e.tag();
  const int margin_w = 2 * e.style.x_margin_px;
  const int margin_h = 2 * e.style.y_margin_px;
  if (tag == "img" || tag == "imgbtn") {
    CGwSkinBase* skin = class_skin(e, "skin");
    return skin != nullptr ? skin->NaturalSize() : Size{};
  }
  if (tag == "progress") {
    CGwSkinBase* skin = class_skin(e, "bgskin");
    return skin != nullptr ? skin->NaturalSize() : Size{};
  }
  if (tag == "tabctrl") {  // the size of one header
    CGwSkinBase* skin = class_skin(e, "tabskin");
    return skin != nullptr ? skin->NaturalSize() : Size{};
  }
  if (tag == "icon") {
    const int size = icon_size(e);
    return {size, size};
  }
  if (tag == "richtext") return MeasureRichText(e);
  if (tag == "check" || tag == "radio") {
    Size text = text_extent(e.text, EffectiveFontCode(e), DT_SINGLELINE | DT_NOPREFIX);
    return {text.width + kBoxTextPx + margin_w, std::max(kBoxPx, text.height) + margin_h};
  }
  if (tag == "text" || tag == "link" || tag == "button") {
    const UINT format = tag == "button" ? DT_SINGLELINE : e.style.text_mode;
    Size text = text_extent(e.text, EffectiveFontCode(e), format);
    return {text.width + margin_w, text.height + margin_h};
  }
  // hr, realwnd, br: no content of their own.
  return {};
}

void PaintTree(HDC dc, CGwWindow& e, HRGN update, HWND view) {
  if (e.is_hidden() || e.tag() == "br") return;
  paint_background(dc, e);
  paint_content(dc, e, view);
  if (e.tag() == "tabctrl") paint_tab_frame(dc, e);
  if (e.is_container() || e.tag() == "richtext") {
    for (const auto& child : e.children()) {
      if (child->is_hidden() || outside(*child, update)) continue;
      PaintTree(dc, *child, update, view);
    }
  }
  // Headers go over the page, which fills the whole control.
  if (e.tag() == "tabctrl") paint_tab_headers(dc, e);
}

}  // namespace salvor::skin
