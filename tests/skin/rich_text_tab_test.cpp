// Rich text (markup to runs, line breaking at the right edge) and the tab
// control's pages (initial page, selection with its cancel hook, clicks on
// the header strip).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "skin/core/mouse.h"
#include "skin/core/rich_text_layout.h"
#if SALVOR_SKIN_XML
#include "skin/core/xml_load.h"
#endif

namespace salvor::skin {
namespace {

// Every character is 10 pixels wide, bold ones 12.
int fixed_width(std::u16string_view text, std::uint16_t font) {
  return static_cast<int>(text.size()) * ((font & font_bit::kBold) ? 12 : 10);
}

RichRun run(std::u16string text, std::uint16_t font = 0) {
  RichRun r;
  r.text = std::move(text);
  r.font_code = font;
  return r;
}

RichRun line_break() {
  RichRun r;
  r.line_break = true;
  return r;
}

TEST(SkinRichText, RunsBreakAtTheRightEdgeAndPenAdvancesBySpacing) {
  RichTextMetrics m;
  m.spacing_px = 5;
  m.line_spacing_px = 18;
  const Rect client{100, 50, 180, 200};  // 80 pixels of room
  auto pieces = layout_rich_text({run(u"hello"), run(u"world"), line_break(), run(u"ab", font_bit::kBold)},
                                 client, m, fixed_width);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].text, u"hello");
  EXPECT_EQ(pieces[0].rect, (Rect{100, 50, 150, 68}));
  // 155..180 leaves 25 pixels: "world" is not split there but starts the
  // next line.
  EXPECT_EQ(pieces[1].text, u"world");
  EXPECT_EQ(pieces[1].rect, (Rect{100, 68, 150, 86}));
  // "br" starts one line lower at the left margin; bold widths apply.
  EXPECT_EQ(pieces[2].text, u"ab");
  EXPECT_EQ(pieces[2].rect, (Rect{100, 86, 124, 104}));
  EXPECT_EQ(pieces[2].font_code, font_bit::kBold);
  EXPECT_EQ(rich_text_extent(pieces, 100, 50), (Size{50, 54}));
}

TEST(SkinRichText, LinesBreakBetweenWords) {
  RichTextMetrics m;
  m.line_spacing_px = 10;
  // 95 pixels: "if none of" (100) does not fit, "if none" does.
  auto pieces = layout_rich_text({run(u"if none of the results")}, {0, 0, 95, 100}, m, fixed_width);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].text, u"if none");
  EXPECT_EQ(pieces[1].text, u"of the");  // the space at the break is dropped
  EXPECT_EQ(pieces[1].rect, (Rect{0, 10, 60, 20}));
  EXPECT_EQ(pieces[2].text, u"results");
  // After a first run, a second one breaks at its own spaces.
  pieces = layout_rich_text({run(u"Yes"), run(u"go on now")}, {0, 0, 90, 100}, m, fixed_width);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[1].text, u"go on");
  EXPECT_EQ(pieces[1].rect.left, 30);
  EXPECT_EQ(pieces[2].text, u"now");
  // A word wider than the whole line is still cut at the edge.
  pieces = layout_rich_text({run(u"abcdefgh")}, {0, 0, 50, 100}, m, fixed_width);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].text, u"abcde");
  EXPECT_EQ(pieces[1].text, u"fgh");
}

TEST(SkinRichText, EdgeCasesOfBreaking) {
  RichTextMetrics m;
  m.line_spacing_px = 10;
  m.base_font_code = 0x0200;
  // A run that doesn't fit at all after another moves to the next line whole.
  auto pieces = layout_rich_text({run(u"abcdef"), run(u"xyz")}, {0, 0, 65, 100}, m, fixed_width);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[1].rect, (Rect{0, 10, 30, 20}));
  EXPECT_EQ(pieces[1].font_code, 0x0200);  // "defaultfont" plus the run's bits
  // Narrower than one character: still one per line, and it ends.
  pieces = layout_rich_text({run(u"abc")}, {0, 0, 4, 100}, m, fixed_width);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[2].text, u"c");
  EXPECT_EQ(pieces[2].rect.top, 20);
  // A surrogate pair is never split between lines.
  pieces = layout_rich_text({run(u"a\U0001F600b")}, {0, 0, 25, 100}, m, fixed_width);
  ASSERT_GE(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].text, u"a");
  EXPECT_EQ(pieces[1].text, u"\U0001F600");
  // Nothing to write: nothing written.
  EXPECT_TRUE(layout_rich_text({run(u"")}, {0, 0, 50, 50}, m, fixed_width).empty());
}

