// Value syntax of the skin resources: colours ("RRGGBB"), font codes (a
// 16-bit hex number: size increase in the high byte, bold/underline/italic in
// the low bits), leading decimal and hex numbers, and the state word that
// skins and elements share. Pure parsing; the Win32 side turns these into
// COLORREFs, LOGFONTs and drawing states.
#pragma once

#include <cstdint>
#include <string_view>

namespace salvor::skin {

// A COLORREF: red in the low byte. kNoColour stands for "not set".
using Colour = std::uint32_t;
inline constexpr Colour kNoColour = 0xFFFFFFFFu;

constexpr Colour rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return Colour{r} | (Colour{g} << 8) | (Colour{b} << 16);
}

// Six hex digits, red first, either case. Each two-digit pair stands alone:
// a pair with a non-hex character or past the end of the text is 0, so "0000"
// is black and "ff" is pure red.
Colour parse_colour(std::string_view text);

// Up to four hex digits; any non-hex character makes the whole code 0.
std::uint16_t parse_font_code(std::string_view text);

// What a font code asks for, relative to the Tahoma base font.
struct FontSpec {
  int height = -11;  // logical units; negative = character height
  int weight = 400;
  bool underline = false;
  bool italic = false;
};
inline constexpr int kBaseFontHeight = -11;
FontSpec font_spec(std::uint16_t code);

// Leading signed decimal number ("12px" -> 12, "x" -> 0). Saturates instead
// of overflowing.
int parse_decimal(std::string_view text);
// Leading hexadecimal number, optional "0x" ("28" -> 0x28).
std::uint32_t parse_hex(std::string_view text);

// The state word of elements and skins.
namespace state {
inline constexpr std::uint32_t kHover = 1u << 0;
inline constexpr std::uint32_t kPushed = 1u << 1;
inline constexpr std::uint32_t kChecked = 1u << 2;
inline constexpr std::uint32_t kHidden = 1u << 3;
inline constexpr std::uint32_t kDisabled = 1u << 4;
// "No state": a skin draws its whole image.
inline constexpr std::uint32_t kNone = 0xFFFFFFFFu;
}  // namespace state

// Sub-image a state selects: 3 disabled, 2 pushed, 1 hovered, else 0;
// -1 for kNone (whole image).
int sub_image_for_state(std::uint32_t state_word);

}  // namespace salvor::skin
