// CGwWindow tree: attributes, handle registry, look-up, layout, hit testing.
#include "skin/core/element.h"

#include "common/text.h"
#include "skin/core/control_geometry.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <unordered_map>

namespace salvor::skin {
namespace {

// Every handle lives in one registry so that the view can hold the hovered
// and pressed elements by handle: rich text and run-time changes replace
// children while the mouse may rest on them.
struct Registry {
  std::mutex lock;
  std::uint32_t next = 1;
  std::unordered_map<std::uint32_t, CGwWindow*> elements;
};
Registry& registry() {
  static Registry instance;
  return instance;
}

struct TagInfo {
  std::string_view tag;
  bool container;
  std::array<std::string_view, 16> attributes;  // the class's own attributes
};
constexpr TagInfo kTags[] = {
    {"text", false, {}},
    {"link", false, {}},
    {"button", false, {}},
    {"img", false, {"skin", "sub"}},
    {"imgbtn", false, {"skin", "sub"}},
    {"progress", false, {"bgskin", "posskin", "min", "max", "value", "showpercent"}},
    {"realwnd", false, {"ctrlid"}},
    {"hr", false, {"size", "style"}},
    {"check", false, {"check"}},
    {"radio", false, {"check", "group"}},
    {"icon", false, {"src", "oem", "size"}},
    {"richtext", false, {"defaultfont", "linkclass"}},
    {"dlg", true, {"onlydrawchild"}},
    {"tab", true, {"onlydrawchild", "title"}},
    {"tabctrl", true, {"cursel", "tabwidth", "tabheight", "tabpos", "tabspacing", "tabskin",
                       "frameskin", "iconskin", "splitterskin", "framepos", "icon-x", "icon-y",
                       "text-x", "text-y", "tabalign"}},
    {"br", false, {}},
};

const TagInfo* find_tag(std::string_view tag) {
  for (const TagInfo& info : kTags)
    if (info.tag == tag) return &info;
  return nullptr;
}

bool is_one_of(std::string_view value, std::initializer_list<std::string_view> keywords) {
  return std::find(keywords.begin(), keywords.end(), value) != keywords.end();
}

}  // namespace

bool is_element_tag(std::string_view tag) { return find_tag(tag) != nullptr; }

CGwWindow::CGwWindow(std::string tag) : tag_(std::move(tag)) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  // Skip 0 and handles still in use should the counter ever wrap.
  do {
    handle_ = r.next++;
  } while (handle_ == 0 || r.elements.count(handle_) != 0);
  r.elements.emplace(handle_, this);
}

CGwWindow::~CGwWindow() {
  children_.clear();
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  r.elements.erase(handle_);
}

CGwWindow* CGwWindow::from_handle(std::uint32_t handle) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  auto it = r.elements.find(handle);
  return it == r.elements.end() ? nullptr : it->second;
}

bool CGwWindow::is_container() const {
  const TagInfo* info = find_tag(tag_);
  return info != nullptr && info->container;
}

bool CGwWindow::set_attribute(std::string_view name, std::string_view value, bool loading,
                            const StyleTable& styles) {
  if (name == "class") {
    style = styles.get(value);
  } else if (name == "id") {
    id = parse_decimal(value);
  } else if (name == "crbg" || name == "crtext" || name == "font") {
    return style.set_attribute(name, value);
  } else if (name == "href") {
    href = std::string(value);
  } else if (name == "tip") {
    tip = text::from_utf8(value);
  } else if (name == "valign") {
    if (value == "top") valign = VAlign::kTop;
    else if (value == "middle") valign = VAlign::kMiddle;
    else if (value == "bottom") valign = VAlign::kBottom;
    else return false;
  } else if (name == "align") {
    if (value == "left") align = HAlign::kLeft;
    else if (value == "center") align = HAlign::kCenter;
    else if (value == "right") align = HAlign::kRight;
    else return false;
  } else if (name == "pos") {
    pos = parse_pos(value);
    if (pos.has_position()) {
      size_flags = (size_flags & size_flag::kFloatMask) | size_flag::kWidthContent |
                   size_flag::kHeightContent;
    }
  } else if (name == "transparent") {
    transparent = parse_decimal(value) != 0;
  } else if (loading && name == "show") {
    if (!value.empty() && parse_decimal(value) == 0) state |= state::kHidden;
  } else if (loading && (name == "width" || name == "height")) {
    const bool width = name == "width";
    const std::uint32_t mask = width ? size_flag::kWidthMask : size_flag::kHeightMask;
    std::uint32_t flag = width ? size_flag::kWidthContent : size_flag::kHeightContent;
    const int n = parse_decimal(value);
    if (value == "full") {
      flag = width ? size_flag::kWidthFull : size_flag::kHeightFull;
    } else if (n > 0) {
      flag = width ? size_flag::kWidthFixed : size_flag::kHeightFixed;
      (width ? fixed_width : fixed_height) = n;
    }
    size_flags = (size_flags & ~mask) | flag;
  } else if (loading && name == "float") {
    size_flags = (size_flags & ~size_flag::kFloatMask) |
                 (parse_decimal(value) != 0 ? size_flag::kFloating : size_flag::kNotFloating);
  } else {
    return set_class_attribute(name, value);
  }
  return true;
}

