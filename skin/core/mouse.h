// The mouse rules of a skinned view over its three parts (header, body,
// footer): hovering, pressing and releasing, clicks reported to the owner,
// window moves from the header, check boxes and radio groups. The Win32 view
// translates messages into these calls and implements ViewHost.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "skin/core/element.h"

namespace salvor::skin {

class ViewHost {
 public:
  virtual ~ViewHost() = default;
  virtual void repaint(const Rect& rect) = 0;
  // Notification code 1: a click on an element with an id and no link.
  virtual void notify_click(int id, std::string_view tag) = 0;
  virtual void open_link(const std::string& href) = 0;
  virtual void start_window_move() = 0;
  virtual void set_capture(bool on) = 0;
  virtual void set_cursor(Cursor cursor) = 0;
  virtual void mouse_entered() = 0;  // notification code 3
  virtual void mouse_left() = 0;     // notification code 4
  // A click on header index of a tab control: notification 5, then the page
  // change (hosts without tabs ignore it).
  virtual void select_tab(CGwWindow& tabctrl, int index) {
    (void)tabctrl;
    (void)index;
  }
};

// Asks the host to repaint the element's rectangle unless the element or an
// ancestor is hidden.
void request_repaint(ViewHost& host, const CGwWindow& element);

class MouseRouter {
 public:
  MouseRouter(ViewHost& host, CGwWindow* header, CGwWindow* body, CGwWindow* footer)
      : host_(host), header_(header), body_(body), footer_(footer) {}

  CGwWindow* hit_test(int x, int y) const;  // header, body, footer in turn

  void mouse_move(int x, int y);
  // window_normal: neither minimised nor maximised (a window move needs it).
  void button_down(int x, int y, bool window_normal = true);
  void button_up(int x, int y);
  void mouse_leave();

  CGwWindow* hovered() const { return CGwWindow::from_handle(hovered_); }
  CGwWindow* pressed() const { return CGwWindow::from_handle(pressed_); }

 private:
  bool in_header(const CGwWindow& e) const;
  void set_state_bit(CGwWindow* e, std::uint32_t bit, bool on);
  void click(CGwWindow& e, int x, int y);

  ViewHost& host_;
  CGwWindow* header_;
  CGwWindow* body_;
  CGwWindow* footer_;
  // Held by handle: the tree may change under a resting mouse.
  std::uint32_t hovered_ = 0;
  std::uint32_t pressed_ = 0;
  bool inside_ = false;
};

}  // namespace salvor::skin
