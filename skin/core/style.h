// Style classes: named sets of visual attributes (colours, font code,
// margins, spacing, cursor, skin name) with their defaults, the attribute
// setter that the style table and the layouts apply in document order, and
// the style and string tables. Fonts are kept as codes; the Win32 side looks
// them up in its font pool when it draws.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "skin/core/values.h"

namespace salvor::skin {

enum class Cursor { kArrow, kHand };

struct GwStyle {
  Colour background = kNoColour;        // "crbg"
  Colour background_hover = kNoColour;  // "crbghover"
  Colour text = kNoColour;              // "crtext" (unset: inherit)
  Colour text_hover = kNoColour;        // "crhover"
  Colour text_disabled = 0xCCCCCC;      // "crdisabled"
  std::uint32_t text_mode = 0x28;       // "textmode": DrawText flags
  std::optional<std::uint16_t> font;        // "font" (unset: inherit)
  std::optional<std::uint16_t> hover_font;  // "hoverfont"
  int x_margin_px = 0;                  // "x-margin"
  int y_margin_px = 0;                  // "y-margin"
  int spacing_px = 0;                   // "spacing"
  int line_spacing_px = 20;             // "linespacing"
  Cursor cursor = Cursor::kArrow;       // "cursor"
  std::string skin;                     // "skin"
  std::string name;                     // "name"

  // Applies one attribute. Unknown names and bad "cursor" keywords are
  // rejected: false, nothing changed. "margin" sets both margins.
  bool set_attribute(std::string_view name, std::string_view value);
};

// Class name -> style. The empty-named default style always exists, and any
// unknown class name yields it.
class StyleTable {
 public:
  StyleTable();
  void clear();  // back to just the default style
  const GwStyle& get(std::string_view class_name) const;
  // The style of that name, created from the defaults if new.
  GwStyle& get_or_create(std::string_view class_name);
  std::size_t size() const { return styles_.size(); }

 private:
  std::unordered_map<std::string, GwStyle> styles_;
};

// Numbered texts ("%str12%" in layouts refers to string 12).
class StringTable {
 public:
  void clear() { strings_.clear(); }
  void set(std::uint32_t id, std::u16string text) { strings_[id] = std::move(text); }
  // Null when absent.
  const std::u16string* get(std::uint32_t id) const;
  std::size_t size() const { return strings_.size(); }

 private:
  std::unordered_map<std::uint32_t, std::u16string> strings_;
};

// Replaces each "%strN%" token (N a positive decimal) by string N, left to
// right; tokens naming an absent string are left as they are.
std::u16string expand_string_refs(std::u16string_view text, const StringTable& strings);

}  // namespace salvor::skin
