// The Win32 half of rich text: breaking a richtext element's runs into lines
// with GDI widths, the "link" children that make its links hoverable and
// clickable, and drawing the plain pieces.
#pragma once

#include <windows.h>

#include "skin/core/element.h"

namespace salvor::skin {

// Lays the runs out inside e's client area and rebuilds its link children
// (one per link piece, styled by "linkclass") when the pieces changed.
// True when they changed.
bool LayoutRichText(CGwWindow& e);

// Natural size: the runs on unbounded lines.
Size MeasureRichText(const CGwWindow& e);

// Draws the pieces that are not links (the link children draw themselves).
void PaintRichText(HDC dc, const CGwWindow& e);

}  // namespace salvor::skin
