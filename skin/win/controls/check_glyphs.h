// The three check-box glyphs (unchecked, checked, partially checked) drawn at
// run time, shared by the owner-drawn list and the three-state trees.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace salvor::skin {

inline constexpr int kCheckGlyphSize = 16;

// Draws the glyph of check state `state` (1 unchecked, 2 checked, 3 partial)
// into the 16 x 16 square at (x, y). Other states draw nothing.
void DrawCheckGlyph(HDC dc, int x, int y, int state);

// A 16 x 16 image list of four images indexed by check state: 0 blank (a
// tree's state image 0 means "no check box"), 1 unchecked, 2 checked,
// 3 partial. The caller owns it (ImageList_Destroy). Null on failure.
HIMAGELIST CreateCheckStateImageList();

// Draws the 9 x 9 expand (plus) or collapse (minus) box at (x, y).
void DrawExpandGlyph(HDC dc, int x, int y, bool expanded);

}  // namespace salvor::skin
