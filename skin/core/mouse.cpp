// The view's mouse rules.
#include "skin/core/mouse.h"

namespace salvor::skin {
namespace {

// Elements that act on a click in the header instead of moving the window.
bool is_clickable_tag(std::string_view tag) {
  return tag == "button" || tag == "imgbtn" || tag == "link";
}

void clear_radio_group(CGwWindow& node, const std::string& group, const CGwWindow& keep,
                       ViewHost& host) {
  for (const auto& child : node.children()) {
    if (child.get() != &keep && child->tag() == "radio" && (child->state & state::kChecked)) {
      const std::string* g = child->class_attribute("group");
      if (g != nullptr && *g == group) {
        child->state &= ~state::kChecked;
        request_repaint(host, *child);
      }
    }
    clear_radio_group(*child, group, keep, host);
  }
}

}  // namespace

void request_repaint(ViewHost& host, const CGwWindow& element) {
  if (!element.hidden_in_tree()) host.repaint(element.rect);
}

CGwWindow* MouseRouter::hit_test(int x, int y) const {
  for (CGwWindow* part : {header_, body_, footer_}) {
    if (part == nullptr) continue;
    if (CGwWindow* hit = part->hit_test(x, y)) return hit;
  }
  return nullptr;
}

bool MouseRouter::in_header(const CGwWindow& e) const {
  for (const CGwWindow* p = &e; p != nullptr; p = p->parent())
    if (p == header_) return true;
  return false;
}

void MouseRouter::set_state_bit(CGwWindow* e, std::uint32_t bit, bool on) {
  if (e == nullptr) return;
  const std::uint32_t before = e->state;
  if (on) e->state |= bit;
  else e->state &= ~bit;
  if (e->state != before && e->needs_redraw_on_state_change()) request_repaint(host_, *e);
}

void MouseRouter::mouse_move(int x, int y) {
  if (!inside_) {
    inside_ = true;
    host_.mouse_entered();
  }
  CGwWindow* hit = hit_test(x, y);
  CGwWindow* old = hovered();
  if (hit == old) return;
  set_state_bit(old, state::kHover, false);
  hovered_ = hit != nullptr ? hit->handle() : 0;
  set_state_bit(hit, state::kHover, true);
  host_.set_cursor(hit != nullptr ? hit->style.cursor : Cursor::kArrow);
}

void MouseRouter::button_down(int x, int y, bool window_normal) {
  CGwWindow* hit = hit_test(x, y);
  if (hit == nullptr) return;
  if (in_header(*hit) && !is_clickable_tag(hit->tag())) {
    if (window_normal) host_.start_window_move();
    return;
  }
  if (hit->disabled_in_tree()) return;
  host_.set_capture(true);
  pressed_ = hovered_ = hit->handle();
  set_state_bit(hit, state::kPushed, true);
}

void MouseRouter::button_up(int x, int y) {
  const bool had_press = pressed_ != 0;
  CGwWindow* pressed_element = pressed();
  pressed_ = 0;
  if (had_press) host_.set_capture(false);
  if (pressed_element == nullptr) return;
  set_state_bit(pressed_element, state::kPushed, false);
  // A press on one element and a release over another is no click; nor is
  // a release over an element that was hidden or disabled meanwhile.
  if (hit_test(x, y) != pressed_element || pressed_element->disabled_in_tree()) return;
  click(*pressed_element, x, y);
}

void MouseRouter::click(CGwWindow& e, int x, int y) {
  if (e.tag() == "tabctrl") {
    const int header = e.tab_header_at(x, y);
    if (header >= 0) host_.select_tab(e, header);
  } else if (e.tag() == "check") {
    e.state ^= state::kChecked;
    request_repaint(host_, e);
  } else if (e.tag() == "radio" && !(e.state & state::kChecked)) {
    e.state |= state::kChecked;
    request_repaint(host_, e);
    // One group spans the whole view, not just one part.
    if (const std::string* group = e.class_attribute("group")) {
      for (CGwWindow* part : {header_, body_, footer_})
        if (part != nullptr) clear_radio_group(*part, *group, e, host_);
    }
  }
  if (!e.href.empty()) host_.open_link(e.href);
  else if (e.id != 0) host_.notify_click(e.id, e.tag());
}

void MouseRouter::mouse_leave() {
  CGwWindow* h = hovered();
  CGwWindow* p = pressed();
  set_state_bit(h, state::kHover | state::kPushed, false);
  if (p != h) set_state_bit(p, state::kHover | state::kPushed, false);
  hovered_ = pressed_ = 0;
  inside_ = false;
  host_.mouse_left();
}

}  // namespace salvor::skin