#if SALVOR_SKIN_XML
TEST(SkinRichText, MarkupBecomesRuns) {
  std::vector<RichRun> runs;
  ASSERT_TRUE(parse_rich_text("Save<b>all<i>now</i></b><br/><c color=\"ff0000\">red</c>"
                              "<a id=\"7\" href=\"http://x/\"><u>go</u></a><a id=\"8\">on</a>",
                              runs));
  ASSERT_EQ(runs.size(), 7u);
  EXPECT_EQ(runs[0], run(u"Save"));
  EXPECT_EQ(runs[1], run(u"all", font_bit::kBold));
  EXPECT_EQ(runs[2], run(u"now", font_bit::kBold | font_bit::kItalic));
  EXPECT_TRUE(runs[3].line_break);
  EXPECT_EQ(runs[4].colour, 0x0000FFu);
  EXPECT_EQ(runs[5].font_code, font_bit::kUnderline);
  EXPECT_EQ(runs[5].link_id, 7);
  EXPECT_EQ(runs[5].href, "http://x/");
  EXPECT_EQ(runs[5].link_index, 1);
  EXPECT_EQ(runs[6].link_index, 2);
  EXPECT_EQ(runs[6].link_id, 8);
  // A run left open at the end is closed there; crossed or stray closing
  // tags still make it unreadable.
  ASSERT_TRUE(parse_rich_text("<c color=\"000000\">Are you sure? <b>Really", runs));
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[1].text, u"Really");
  EXPECT_EQ(runs[1].font_code, font_bit::kBold);
  EXPECT_EQ(runs[1].colour, 0u);
  EXPECT_FALSE(parse_rich_text("<b>a<i>b</b></i>", runs));
  EXPECT_FALSE(parse_rich_text("a</b>", runs));
  EXPECT_FALSE(parse_rich_text("<b a", runs));
  EXPECT_TRUE(runs.empty());
}

TEST(SkinRichText, LayoutKeepsRichTextAsRunsNotElements) {
  StyleTable styles;
  StringTable strings;
  auto layout = load_layout(
      "<layer><body><richtext id=\"5\" defaultfont=\"0200\">Hi <b>there</b><text id=\"6\">x</text>"
      "</richtext></body></layer>",
      styles, strings);
  ASSERT_NE(layout, nullptr);
  CGwWindow* rich = layout->body->find_by_id(5);
  ASSERT_NE(rich, nullptr);
  EXPECT_TRUE(rich->children().empty());
  EXPECT_EQ(layout->body->find_by_id(6), nullptr);
  ASSERT_EQ(rich->rich_runs.size(), 3u);
  EXPECT_EQ(rich->rich_runs[1].text, u"there");
  EXPECT_EQ(rich->rich_runs[2].text, u"x");
}

TEST(SkinBoxes, KeptCheckValueStartsTheBoxChecked) {
  StyleTable styles;
  StringTable strings;
  auto layout = load_layout(
      "<layer><body><check id=\"1\" check=\"1\">a</check><radio id=\"2\" check=\"0\">b</radio>"
      "<radio id=\"3\" check=\"2\">c</radio></body></layer>",
      styles, strings);
  ASSERT_NE(layout, nullptr);
  EXPECT_NE(layout->body->find_by_id(1)->state & state::kChecked, 0u);
  EXPECT_EQ(layout->body->find_by_id(2)->state & state::kChecked, 0u);
  EXPECT_NE(layout->body->find_by_id(3)->state & state::kChecked, 0u);
}
#endif

// A tab control at (10, 10) - (210, 160) with three pages; headers 40 x 20.
struct Tabs {
  StyleTable styles;
  std::unique_ptr<CGwWindow> body = std::make_unique<CGwWindow>("dlg");
  CGwWindow* ctrl = nullptr;
  std::vector<std::pair<int, int>> asked;
  bool allow = true;

