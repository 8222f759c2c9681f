// Positions, the coordinate rule, flow layout over fixed sizes, look-up by
// id and hit testing.
#include <gtest/gtest.h>

#include <climits>

#include <memory>

#include "skin/core/control_geometry.h"
#include "skin/core/element.h"
#include "skin/core/geometry.h"

namespace salvor::skin {
namespace {

// Every leaf measures 40 x 10 unless its text says otherwise ("w,h").
Size measure(const CGwWindow& e) {
  if (e.text.empty()) return {40, 10};
  const auto comma = e.text.find(u',');
  int w = 0, h = 0;
  for (char16_t c : e.text.substr(0, comma)) w = w * 10 + (c - u'0');
  for (char16_t c : e.text.substr(comma + 1)) h = h * 10 + (c - u'0');
  return {w, h};
}

struct Tree {
  StyleTable styles;
  std::unique_ptr<CGwWindow> root = std::make_unique<CGwWindow>("dlg");

  CGwWindow* add(CGwWindow& parent, const char* tag, std::initializer_list<std::pair<const char*, const char*>> attrs) {
    auto e = std::make_unique<CGwWindow>(tag);
    for (const auto& [name, value] : attrs) e->set_attribute(name, value, true, styles);
    return parent.append(std::move(e));
  }
  void lay_out(Rect r) { root->set_rect(r, measure); }
};

TEST(SkinPosition, ParsesTwoOrFourCoordinatesOnly) {
  const PosSpec fill = parse_pos("0,0,-0,-0");
  ASSERT_EQ(fill.count, 4);
  EXPECT_TRUE(fill.coords[2].from_end);
  EXPECT_EQ(fill.coords[2].value, 0);

  const PosSpec centre = parse_pos("|-220,|-190");
  ASSERT_EQ(centre.count, 2);
  EXPECT_TRUE(centre.coords[0].from_centre && centre.coords[0].from_end);
  EXPECT_EQ(centre.coords[1].value, 190);

  EXPECT_FALSE(parse_pos("10,20,30").has_position());
  EXPECT_FALSE(parse_pos("10").has_position());
  EXPECT_FALSE(parse_pos("1,2,3,4,5").has_position());
  EXPECT_FALSE(parse_pos("10,abc").has_position());
  EXPECT_FALSE(parse_pos("10,").has_position());
  EXPECT_FALSE(parse_pos("").has_position());
  EXPECT_EQ(parse_pos(" 5 , 6 ").coords[1].value, 6);
}

TEST(SkinPosition, CoordinateRule) {
  const Rect client{10, 20, 410, 320};  // 400 x 300
  EXPECT_EQ(resolve_rect(parse_pos("0,0,-0,-0"), client), client);
  EXPECT_EQ(resolve_rect(parse_pos("200,0,-0,-45"), client), (Rect{210, 20, 410, 275}));
  const Rect corner = resolve_rect(parse_pos("|-220,|-190"), client);
  EXPECT_EQ(corner.left, 10 + 200 - 220);
  EXPECT_EQ(corner.top, 20 + 150 - 190);
  EXPECT_EQ(resolve_coordinate({true, false, 5}, 0, 101), 55);  // integer half
  // Corners the wrong way round give an empty rectangle, not a negative one.
  EXPECT_EQ(resolve_rect(parse_pos("-0,0,0,10"), client).width(), 0);
}

TEST(SkinLayout, PositionedChildren) {
  Tree t;
  CGwWindow* fill = t.add(*t.root, "dlg", {{"pos", "0,0,-0,-0"}});
  CGwWindow* right = t.add(*t.root, "text", {{"pos", "-102,0"}});
  CGwWindow* centred = t.add(*t.root, "img", {{"pos", "|-220,|-190"}});
  CGwWindow* three = t.add(*t.root, "text", {{"pos", "10,10,50"}});
  CGwWindow* wide = t.add(*t.root, "text", {{"pos", "100,5"}, {"width", "full"}});
  t.root->style.set_attribute("margin", "5");
  t.lay_out({0, 0, 810, 610});

  EXPECT_EQ(fill->rect, (Rect{5, 5, 805, 605}));
  // 102 left of the client's right edge, natural size.
  EXPECT_EQ(right->rect, (Rect{703, 5, 743, 15}));
  EXPECT_EQ(centred->rect.left, 5 + 400 - 220);
  EXPECT_EQ(centred->rect.top, 5 + 300 - 190);
  // Three values: no position, so the element flows from the corner.
  EXPECT_FALSE(three->pos.has_position());
  EXPECT_EQ(three->rect, (Rect{5, 5, 45, 15}));
  // Full width reaches the parent's right edge, not origin + parent width.
  EXPECT_EQ(wide->rect, (Rect{105, 10, 805, 20}));
}

TEST(SkinLayout, FlowWrapsLinesAndAlignsVertically) {
  Tree t;
  t.root->style.set_attribute("spacing", "4");
  t.root->style.set_attribute("linespacing", "6");
  CGwWindow* a = t.add(*t.root, "text", {});
  CGwWindow* tall = t.add(*t.root, "img", {});
  tall->text = u"40,30";
  CGwWindow* mid = t.add(*t.root, "text", {{"valign", "middle"}});
  CGwWindow* low = t.add(*t.root, "text", {{"valign", "bottom"}});
  CGwWindow* wraps = t.add(*t.root, "text", {});
  t.add(*t.root, "br", {});
  CGwWindow* after_br = t.add(*t.root, "text", {});
  CGwWindow* hidden = t.add(*t.root, "text", {{"show", "0"}});
  t.lay_out({0, 0, 180, 200});

  EXPECT_EQ(a->rect, (Rect{0, 0, 40, 10}));
  EXPECT_EQ(tall->rect, (Rect{44, 0, 84, 30}));
  EXPECT_EQ(mid->rect.top, 10);   // centred in the 30-pixel line
  EXPECT_EQ(low->rect.top, 20);   // down to the line's bottom
  EXPECT_EQ(low->rect.right, 172);
  // The fifth child would end at 216 > 180: a new line, 6 below the tallest.
  EXPECT_EQ(wraps->rect, (Rect{0, 36, 40, 46}));
  EXPECT_EQ(after_br->rect, (Rect{0, 52, 40, 62}));
  EXPECT_TRUE(hidden->is_hidden());
}

TEST(SkinLayout, ContentSizedPanelWrapsItsChildrenAndFloatsAlign) {
  Tree t;
  CGwWindow* panel = t.add(*t.root, "dlg", {{"pos", "10,10"}});
  panel->style.set_attribute("margin", "3");
  t.add(*panel, "text", {});
  t.add(*panel, "text", {});
  CGwWindow* floating = t.add(*t.root, "text", {{"float", "1"}, {"align", "right"}, {"valign", "bottom"}});
  CGwWindow* fixed = t.add(*t.root, "text", {{"pos", "0,100"}, {"width", "7"}, {"height", "8"}});
  t.lay_out({0, 0, 300, 200});

  EXPECT_EQ(panel->rect, (Rect{10, 10, 10 + 3 + 80 + 3, 10 + 3 + 10 + 3}));
  EXPECT_EQ(floating->rect, (Rect{260, 190, 300, 200}));
  EXPECT_EQ(fixed->rect, (Rect{0, 100, 7, 108}));
}

TEST(SkinElement, AttributesAndLookup) {
  Tree t;
  StyleTable& styles = t.styles;
  styles.get_or_create("title").set_attribute("crtext", "00ff00");
  CGwWindow* e = t.add(*t.root, "text", {{"crtext", "ff0000"}, {"class", "title"}, {"id", "31"}});
  EXPECT_EQ(e->style.text, 0xFF00u);  // "class" after "crtext" replaces it
  e->set_attribute("class", "nosuch", false, styles);
  EXPECT_EQ(e->style.text, kNoColour);

  EXPECT_FALSE(e->set_attribute("valign", "centre", false, styles));
  EXPECT_EQ(e->valign, VAlign::kTop);
  EXPECT_FALSE(e->set_attribute("skin", "x", false, styles));  // not a text attribute
  EXPECT_FALSE(e->set_attribute("show", "0", false, styles));  // loading only
  EXPECT_FALSE(e->is_hidden());

  CGwWindow* inner = t.add(*t.add(*t.root, "dlg", {}), "img", {{"id", "7"}, {"skin", "logo"}});
  CGwWindow* direct = t.add(*t.root, "text", {{"id", "7"}});
  EXPECT_EQ(t.root->find_by_id(7), direct);  // direct children first
  EXPECT_EQ(t.root->find_by_id(31), e);
  EXPECT_EQ(t.root->find_by_id(99), nullptr);
  ASSERT_NE(inner->class_attribute("skin"), nullptr);
  EXPECT_EQ(*inner->class_attribute("skin"), "logo");

  const std::uint32_t handle = inner->handle();
  EXPECT_EQ(CGwWindow::from_handle(handle), inner);
  t.root->clear_children();
  EXPECT_EQ(CGwWindow::from_handle(handle), nullptr);
}

TEST(SkinHitTest, DeepestVisibleElement) {
  Tree t;
  CGwWindow* panel = t.add(*t.root, "dlg", {{"pos", "0,0,100,100"}, {"id", "1"}});
  CGwWindow* label = t.add(*panel, "text", {{"pos", "10,10,50,30"}, {"id", "2"}});
  CGwWindow* clicky = t.add(*t.root, "dlg", {{"pos", "100,0,200,100"}, {"onlydrawchild", "1"}, {"id", "3"}});
  t.add(*clicky, "text", {{"pos", "0,0,-0,-0"}, {"id", "4"}});
  CGwWindow* glass = t.add(*t.root, "text", {{"pos", "210,210,230,230"}, {"transparent", "1"}});
  CGwWindow* over = t.add(*t.root, "text", {{"pos", "40,40,60,60"}, {"float", "1"}});
  t.lay_out({0, 0, 300, 300});

  EXPECT_EQ(t.root->hit_test(20, 20), label);
  EXPECT_EQ(t.root->hit_test(5, 50), panel);      // inside, under no child
  EXPECT_EQ(t.root->hit_test(150, 50), clicky);   // answers for its text
  EXPECT_EQ(t.root->hit_test(215, 215), t.root.get());  // through the transparent one
  glass->transparent = false;
  EXPECT_EQ(t.root->hit_test(215, 215), glass);
  EXPECT_EQ(t.root->hit_test(45, 45), over);      // floating children first
  EXPECT_EQ(t.root->hit_test(250, 250), t.root.get());
  EXPECT_EQ(t.root->hit_test(400, 5), nullptr);

  panel->state |= state::kHidden;
  EXPECT_TRUE(label->hidden_in_tree());
  EXPECT_EQ(t.root->hit_test(20, 20), t.root.get());
  panel->state &= ~state::kHidden;
  EXPECT_EQ(t.root->hit_test(20, 20), label);
}

TEST(SkinControls, ProgressFractionAndBar) {
  EXPECT_DOUBLE_EQ(progress_fraction(0, 200, 50), 0.25);
  EXPECT_DOUBLE_EQ(progress_fraction(200, 0, 50), 0.25);  // reversed range swapped
  EXPECT_DOUBLE_EQ(progress_fraction(0, 100, 150), 1.0);
  EXPECT_DOUBLE_EQ(progress_fraction(0, 100, -5), 0.0);
  EXPECT_DOUBLE_EQ(progress_fraction(7, 7, 7), 0.0);
  EXPECT_EQ(progress_percent(0, 3, 2), 66);  // truncated
  EXPECT_EQ(progress_percent(-2147483647 - 1, 2147483647, 2147483647), 100);

  const Rect whole{10, 10, 114, 30};  // 100 pixels inside the 2-pixel inset
  EXPECT_EQ(progress_bar_rect(whole, 0.5, 0), (Rect{12, 10, 62, 30}));
  EXPECT_EQ(progress_bar_rect(whole, 1.0, 8), (Rect{12, 16, 112, 24}));
}

TEST(SkinControls, TabHeadersAlongTheStrip) {
  const Rect control{100, 50, 600, 400};
  EXPECT_EQ(tab_header_rect(control, 0, {80, 24}, 10, 4, false), (Rect{110, 50, 190, 74}));
  EXPECT_EQ(tab_header_rect(control, 2, {80, 24}, 10, 4, false), (Rect{278, 50, 358, 74}));
  EXPECT_EQ(tab_header_rect(control, 1, {80, 24}, 0, 2, true), (Rect{100, 76, 180, 100}));
  EXPECT_EQ(tab_header_rect(control, -1, {80, 24}, 0, 2, true), Rect{});
  // Sizes from a layout's "tabheight" and "tabspacing" at the int limits
  // are clamped, not overflowed.
  const Rect far = tab_header_rect(control, 3, {80, INT_MAX}, INT_MAX, INT_MAX, true);
  EXPECT_EQ(far.top, 1'000'000);
  EXPECT_EQ(far.height(), 1'000'000);
}

}  // namespace
}  // namespace salvor::skin
