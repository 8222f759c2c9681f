// Style attribute setter, style and string tables.
#include "skin/core/style.h"

namespace salvor::skin {

bool GwStyle::set_attribute(std::string_view key, std::string_view value) {
  if (key == "crbg") {
    background = parse_colour(value);
  } else if (key == "crbghover") {
    background_hover = parse_colour(value);
  } else if (key == "crtext") {
    text = parse_colour(value);
  } else if (key == "crhover") {
    text_hover = parse_colour(value);
  } else if (key == "crdisabled") {
    text_disabled = parse_colour(value);
  } else if (key == "textmode") {
    text_mode = parse_hex(value);
  } else if (key == "font") {
    font = parse_font_code(value);
  } else if (key == "hoverfont") {
    hover_font = parse_font_code(value);
  } else if (key == "x-margin") {
    x_margin_px = parse_decimal(value);
  } else if (key == "y-margin") {
    y_margin_px = parse_decimal(value);
  } else if (key == "margin") {
    x_margin_px = y_margin_px = parse_decimal(value);
  } else if (key == "spacing") {
    spacing_px = parse_decimal(value);
  } else if (key == "linespacing") {
    line_spacing_px = parse_decimal(value);
  } else if (key == "cursor") {
    if (value == "hand") {
      cursor = Cursor::kHand;
    } else if (value == "arrow") {
      cursor = Cursor::kArrow;
    } else {
      return false;
    }
  } else if (key == "skin") {
    skin = std::string(value);
  } else if (key == "name") {
    name = std::string(value);
  } else {
    return false;
  }
  return true;
}

StyleTable::StyleTable() { clear(); }

void StyleTable::clear() {
  styles_.clear();
  styles_.emplace(std::string(), GwStyle{});
}

const GwStyle& StyleTable::get(std::string_view class_name) const {
  auto it = styles_.find(std::string(class_name));
  if (it == styles_.end()) it = styles_.find(std::string());
  return it->second;
}

GwStyle& StyleTable::get_or_create(std::string_view class_name) {
  auto [it, inserted] = styles_.try_emplace(std::string(class_name));
  if (inserted) it->second.name = std::string(class_name);
  return it->second;
}

const std::u16string* StringTable::get(std::uint32_t id) const {
  auto it = strings_.find(id);
  return it == strings_.end() ? nullptr : &it->second;
}

std::u16string expand_string_refs(std::u16string_view text, const StringTable& strings) {
  static constexpr std::u16string_view kOpen = u"%str";
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t at = text.find(kOpen, i);
    if (at == std::u16string_view::npos) break;
    out.append(text.substr(i, at - i));
    std::size_t j = at + kOpen.size();
    std::uint64_t id = 0;
    const std::size_t digits_from = j;
    // Ten digits bound the loop and keep the id inside 32 bits' reach.
    while (j < text.size() && j - digits_from < 10 && text[j] >= u'0' && text[j] <= u'9') {
      id = id * 10 + (text[j] - u'0');
      ++j;
    }
    const std::u16string* replacement = nullptr;
    if (j > digits_from && j < text.size() && text[j] == u'%' && id > 0 && id <= 0xFFFFFFFFu)
      replacement = strings.get(static_cast<std::uint32_t>(id));
    if (replacement) {
      out.append(*replacement);
      i = j + 1;
    } else {
      // Not a token: keep the '%' and rescan after it.
      out.push_back(text[at]);
      i = at + 1;
    }
  }
  out.append(text.substr(i));
  return out;
}

}  // namespace salvor::skin
