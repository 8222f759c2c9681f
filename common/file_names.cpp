#include "common/file_names.h"

#include <string>

namespace salvor::names {
namespace {

constexpr std::u16string_view kCutMark = u"\u2026";

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Units of the character that starts at `text[i]`, and how many UTF-16
// units it takes.
size_t character_at(std::u16string_view text, size_t i, NameUnits units, size_t& width) {
  const char16_t c = text[i];
  const bool pair = is_high_surrogate(c) && i + 1 < text.size() && is_low_surrogate(text[i + 1]);
  width = pair ? 2 : 1;
  if (units == NameUnits::kUtf16Units) return width;
  if (pair) return 4;
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  return 3;  // a lone surrogate is written as U+FFFD, three bytes too
}

std::u16string number_suffix(unsigned number) {
  std::u16string digits;
  for (unsigned n = number; n != 0; n /= 10) digits.insert(digits.begin(), static_cast<char16_t>(u'0' + n % 10));
  return u" (" + digits + u")";
}

}  // namespace

std::u16string_view ExtensionOf(std::u16string_view name) {
  const size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot == 0 || name.size() - dot > kMaxExtensionUnits) return {};
  return name.substr(dot);
}

std::u16string NumberedName(std::u16string_view name, unsigned number) {
  const size_t dot = name.rfind(u'.');
  const std::u16string suffix = number_suffix(number);
  if (dot == std::u16string_view::npos || dot == 0) return std::u16string(name) + suffix;
  return std::u16string(name.substr(0, dot)) + suffix + std::u16string(name.substr(dot));
}

size_t NameLength(std::u16string_view name, NameUnits units) {
  size_t length = 0;
  for (size_t i = 0, width = 0; i < name.size(); i += width) length += character_at(name, i, units, width);
  return length;
}

std::u16string FittedName(std::u16string_view name, unsigned number, size_t limit, NameUnits units) {
  std::u16string whole = number == 0 ? std::u16string(name) : NumberedName(name, number);
  if (NameLength(whole, units) <= limit) return whole;
  std::u16string_view extension = ExtensionOf(name);
  const std::u16string suffix = number == 0 ? std::u16string() : number_suffix(number);
  size_t tail = NameLength(kCutMark, units) + NameLength(suffix, units) + NameLength(extension, units);
  if (tail > limit) {  // the extension alone does not fit: cut the name as a whole
    extension = {};
    tail = NameLength(kCutMark, units) + NameLength(suffix, units);
    if (tail > limit) return std::u16string(kCutMark).substr(0, limit);
  }
  const std::u16string_view stem = name.substr(0, name.size() - extension.size());
  size_t kept = 0;
  for (size_t used = 0, width = 0; kept < stem.size(); kept += width) {
    const size_t units_here = character_at(stem, kept, units, width);
    if (used + units_here > limit - tail) break;
    used += units_here;
  }
  return std::u16string(stem.substr(0, kept)) + std::u16string(kCutMark) + suffix + std::u16string(extension);
}

}  // namespace salvor::names
