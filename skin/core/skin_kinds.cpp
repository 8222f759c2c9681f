// Attributes and geometry of the skin kinds.
#include "skin/core/skin_kinds.h"

#include <algorithm>
#include <array>

#if SALVOR_SKIN_XML
#include <tinyxml.h>

#include <unordered_map>

#include "skin/core/xml_load.h"
#endif

namespace salvor::skin {
namespace {

constexpr std::array<std::pair<std::string_view, SkinKind>, 6> kTags{{
    {"imglst", SkinKind::kImageList},
    {"imgframe", SkinKind::kImgFrame},
    {"button", SkinKind::kButton},
    {"imghorzex", SkinKind::kImgHorzExtend},
    {"gradation", SkinKind::kGradation},
    {"png", SkinKind::kPng},
}};

// Resource ids are 16-bit (MAKEINTRESOURCE); 0 is no resource.
bool parse_resource_id(std::string_view value, unsigned& out) {
  const int id = parse_decimal(value);
  if (id <= 0 || id > 0xFFFF) return false;
  out = static_cast<unsigned>(id);
  return true;
}

bool parse_non_negative(std::string_view value, int& out) {
  const int n = parse_decimal(value);
  if (n < 0) return false;
  out = n;
  return true;
}

bool empty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

Rect intersect(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

// A same-size copy cut to `clip`; the source is cut by the same amounts.
std::optional<Blit> clipped_copy(const Rect& source, const Rect& dest, const Rect& clip) {
  const Rect d = intersect(dest, clip);
  if (empty(d) || empty(source)) return std::nullopt;
  const int dx = d.left - dest.left;
  const int dy = d.top - dest.top;
  const Rect s{source.left + dx, source.top + dy, source.left + dx + d.width(),
               source.top + dy + d.height()};
  return Blit{s, d};
}

void add_stretch(std::vector<Blit>& blits, const Rect& source, const Rect& dest) {
  if (!empty(source) && !empty(dest)) blits.push_back({source, dest});
}

void add_copy(std::vector<Blit>& blits, const Rect& source, const Rect& dest, const Rect& clip) {
  if (auto b = clipped_copy(source, dest, clip)) blits.push_back(*b);
}

}  // namespace

std::optional<SkinKind> skin_kind_from_tag(std::string_view tag) {
  for (const auto& [name, kind] : kTags)
    if (name == tag) return kind;
  return std::nullopt;
}

std::string_view skin_kind_tag(SkinKind kind) {
  for (const auto& [name, k] : kTags)
    if (k == kind) return name;
  return {};
}

bool ImageListRecipe::set_attribute(std::string_view attr, std::string_view value) {
  if (attr == "name") {
    name = std::string(value);
    return true;
  }
  if (attr == "src") return parse_resource_id(value, src);
  if (attr == "mode") {
    if (value == "none") {
      mode = ImageMode::kNone;
    } else if (value == "mask") {
      mode = ImageMode::kMask;
    } else if (value == "alpha") {
      mode = ImageMode::kAlpha;
    } else {
      return false;
    }
    return true;
  }
  if (attr == "maskcolor") {
    mask_colour = parse_colour(value);
    return true;
  }
  if (attr == "subwidth") return parse_non_negative(value, sub_width_px);
  return false;
}

FrameEdges frame_edges(FramePart part) {
  FrameEdges e;
  switch (part) {
    case FramePart::kAll:
      break;
    case FramePart::kTop:
      e.bottom = false;
      break;
    case FramePart::kMiddle:
      e.top = e.bottom = false;
      break;
    case FramePart::kBottom:
      e.top = false;
      break;
    case FramePart::kLeft:
      e.right = false;
      break;
    case FramePart::kCenter:
      e.left = e.right = false;
      break;
    case FramePart::kRight:
      e.left = false;
      break;
  }
  return e;
}

bool ImgFrameRecipe::set_attribute(std::string_view attr, std::string_view value) {
  if (attr == "left") return parse_non_negative(value, left_px);
  if (attr == "top") return parse_non_negative(value, top_px);
  if (attr == "crbg") {
    fill = parse_colour(value);
    return true;
  }
  if (attr == "part") {
    static constexpr std::array<std::pair<std::string_view, FramePart>, 7> kParts{{
        {"all", FramePart::kAll},
        {"top", FramePart::kTop},
        {"middle", FramePart::kMiddle},
        {"bottom", FramePart::kBottom},
        {"left", FramePart::kLeft},
        {"center", FramePart::kCenter},
        {"right", FramePart::kRight},
    }};
    for (const auto& [keyword, p] : kParts) {
      if (keyword == value) {
        part = p;
        return true;
      }
    }
    return false;
  }
  return image.set_attribute(attr, value);
}

bool ImgHorzExtendRecipe::set_attribute(std::string_view attr, std::string_view value) {
  if (attr == "left") return parse_non_negative(value, left_px);
  return image.set_attribute(attr, value);
}

bool ButtonRecipe::set_attribute(std::string_view attr, std::string_view value) {
  if (attr == "name") {
    name = std::string(value);
    return true;
  }
  const std::array<std::pair<std::string_view, Colour*>, 8> colours{{
      {"bg", &background},
      {"border", &border},
      {"bgup", &up},
      {"bguphover", &up_hover},
      {"bguppush", &up_pushed},
      {"bgdown", &down},
      {"bgdownhover", &down_hover},
      {"bgdownpush", &down_pushed},
  }};
  for (const auto& [key, field] : colours) {
    if (key == attr) {
      *field = parse_colour(value);
      return true;
    }
  }
  return false;
}

bool GradationRecipe::set_attribute(std::string_view attr, std::string_view value) {
  if (attr == "name") {
    name = std::string(value);
  } else if (attr == "from") {
    from = parse_colour(value);
  } else if (attr == "to") {
    to = parse_colour(value);
  } else if (attr == "direction") {
    if (value == "vert") {
      vertical = true;
    } else if (value == "horz") {
      vertical = false;
    } else {
      return false;
    }
  } else if (attr == "size") {
    size_px = parse_decimal(value);
  } else {
    return false;
  }
  return true;
}

bool PngRecipe::set_attribute(std::string_view attr, std::string_view value) {
  if (attr == "name") {
    name = std::string(value);
    return true;
  }
  if (attr == "src") return parse_resource_id(value, src);
  if (attr == "subwidth") return parse_non_negative(value, sub_width_px);
  return false;
}

std::optional<Rect> image_slice(int sub_width_px, Size image, int index) {
  if (image.width <= 0 || image.height <= 0) return std::nullopt;
  if (index < 0 || sub_width_px <= 0) return Rect{0, 0, image.width, image.height};
  // 64-bit: index and width come from layouts and resources.
  const long long x = static_cast<long long>(index) * sub_width_px;
  if (x >= image.width) return std::nullopt;
  const int left = static_cast<int>(x);
  return Rect{left, 0, std::min(image.width, left + sub_width_px), image.height};
}

std::optional<Blit> image_blit(int sub_width_px, Size image, int index, const Rect& rect) {
  const auto slice = image_slice(sub_width_px, image, index);
  if (!slice) return std::nullopt;
  const Rect dest{rect.left, rect.top, rect.left + slice->width(), rect.top + slice->height()};
  return clipped_copy(*slice, dest, rect);
}

FramePaint frame_paint(const ImgFrameRecipe& recipe, Size image, const Rect& rect) {
  FramePaint paint;
  if (empty(rect)) return paint;
  const FrameEdges edges = frame_edges(recipe.part);
  const int w = image.width;
  const int h = image.height;
  // Corner sizes: the stretch column and row must lie inside the image.
  const int l = w > 0 ? std::clamp(recipe.left_px, 0, w - 1) : 0;
  const int t = h > 0 ? std::clamp(recipe.top_px, 0, h - 1) : 0;
  const int r = w > 0 ? w - l - 1 : 0;  // right corner width
  const int b = h > 0 ? h - t - 1 : 0;  // bottom corner height

  // Destination columns x0..x1 (left edge), x1..x2 (middle), x2..x3 (right
  // edge); an edge that is not drawn gives its room to the middle.
  const int x0 = rect.left;
  const int x3 = rect.right;
  const int x1 = edges.left ? std::min(x0 + l, x3) : x0;
  const int x2 = edges.right ? std::max(x3 - r, x1) : x3;
  const int y0 = rect.top;
  const int y3 = rect.bottom;
  const int y1 = edges.top ? std::min(y0 + t, y3) : y0;
  const int y2 = edges.bottom ? std::max(y3 - b, y1) : y3;

  if (w > 0 && h > 0) {
    auto& blits = paint.blits;
    if (edges.top) add_stretch(blits, {l, 0, l + 1, t}, {x1, y0, x2, y1});
    if (edges.bottom) add_stretch(blits, {l, t + 1, l + 1, h}, {x1, y2, x2, y3});
    if (edges.left) add_stretch(blits, {0, t, l, t + 1}, {x0, y1, x1, y2});
    if (edges.right) add_stretch(blits, {l + 1, t, w, t + 1}, {x2, y1, x3, y2});
    // Corners at their own size, each cut to its cell, anchored at the
    // rectangle's corner.
    if (edges.top && edges.left)
      add_copy(blits, {0, 0, l, t}, {x0, y0, x0 + l, y0 + t}, {x0, y0, x1, y1});
    if (edges.top && edges.right)
      add_copy(blits, {l + 1, 0, w, t}, {x3 - r, y0, x3, y0 + t}, {x2, y0, x3, y1});
    if (edges.bottom && edges.left)
      add_copy(blits, {0, t + 1, l, h}, {x0, y3 - b, x0 + l, y3}, {x0, y2, x1, y3});
    if (edges.bottom && edges.right)
      add_copy(blits, {l + 1, t + 1, w, h}, {x3 - r, y3 - b, x3, y3}, {x2, y2, x3, y3});
  }
  if (recipe.fill != kNoColour && x1 < x2 && y1 < y2) paint.fill = Rect{x1, y1, x2, y2};
  return paint;
}

std::vector<Blit> horz_extend_blits(const ImgHorzExtendRecipe& recipe, Size image, const Rect& rect,
                                    int index) {
  std::vector<Blit> blits;
  if (empty(rect) || image.width <= 0 || image.height <= 0) return blits;
  // Without a strip width the bitmap is the one bar, whatever the state.
  const bool strip = recipe.image.sub_width_px > 0;
  const int w = strip ? recipe.image.sub_width_px : image.width;
  const long long first = strip ? static_cast<long long>(std::max(index, 0)) * w : 0;
  if (first + w > image.width) return blits;  // no such sub-image
  const int sx = static_cast<int>(first);
  const int l = std::clamp(recipe.left_px, 0, w - 1);
  const int r = w - l - 1;
  // Not stretched vertically: the image's own height, cut to the rectangle.
  const int h = std::min(image.height, rect.height());
  const int y0 = rect.top;
  const int y1 = rect.top + h;
  const int x1 = std::min(rect.left + l, rect.right);
  const int x2 = std::max(rect.right - r, x1);
  add_copy(blits, {sx, 0, sx + l, h}, {rect.left, y0, rect.left + l, y1}, {rect.left, y0, x1, y1});
  add_stretch(blits, {sx + l, 0, sx + l + 1, h}, {x1, y0, x2, y1});
  add_copy(blits, {sx + l + 1, 0, sx + w, h}, {rect.right - r, y0, rect.right, y1},
           {x2, y0, rect.right, y1});
  return blits;
}

ButtonPaint button_paint(const ButtonRecipe& recipe, const Rect& rect, std::uint32_t state_word) {
  ButtonPaint paint;
  paint.rect = rect;
  paint.background = recipe.background;
  paint.border = recipe.border;
  const std::uint32_t s = state_word == state::kNone ? 0 : state_word;
  if (s & state::kDisabled) return paint;
  const Rect inner{rect.left + 2, rect.top + 2, rect.right - 2, rect.bottom - 2};
  if (empty(inner)) return paint;
  paint.gradient = inner;
  if (s & state::kPushed) {
    paint.gradient_top = recipe.up_pushed;
    paint.gradient_bottom = recipe.down_pushed;
  } else if (s & state::kHover) {
    paint.gradient_top = recipe.up_hover;
    paint.gradient_bottom = recipe.down_hover;
  } else {
    paint.gradient_top = recipe.up;
    paint.gradient_bottom = recipe.down;
  }
  return paint;
}

GradationPaint gradation_paint(const GradationRecipe& recipe, const Rect& rect) {
  GradationPaint paint;
  if (empty(rect)) return paint;
  paint.vertical = recipe.vertical;
  if (recipe.to != kNoColour) {
    paint.plain = rect;
    paint.plain_colour = recipe.to;
  }
  if (recipe.from == kNoColour || recipe.to == kNoColour) return paint;
  Rect band = rect;
  if (recipe.size_px > 0) {
    if (recipe.vertical) {
      band.bottom = rect.top + std::min(recipe.size_px, rect.height());
    } else {
      band.right = rect.left + std::min(recipe.size_px, rect.width());
    }
  }
  paint.gradient = band;
  paint.from = recipe.from;
  paint.to = recipe.to;
  return paint;
}

Size image_natural_size(int sub_width_px, Size image) {
  if (image.width <= 0 || image.height <= 0) return {};
  return {sub_width_px > 0 ? sub_width_px : image.width, image.height};
}

#if SALVOR_SKIN_XML
std::optional<std::vector<SkinTableEntry>> parse_skin_table(std::string_view xml) {
  TiXmlDocument doc;
  if (!parse_xml_document(xml, doc)) return std::nullopt;
  const TiXmlElement* root = doc.FirstChildElement();
  if (root == nullptr || root->ValueStr() != "skins") return std::nullopt;
  std::vector<SkinTableEntry> entries;
  std::unordered_map<std::string, std::size_t> index_of_name;
  for (const TiXmlElement* e = root->FirstChildElement(); e != nullptr;
       e = e->NextSiblingElement()) {
    const auto kind = skin_kind_from_tag(e->ValueStr());
    const char* name = e->Attribute("name");
    if (!kind || name == nullptr) continue;
    SkinTableEntry entry{*kind, name, {}};
    for (const TiXmlAttribute* a = e->FirstAttribute(); a != nullptr; a = a->Next())
      entry.attributes.emplace_back(a->Name(), a->Value());
    const auto [at, added] = index_of_name.try_emplace(entry.name, entries.size());
    if (added) {
      entries.push_back(std::move(entry));
    } else {
      entries[at->second] = std::move(entry);
    }
  }
  return entries;
}
#endif

}  // namespace salvor::skin
