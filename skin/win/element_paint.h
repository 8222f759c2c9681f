// Painting the element tree of a dialog view with GDI through the skin
// resources (skins, font pool, style table), and the natural sizes that its
// layout asks for. The view renders with PaintTree into its off-screen
// bitmap and lays out with MeasureElement.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "skin/core/element.h"

namespace salvor::skin {

// Paints e and, for containers, its visible children in list order,
// skipping those outside update (null: everything). view is the window the
// elements live in (for themed check boxes).
void PaintTree(HDC dc, CGwWindow& e, HRGN update, HWND view);

// Natural size of an element for layout (text extent, skin size ...).
Size MeasureElement(const CGwWindow& e);

// The font code and text colour an element draws with: its own, else the
// nearest ancestor's; the hover font and colour while hovered; the disabled
// colour inside a disabled container.
std::uint16_t EffectiveFontCode(const CGwWindow& e);
COLORREF EffectiveTextColour(const CGwWindow& e);

// Width of text in the font of code (rich text breaking).
int TextWidthPx(std::u16string_view text, std::uint16_t font_code);

// A device context for measuring outside painting.
HDC MeasureDc();

}  // namespace salvor::skin
