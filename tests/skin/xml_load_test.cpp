// The XML readers: style classes in document order, the string table, and
// layouts with their parts, hidden elements and string references.
#include <gtest/gtest.h>

#include "skin/core/xml_load.h"

namespace salvor::skin {
namespace {

Size fixed_size(const CGwWindow&) { return {30, 12}; }

TEST(SkinXml, StyleTableAppliesAttributesInDocumentOrder) {
  StyleTable table;
  ASSERT_TRUE(load_style_table(
      "\xEF\xBB\xBF<style>"
      "<class name=\"title\" x-margin=\"4\" margin=\"9\" crtext=\"fdfdfd\" font=\"0a00\" bogus=\"1\"/>"
      "<class name=\"btn\" cursor=\"spinner\" crbg=\"0000\"/>"
      "<class crtext=\"ff0000\"/>"
      "<other name=\"skipped\"/>"
      "</style>",
      table));
  EXPECT_EQ(table.get("title").x_margin_px, 9);
  EXPECT_EQ(table.get("title").y_margin_px, 9);
  EXPECT_EQ(table.get("title").text, 0xFDFDFDu);
  EXPECT_EQ(table.get("title").font, 0x0a00);
  EXPECT_EQ(table.get("btn").cursor, Cursor::kArrow);  // rejected keyword
  EXPECT_EQ(table.get("btn").background, 0u);         // the rest still applies
  EXPECT_EQ(table.get("skipped").name, "");
  EXPECT_EQ(table.get("").text, kNoColour);  // a class without a name is skipped
  EXPECT_EQ(table.size(), 3u);
}

TEST(SkinXml, BrokenDocumentsLeaveEmptyTables) {
  StyleTable styles;
  styles.get_or_create("old");
  EXPECT_FALSE(load_style_table("<style><class name=\"a\"></style>", styles));
  EXPECT_EQ(styles.size(), 1u);
  EXPECT_FALSE(load_style_table("<skins/>", styles));
  StringTable strings;
  strings.set(1, u"old");
  EXPECT_FALSE(load_string_table("", strings));
  EXPECT_EQ(strings.size(), 0u);
  EXPECT_EQ(load_layout("<body/>", styles, strings), nullptr);
  EXPECT_EQ(load_layout("<layer><body>", styles, strings), nullptr);
  // A UTF-8 sequence cut short at the end (once read past the text by the
  // parser) is refused before parsing.
  EXPECT_FALSE(load_style_table("<style><class name=\"a\" font=\"0\xE6\xE6\xE6<\xE6\xE6", styles));
  EXPECT_EQ(load_layout("<layer title=\"\xE6\"/>", styles, strings), nullptr);
  EXPECT_NE(load_layout("<layer title=\"\xE6\x96\x87\"/>", styles, strings), nullptr);
}

TEST(SkinXml, StringTableKeepsTheLastOfAnId) {
  StringTable strings;
  ASSERT_TRUE(load_string_table(
      "<string><s id=\"3\">first</s><s id=\"3x\">Wiederherstellen \xC3\xBC</s>"
      "<s>no id</s><s id=\"4\"/></string>",
      strings));
  ASSERT_NE(strings.get(3), nullptr);
  EXPECT_EQ(*strings.get(3), u"Wiederherstellen \u00FC");
  ASSERT_NE(strings.get(4), nullptr);
  EXPECT_EQ(*strings.get(4), u"");
  EXPECT_EQ(strings.size(), 2u);
}

TEST(SkinXml, LayoutBuildsThePartsAndFramesThem) {
  StyleTable styles;
  ASSERT_TRUE(load_style_table("<style><class name=\"hot\" crtext=\"ff0000\"/></style>", styles));
  StringTable strings;
  strings.set(7, u"Scan");
  auto layout = load_layout(
      "<layer title=\"Salvor \xE2\x80\x93 Test\" width=\"640\" height=\"480\" appwin=\"1\" resize=\"0\">"
      "<header height=\"30\"><imgbtn id=\"2\" pos=\"-24,4\" skin=\"close\"/><blink id=\"9\"/></header>"
      "<body class=\"hot\">"
      "  <text id=\"10\" pos=\"10,10,50\">%str7% now</text>"
      "  <dlg id=\"20\" pos=\"0,40,-0,-0\" show=\"0\"><button id=\"21\" pos=\"0,0,40,20\">Go</button></dlg>"
      "  <text id=\"30\" pos=\"|-15,|-6\" valign=\"sideways\"/>"
      "</body>"
      "<footer height=\"40\"><text id=\"50\" pos=\"0,0,-0,-0\"/></footer>"
      "</layer>",
      styles, strings);
  ASSERT_NE(layout, nullptr);
  EXPECT_EQ(layout->title, u"Salvor \u2013 Test");
  EXPECT_EQ(layout->width, 640);
  EXPECT_TRUE(layout->app_window);
  EXPECT_FALSE(layout->resizable);
  ASSERT_TRUE(layout->header && layout->body && layout->footer);
  EXPECT_EQ(layout->header->children().size(), 1u);  // unknown tag skipped
  EXPECT_EQ(layout->body->style.text, 0xFFu);

  frame_layout(*layout, {0, 0, 640, 480}, fixed_size);
  EXPECT_EQ(layout->header->rect, (Rect{0, 0, 640, 30}));
  EXPECT_EQ(layout->footer->rect, (Rect{0, 440, 640, 480}));
  EXPECT_EQ(layout->body->rect, (Rect{0, 30, 640, 440}));
  EXPECT_EQ(layout->header->find_by_id(2)->rect, (Rect{616, 4, 646, 16}));
  EXPECT_EQ(layout->footer->find_by_id(50)->rect, layout->footer->rect);

  CGwWindow* text = layout->body->find_by_id(10);
  EXPECT_EQ(text->text, u"Scan now");
  EXPECT_EQ(text->rect, (Rect{0, 30, 30, 42}));  // three values: flowed
  CGwWindow* page = layout->body->find_by_id(20);
  EXPECT_TRUE(page->is_hidden());
  EXPECT_EQ(page->rect, (Rect{0, 70, 640, 440}));
  CGwWindow* go = layout->body->find_by_id(21);
  EXPECT_EQ(go->text, u"Go");
  EXPECT_EQ(layout->body->hit_test(5, 75), layout->body.get());  // hidden page
  page->state &= ~state::kHidden;
  EXPECT_EQ(layout->body->hit_test(5, 75), go);
  CGwWindow* centred = layout->body->find_by_id(30);
  EXPECT_EQ(centred->rect.left, 320 - 15);
  EXPECT_EQ(centred->rect.top, 30 + 205 - 6);
  EXPECT_EQ(centred->valign, VAlign::kTop);
}

}  // namespace
}  // namespace salvor::skin