bool CGwWindow::set_class_attribute(std::string_view name, std::string_view value) {
  const TagInfo* info = find_tag(tag_);
  if (info == nullptr || name.empty()) return false;
  if (std::find(info->attributes.begin(), info->attributes.end(), name) ==
      info->attributes.end())
    return false;
  if (name == "style" && tag_ == "hr" &&
      !is_one_of(value, {"solid", "dash", "dot", "dashdot", "dashdotdot"}))
    return false;
  if (name == "tabalign" && !is_one_of(value, {"top", "left"})) return false;
  if (name == "onlydrawchild") only_draw_child = parse_decimal(value) != 0;
  // The kept "check" value of a box starts it checked or not.
  if (name == "check") {
    if (parse_decimal(value) != 0) state |= state::kChecked;
    else state &= ~state::kChecked;
  }
  class_attributes_.insert_or_assign(std::string(name), std::string(value));
  return true;
}

const std::string* CGwWindow::class_attribute(std::string_view name) const {
  auto it = class_attributes_.find(name);
  return it == class_attributes_.end() ? nullptr : &it->second;
}

CGwWindow* CGwWindow::append(std::unique_ptr<CGwWindow> child) {
  child->parent_ = this;
  children_.push_back(std::move(child));
  return children_.back().get();
}

void CGwWindow::clear_children() { children_.clear(); }

CGwWindow* CGwWindow::find_by_id(int wanted) {
  for (const auto& child : children_)
    if (child->id == wanted) return child.get();
  for (const auto& child : children_) {
    if (!child->is_container()) continue;
    if (CGwWindow* found = child->find_by_id(wanted)) return found;
  }
  return nullptr;
}

bool CGwWindow::hidden_in_tree() const {
  for (const CGwWindow* e = this; e != nullptr; e = e->parent_)
    if (e->is_hidden()) return true;
  return false;
}

bool CGwWindow::disabled_in_tree() const {
  for (const CGwWindow* e = this; e != nullptr; e = e->parent_)
    if (e->state & state::kDisabled) return true;
  return false;
}

bool CGwWindow::needs_redraw_on_state_change() const {
  return !style.skin.empty() || style.background_hover != kNoColour ||
         style.text_hover != kNoColour || style.hover_font.has_value() ||
         is_one_of(tag_, {"button", "imgbtn", "check", "radio"});
}

CGwWindow* CGwWindow::hit_test(int x, int y) {
  if (is_hidden() || transparent || !rect.contains(x, y)) return nullptr;
  if (tag_ == "richtext") {
    // Its children are the link pieces the view laid out.
    for (const auto& child : children_)
      if (CGwWindow* hit = child->hit_test(x, y)) return hit;
    return this;
  }
  if (!is_container()) return this;
  if (only_draw_child) return this;
  if (tag_ == "tabctrl" && tab_header_at(x, y) >= 0) return this;
  for (bool floating_pass : {true, false}) {
    for (const auto& child : children_) {
      if (child->is_floating() != floating_pass) continue;
      if (CGwWindow* hit = child->hit_test(x, y)) return hit;
    }
  }
  return this;
}

