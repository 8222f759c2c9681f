// The view's mouse rules: hover and push bits, clicks, window moves from the
// header, check boxes, radio groups, and repaints of hidden elements.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "skin/core/mouse.h"

namespace salvor::skin {
namespace {

struct RecordingHost : ViewHost {
  std::vector<Rect> repaints;
  std::vector<std::pair<int, std::string>> clicks;
  std::vector<std::string> links;
  int moves = 0, entered = 0, left = 0, captures = 0;
  Cursor cursor = Cursor::kArrow;

  void repaint(const Rect& r) override { repaints.push_back(r); }
  void notify_click(int id, std::string_view tag) override { clicks.emplace_back(id, std::string(tag)); }
  void open_link(const std::string& href) override { links.push_back(href); }
  void start_window_move() override { ++moves; }
  void set_capture(bool on) override { captures += on ? 1 : -1; }
  void set_cursor(Cursor c) override { cursor = c; }
  void mouse_entered() override { ++entered; }
  void mouse_left() override { ++left; }
};

Size fixed_size(const CGwWindow&) { return {10, 10}; }

struct View {
  StyleTable styles;
  std::unique_ptr<CGwWindow> header = std::make_unique<CGwWindow>("dlg");
  std::unique_ptr<CGwWindow> body = std::make_unique<CGwWindow>("dlg");
  RecordingHost host;
  MouseRouter mouse{host, header.get(), body.get(), nullptr};

