// Parsing of the skin resources' value syntax.
#include "skin/core/values.h"

#include <climits>

namespace salvor::skin {
namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::uint8_t colour_pair(std::string_view text, std::size_t at) {
  if (text.size() < at + 2) return 0;
  const int hi = hex_digit(text[at]);
  const int lo = hex_digit(text[at + 1]);
  if (hi < 0 || lo < 0) return 0;
  return static_cast<std::uint8_t>(hi * 16 + lo);
}

}  // namespace

Colour parse_colour(std::string_view text) {
  return rgb(colour_pair(text, 0), colour_pair(text, 2), colour_pair(text, 4));
}

std::uint16_t parse_font_code(std::string_view text) {
  // More than four digits cannot be a 16-bit code; treat like garbage.
  if (text.size() > 4) return 0;
  std::uint32_t code = 0;
  for (char c : text) {
    const int d = hex_digit(c);
    if (d < 0) return 0;
    code = code * 16 + static_cast<std::uint32_t>(d);
  }
  return static_cast<std::uint16_t>(code);
}

FontSpec font_spec(std::uint16_t code) {
  FontSpec font;
  const auto increase = static_cast<std::int8_t>(static_cast<std::uint8_t>(code >> 8));
  font.height = kBaseFontHeight - increase;
  font.weight = (code & 4) ? 700 : 400;
  font.underline = (code & 2) != 0;
  font.italic = (code & 1) != 0;
  return font;
}

int parse_decimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) {
      value = INT_MAX;
      break;
    }
  }
  return static_cast<int>(negative ? -value : value);
}

std::uint32_t parse_hex(std::string_view text) {
  std::size_t i = 0;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) i = 2;
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int d = hex_digit(text[i]);
    if (d < 0) break;
    value = value * 16 + static_cast<std::uint64_t>(d);
    if (value > 0xFFFFFFFFu) return 0xFFFFFFFFu;
  }
  return static_cast<std::uint32_t>(value);
}

int sub_image_for_state(std::uint32_t state_word) {
  if (state_word == state::kNone) return -1;
  if (state_word & state::kDisabled) return 3;
  if (state_word & state::kPushed) return 2;
  if (state_word & state::kHover) return 1;
  return 0;
}

}  // namespace salvor::skin