  explicit Tabs(const char* cursel) {
    auto tabs = std::make_unique<CGwWindow>("tabctrl");
    tabs->set_attribute("pos", "10,10,210,160", true, styles);
    tabs->set_attribute("tabwidth", "40", true, styles);
    tabs->set_attribute("tabheight", "20", true, styles);
    tabs->set_attribute("tabspacing", "2", true, styles);
    tabs->set_attribute("framepos", "20", true, styles);
    if (cursel != nullptr) tabs->set_attribute("cursel", cursel, true, styles);
    tabs->id = 9;
    for (int k = 0; k < 3; ++k) {
      auto page = std::make_unique<CGwWindow>("tab");
      page->id = 100 + k;
      auto button = std::make_unique<CGwWindow>("button");
      button->set_attribute("pos", "0,0,30,10", true, styles);
      button->id = 200 + k;
      page->append(std::move(button));
      tabs->append(std::move(page));
    }
    ctrl = body->append(std::move(tabs));
    ctrl->init_tabs();
    body->set_rect({0, 0, 300, 300}, nullptr);
  }
  bool select(int k) {
    return ctrl->select_tab(
        k,
        [&](int n, int o) {
          asked.emplace_back(n, o);
          return allow;
        },
        nullptr);
  }
  std::vector<bool> shown() const {
    std::vector<bool> v;
    for (int k = 0; k < ctrl->tab_count(); ++k) v.push_back(!ctrl->tab_page(k)->is_hidden());
    return v;
  }
};

TEST(SkinTabs, InitialPageAndPageArea) {
  Tabs t("1");
  EXPECT_EQ(t.ctrl->selected_tab(), 1);
  EXPECT_EQ(t.shown(), (std::vector<bool>{false, true, false}));
  // Pages fill the control below "framepos".
  EXPECT_EQ(t.ctrl->tab_page(1)->rect, (Rect{10, 30, 210, 160}));
  EXPECT_EQ(t.body->find_by_id(201)->rect, (Rect{10, 30, 40, 40}));
  EXPECT_EQ(t.ctrl->tab_header_rect(2), (Rect{94, 10, 134, 30}));
  Tabs bad("7");  // out of range: the first page
  EXPECT_EQ(bad.ctrl->selected_tab(), 0);
  EXPECT_EQ(bad.shown(), (std::vector<bool>{true, false, false}));
}

TEST(SkinTabs, SelectionAsksFirstAndIgnoresSameOrOutOfRange) {
  Tabs t(nullptr);
  t.allow = false;
  EXPECT_FALSE(t.select(2));  // cancelled: the old page stays
  EXPECT_EQ(t.asked, (std::vector<std::pair<int, int>>{{2, 0}}));
  EXPECT_EQ(t.shown(), (std::vector<bool>{true, false, false}));
  t.allow = true;
  t.asked.clear();
  EXPECT_FALSE(t.select(3));
  EXPECT_FALSE(t.select(-1));
  EXPECT_TRUE(t.asked.empty());  // no page to ask about
  EXPECT_FALSE(t.select(0));
  EXPECT_TRUE(t.select(2));
  EXPECT_EQ(t.ctrl->selected_tab(), 2);
  EXPECT_EQ(t.shown(), (std::vector<bool>{false, false, true}));
  EXPECT_EQ(t.ctrl->tab_page(2)->rect, (Rect{10, 30, 210, 160}));
  // Hidden pages' contents are not hit; the shown page's are.
  EXPECT_EQ(t.body->hit_test(15, 35), t.body->find_by_id(202));
}

struct TabHost : ViewHost {
  std::vector<std::pair<int, int>> selected;
  std::vector<int> clicks;
  int moves = 0;
  void repaint(const Rect&) override {}
  void notify_click(int id, std::string_view) override { clicks.push_back(id); }
  void open_link(const std::string&) override {}
  void start_window_move() override { ++moves; }
  void set_capture(bool) override {}
  void set_cursor(Cursor) override {}
  void mouse_entered() override {}
  void mouse_left() override {}
  void select_tab(CGwWindow& tabctrl, int index) override { selected.emplace_back(tabctrl.id, index); }
};

TEST(SkinTabs, ClickOnAHeaderSelectsItsPage) {
  Tabs t(nullptr);
  TabHost host;
  MouseRouter mouse(host, nullptr, t.body.get(), nullptr);
  EXPECT_EQ(t.body->hit_test(60, 15), t.ctrl);
  for (int x : {60, 140}) {  // header 1; then past the last header
    mouse.mouse_move(x, 15);
    mouse.button_down(x, 15);
    mouse.button_up(x, 15);
  }
  EXPECT_EQ(host.selected, (std::vector<std::pair<int, int>>{{9, 1}}));
}

}  // namespace
}  // namespace salvor::skin