Rect CGwWindow::client_rect() const {
  Rect r = rect;
  r.left += style.x_margin_px;
  r.right -= style.x_margin_px;
  r.top += style.y_margin_px;
  r.bottom -= style.y_margin_px;
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

void CGwWindow::apply_size_flags(const Rect& parent_client) {
  // A full size reaches the parent's far edge (not the element's origin plus
  // the parent's extent, which would overrun the parent when offset).
  if (size_flags & size_flag::kWidthFixed) rect.right = rect.left + fixed_width;
  else if (size_flags & size_flag::kWidthFull) rect.right = std::max(rect.left, parent_client.right);
  if (size_flags & size_flag::kHeightFixed) rect.bottom = rect.top + fixed_height;
  else if (size_flags & size_flag::kHeightFull) rect.bottom = std::max(rect.top, parent_client.bottom);
}

void CGwWindow::place(int x, int y, const Rect& parent_client, const Measure& measure) {
  if (!is_container()) {
    const Size natural = measure ? measure(*this) : Size{};
    rect = {x, y, x + std::max(0, natural.width), y + std::max(0, natural.height)};
    apply_size_flags(parent_client);
    return;
  }
  // A panel sized by content first lays out its flow inside the room its
  // parent leaves, then shrinks to the widest line and lowest bottom.
  rect = {x, y, std::max(x, parent_client.right), std::max(y, parent_client.bottom)};
  apply_size_flags(parent_client);
  int widest_right = 0;
  int lowest_bottom = 0;
  flow_children(measure, widest_right, lowest_bottom);
  if (size_flags & size_flag::kWidthContent) rect.right = widest_right + style.x_margin_px;
  if (size_flags & size_flag::kHeightContent) rect.bottom = lowest_bottom + style.y_margin_px;
  layout_children(measure);
}

void CGwWindow::set_rect(const Rect& r, const Measure& measure) {
  rect = r;
  if (is_container()) layout_children(measure);
}

void CGwWindow::relayout_child(CGwWindow& child, const Measure& measure) {
  if (!child.pos.has_position()) {
    layout_children(measure);  // a flowed child moves its neighbours
    return;
  }
  const Rect client = client_rect();
  if (child.pos.count == 4 && (child.size_flags & size_flag::kWidthContent) &&
      (child.size_flags & size_flag::kHeightContent)) {
    child.set_rect(resolve_rect(child.pos, client), measure);
    return;
  }
  const int x = resolve_coordinate(child.pos.coords[0], client.left, client.width());
  const int y = resolve_coordinate(child.pos.coords[1], client.top, client.height());
  child.place(x, y, client, measure);
  if (child.pos.count == 4) {
    // Corners given, a size flag set later wins on its axis only.
    const Rect corners = resolve_rect(child.pos, client);
    if (child.size_flags & size_flag::kWidthContent) child.rect.right = corners.right;
    if (child.size_flags & size_flag::kHeightContent) child.rect.bottom = corners.bottom;
    if (child.is_container()) child.layout_children(measure);
  }
}

void CGwWindow::flow_children(const Measure& measure, int& widest_right, int& lowest_bottom) {
  const Rect client = client_rect();
  widest_right = client.left;
  lowest_bottom = client.top;
  int pen_x = client.left;
  int line_top = client.top;
  int line_bottom = client.top;
  std::vector<CGwWindow*> line;

  auto close_line = [&] {
    for (CGwWindow* e : line) {
      const int h = e->rect.height();
      int top = e->rect.top;
      if (e->valign == VAlign::kMiddle) top = line_top + (line_bottom - line_top - h) / 2;
      else if (e->valign == VAlign::kBottom) top = line_bottom - h;
      if (top != e->rect.top) e->place(e->rect.left, top, client, measure);
    }
    line.clear();
    line_top = line_bottom + style.line_spacing_px;
    line_bottom = line_top;
    pen_x = client.left;
  };

  const bool pages = tag_ == "tabctrl";
  for (const auto& owned : children_) {
    CGwWindow& child = *owned;
    if (child.pos.has_position() || child.is_floating() || child.is_hidden()) continue;
    if (pages && child.tag_ == "tab") continue;  // pages fill the control instead
    if (child.tag_ == "br") {
      lowest_bottom = std::max(lowest_bottom, line_bottom);
      close_line();
      continue;
    }
    child.place(pen_x, line_top, client, measure);
    if (!line.empty() && child.rect.right > client.right) {
      close_line();
      child.place(pen_x, line_top, client, measure);
    }
    line.push_back(&child);
    pen_x = child.rect.right + style.spacing_px;
    line_bottom = std::max(line_bottom, child.rect.bottom);
    widest_right = std::max(widest_right, child.rect.right);
    lowest_bottom = std::max(lowest_bottom, line_bottom);
  }
  if (!line.empty()) close_line();
}

void CGwWindow::layout_children(const Measure& measure) {
  if (tag_ == "tabctrl") {
    int w = class_int("tabwidth", 0);
    int h = class_int("tabheight", 0);
    if ((w <= 0 || h <= 0) && measure) {
      const Size skin = measure(*this);
      if (w <= 0) w = skin.width;
      if (h <= 0) h = skin.height;
    }
    tab_header_size_ = {std::max(0, w), std::max(0, h)};
    const Rect area = tab_page_area();
    for (const auto& child : children_)
      if (child->tag_ == "tab") child->set_rect(area, measure);
  }
  int widest_right = 0;
  int lowest_bottom = 0;
  flow_children(measure, widest_right, lowest_bottom);
  const Rect client = client_rect();
  for (const auto& child : children_) {
    if (child->pos.has_position()) {
      relayout_child(*child, measure);
      continue;
    }
    if (!child->is_floating() || child->is_hidden()) continue;
    child->place(client.left, client.top, client, measure);
    int x = client.left;
    int y = client.top;
    const int free_w = client.width() - child->rect.width();
    const int free_h = client.height() - child->rect.height();
    if (child->align == HAlign::kCenter) x += free_w / 2;
    else if (child->align == HAlign::kRight) x += free_w;
    if (child->valign == VAlign::kMiddle) y += free_h / 2;
    else if (child->valign == VAlign::kBottom) y += free_h;
    if (x != client.left || y != client.top) child->place(x, y, client, measure);
  }
}

int CGwWindow::class_int(std::string_view name, int fallback) const {
  const std::string* value = class_attribute(name);
  return value != nullptr ? parse_decimal(*value) : fallback;
}

int CGwWindow::tab_count() const {
  int n = 0;
  for (const auto& child : children_)
    if (child->tag_ == "tab") ++n;
  return n;
}

CGwWindow* CGwWindow::tab_page(int index) const {
  if (index < 0) return nullptr;
  for (const auto& child : children_) {
    if (child->tag_ != "tab") continue;
    if (index-- == 0) return child.get();
  }
  return nullptr;
}

void CGwWindow::init_tabs() {
  if (tag_ != "tabctrl") return;
  const int count = tab_count();
  int selected = class_int("cursel", 0);
  if (selected < 0 || selected >= count) selected = 0;
  selected_tab_ = count > 0 ? selected : -1;
  for (int k = 0; k < count; ++k) {
    CGwWindow* page = tab_page(k);
    if (k == selected_tab_) page->state &= ~state::kHidden;
    else page->state |= state::kHidden;
  }
}

bool CGwWindow::select_tab(int index, const std::function<bool(int, int)>& allow,
                         const Measure& measure) {
  if (tag_ != "tabctrl") return false;
  // An index past the strip is refused before the owner is asked: it has no
  // page the owner could look up.
  if (index < 0 || index >= tab_count()) return false;
  if (allow && !allow(index, selected_tab_)) return false;
  if (index == selected_tab_) return false;
  if (CGwWindow* old_page = tab_page(selected_tab_)) old_page->state |= state::kHidden;
  CGwWindow* page = tab_page(index);
  page->state &= ~state::kHidden;
  selected_tab_ = index;
  page->set_rect(tab_page_area(), measure);
  return true;
}

Rect CGwWindow::tab_header_rect(int index) const {
  if (index < 0 || index >= tab_count()) return {};
  const std::string* align_value = class_attribute("tabalign");
  const bool vertical = align_value != nullptr && *align_value == "left";
  return skin::tab_header_rect(rect, index, tab_header_size_, class_int("tabpos", 0),
                               class_int("tabspacing", 0), vertical);
}

int CGwWindow::tab_header_at(int x, int y) const {
  const int count = tab_count();
  for (int k = 0; k < count; ++k)
    if (tab_header_rect(k).contains(x, y)) return k;
  return -1;
}

Rect CGwWindow::tab_page_area() const {
  Rect area = client_rect();
  const int frame = std::max(0, class_int("framepos", 0));
  const std::string* align_value = class_attribute("tabalign");
  if (align_value != nullptr && *align_value == "left")
    area.left = std::min(area.right, area.left + frame);
  else
    area.top = std::min(area.bottom, area.top + frame);
  return area;
}

}  // namespace salvor::skin
