// Check-box glyphs drawn with plain GDI so they look the same with or
// without visual styles: a 13 x 13 box centred in a 16 x 16 cell, a tick for
// checked and a filled square for partially checked.
#include <windows.h>
#include <commctrl.h>

#include "skin/win/controls/check_glyphs.h"

namespace salvor::skin {
namespace {

constexpr COLORREF kBoxBorder = RGB(0x33, 0x33, 0x33);
constexpr COLORREF kBoxFill = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kMark = RGB(0x21, 0x21, 0x21);
// Image-list mask colour for the blank image and the cell corners.
constexpr COLORREF kMaskColour = RGB(0xFF, 0x00, 0xFF);

void FillSolid(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
  const RECT rc{left, top, right, bottom};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
}

}  // namespace

void DrawCheckGlyph(HDC dc, int x, int y, int state) {
  if (state < 1 || state > 3) return;
  const int left = x + 1, top = y + 1;  // 13 x 13 box inside the 16 x 16 cell
  FillSolid(dc, left, top, left + 13, top + 13, kBoxBorder);
  FillSolid(dc, left + 1, top + 1, left + 12, top + 12, kBoxFill);
  if (state == 3) {
    FillSolid(dc, left + 3, top + 3, left + 10, top + 10, kMark);
    return;
  }
  if (state == 2) {
    // A tick three pixels thick: down-right stroke then up-right stroke.
    for (int i = 0; i < 3; ++i) {
      const int bx = left + 3, by = top + 5 + i;
      for (int k = 0; k < 3; ++k) SetPixel(dc, bx + k, by + k, kMark);
      for (int k = 0; k < 5; ++k) SetPixel(dc, bx + 2 + k, by + 2 - k, kMark);
    }
  }
}

void DrawExpandGlyph(HDC dc, int x, int y, bool expanded) {
  FillSolid(dc, x, y, x + 9, y + 9, RGB(0x80, 0x80, 0x80));
  FillSolid(dc, x + 1, y + 1, x + 8, y + 8, RGB(0xFF, 0xFF, 0xFF));
  FillSolid(dc, x + 2, y + 4, x + 7, y + 5, RGB(0, 0, 0));
  if (!expanded) FillSolid(dc, x + 4, y + 2, x + 5, y + 7, RGB(0, 0, 0));
}

HIMAGELIST CreateCheckStateImageList() {
  constexpr int kImages = 4;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP strip = CreateCompatibleBitmap(screen, kCheckGlyphSize * kImages, kCheckGlyphSize);
  ReleaseDC(nullptr, screen);
  if (!mem || !strip) {
    if (strip) DeleteObject(strip);
    if (mem) DeleteDC(mem);
    return nullptr;
  }
  HGDIOBJ old = SelectObject(mem, strip);
  FillSolid(mem, 0, 0, kCheckGlyphSize * kImages, kCheckGlyphSize, kMaskColour);
  for (int state = 1; state < kImages; ++state) DrawCheckGlyph(mem, state * kCheckGlyphSize, 0, state);
  SelectObject(mem, old);
  DeleteDC(mem);

  HIMAGELIST list = ImageList_Create(kCheckGlyphSize, kCheckGlyphSize, ILC_COLOR24 | ILC_MASK, kImages, 0);
  if (list && ImageList_AddMasked(list, strip, kMaskColour) < 0) {
    ImageList_Destroy(list);
    list = nullptr;
  }
  DeleteObject(strip);
  return list;
}

}  // namespace salvor::skin