  CGwWindow* add(CGwWindow& parent, const char* tag, const char* pos, int id) {
    auto e = std::make_unique<CGwWindow>(tag);
    e->set_attribute("pos", pos, true, styles);
    e->id = id;
    return parent.append(std::move(e));
  }
  void lay_out() {
    header->set_rect({0, 0, 200, 20}, fixed_size);
    body->set_rect({0, 20, 200, 200}, fixed_size);
  }
  void click(int x, int y) {
    mouse.mouse_move(x, y);
    mouse.button_down(x, y);
    mouse.button_up(x, y);
  }
};

TEST(SkinMouse, ClickNeedsPressAndReleaseOnTheSameElement) {
  View v;
  CGwWindow* ok = v.add(*v.body, "button", "0,0,50,20", 1);
  CGwWindow* cancel = v.add(*v.body, "button", "60,0,110,20", 2);
  v.lay_out();

  v.mouse.mouse_move(10, 30);
  EXPECT_EQ(v.host.entered, 1);
  EXPECT_TRUE(ok->state & state::kHover);
  v.mouse.button_down(10, 30);
  EXPECT_TRUE(ok->state & state::kPushed);
  v.mouse.mouse_move(70, 30);
  EXPECT_FALSE(ok->state & state::kHover);
  EXPECT_TRUE(cancel->state & state::kHover);
  v.mouse.button_up(70, 30);
  EXPECT_TRUE(v.host.clicks.empty());
  EXPECT_FALSE(ok->state & state::kPushed);
  EXPECT_EQ(v.host.captures, 0);

  v.click(70, 30);
  ASSERT_EQ(v.host.clicks.size(), 1u);
  EXPECT_EQ(v.host.clicks[0], (std::pair<int, std::string>{2, "button"}));

  v.mouse.mouse_leave();
  EXPECT_EQ(v.host.left, 1);
  EXPECT_EQ(cancel->state & (state::kHover | state::kPushed), 0u);
}

TEST(SkinMouse, LinksIdsAndDisabledElements) {
  View v;
  CGwWindow* link = v.add(*v.body, "link", "0,0,50,20", 5);
  link->href = "https://example.invalid/help";
  CGwWindow* plain = v.add(*v.body, "text", "0,30,50,50", 0);
  CGwWindow* off = v.add(*v.body, "dlg", "100,0,200,100", 0);
  CGwWindow* inside_off = v.add(*off, "button", "0,0,20,20", 9);
  off->state |= state::kDisabled;
  v.lay_out();

  v.click(10, 30);
  EXPECT_EQ(v.host.links.size(), 1u);
  EXPECT_TRUE(v.host.clicks.empty());  // an "href" opens instead of notifying
  v.click(10, 60);
  EXPECT_TRUE(v.host.clicks.empty());  // id 0 reports nothing
  EXPECT_NE(plain, nullptr);
  v.click(110, 30);
  EXPECT_TRUE(v.host.clicks.empty());  // inside a disabled container
  EXPECT_FALSE(inside_off->state & state::kPushed);
}

TEST(SkinMouse, HeaderBackgroundMovesTheWindowButtonsDoNot) {
  View v;
  CGwWindow* close = v.add(*v.header, "imgbtn", "-20,0,-0,-0", 77);
  CGwWindow* title = v.add(*v.header, "text", "0,0,100,20", 78);
  v.lay_out();

  v.mouse.button_down(150, 5);
  EXPECT_EQ(v.host.moves, 1);
  v.mouse.button_down(50, 5);  // text in the header is background too
  EXPECT_EQ(v.host.moves, 2);
  EXPECT_FALSE(title->state & state::kPushed);
  v.mouse.button_down(150, 5, /*window_normal=*/false);  // maximised: no move
  EXPECT_EQ(v.host.moves, 2);

  v.click(190, 5);
  EXPECT_EQ(v.host.moves, 2);
  ASSERT_EQ(v.host.clicks.size(), 1u);
  EXPECT_EQ(v.host.clicks[0].first, 77);
  EXPECT_EQ(close->rect, (Rect{180, 0, 200, 20}));
}

TEST(SkinMouse, OnlyDrawChildDialogReportsItsOwnId) {
  View v;
  CGwWindow* card = v.add(*v.body, "dlg", "0,0,100,50", 40);
  card->set_attribute("onlydrawchild", "1", true, v.styles);
  v.add(*card, "text", "0,0,-0,-0", 41);
  v.lay_out();
  v.click(10, 30);
  ASSERT_EQ(v.host.clicks.size(), 1u);
  EXPECT_EQ(v.host.clicks[0], (std::pair<int, std::string>{40, "dlg"}));
}

TEST(SkinMouse, HiddenParentsAreNotHitNorRepainted) {
  View v;
  CGwWindow* page = v.add(*v.body, "dlg", "0,0,100,100", 0);
  CGwWindow* button = v.add(*page, "button", "0,0,50,20", 3);
  v.lay_out();
  page->state |= state::kHidden;

  v.host.repaints.clear();
  request_repaint(v.host, *button);
  EXPECT_TRUE(v.host.repaints.empty());
  v.click(10, 30);
  EXPECT_TRUE(v.host.clicks.empty());
  EXPECT_EQ(v.mouse.hovered(), v.body.get());

  page->state &= ~state::kHidden;  // shown again: hit-testable again
  v.click(10, 30);
  ASSERT_EQ(v.host.clicks.size(), 1u);
  EXPECT_FALSE(v.host.repaints.empty());
}

TEST(SkinMouse, ChecksToggleAndRadiosShareTheirGroup) {
  View v;
  CGwWindow* check = v.add(*v.body, "check", "0,0,50,20", 10);
  CGwWindow* a = v.add(*v.body, "radio", "0,30,50,50", 11);
  CGwWindow* b = v.add(*v.body, "radio", "0,60,50,80", 12);
  CGwWindow* other = v.add(*v.header, "radio", "0,0,50,20", 13);
  for (CGwWindow* r : {a, b}) r->set_attribute("group", "lang", true, v.styles);
  other->set_attribute("group", "other", true, v.styles);
  other->state |= state::kChecked;
  v.lay_out();

  v.click(10, 30);
  EXPECT_TRUE(check->state & state::kChecked);
  v.click(10, 30);
  EXPECT_FALSE(check->state & state::kChecked);

  v.click(10, 60);
  EXPECT_TRUE(a->state & state::kChecked);
  v.click(10, 90);
  EXPECT_TRUE(b->state & state::kChecked);
  EXPECT_FALSE(a->state & state::kChecked);
  EXPECT_TRUE(other->state & state::kChecked);
}

TEST(SkinMouse, ReplacedElementsAreForgotten) {
  View v;
  v.add(*v.body, "button", "0,0,50,20", 1);
  v.lay_out();
  v.mouse.mouse_move(10, 30);
  v.mouse.button_down(10, 30);
  v.body->clear_children();  // e.g. new rich text while the mouse rests
  EXPECT_EQ(v.mouse.pressed(), nullptr);
  v.mouse.button_up(10, 30);
  v.mouse.mouse_leave();
  EXPECT_TRUE(v.host.clicks.empty());
  EXPECT_EQ(v.host.captures, 0);
}

}  // namespace
}  // namespace salvor::skin
