// Colours, font codes and style classes as the resources write them.
#include <gtest/gtest.h>

#include "skin/core/style.h"
#include "skin/core/values.h"

namespace salvor::skin {
namespace {

TEST(SkinValues, FontCodesGiveSizeAndFlags) {
  const FontSpec big = font_spec(parse_font_code("0a00"));
  EXPECT_EQ(big.height, -21);
  EXPECT_EQ(big.weight, 400);
  EXPECT_FALSE(big.underline);

  const FontSpec bold = font_spec(parse_font_code("0304"));
  EXPECT_EQ(bold.height, -14);
  EXPECT_EQ(bold.weight, 700);

  const FontSpec underlined = font_spec(parse_font_code("0002"));
  EXPECT_EQ(underlined.height, kBaseFontHeight);
  EXPECT_TRUE(underlined.underline);
  EXPECT_FALSE(underlined.italic);
  EXPECT_EQ(parse_font_code("02"), parse_font_code("0002"));

  EXPECT_EQ(font_spec(parse_font_code("0204")).height, -13);
  EXPECT_TRUE(font_spec(parse_font_code("1")).italic);
  // The high byte is signed: "ff00" shrinks the font by one unit.
  EXPECT_EQ(font_spec(parse_font_code("ff00")).height, -10);
  // 1028 (0x404), the list's large bold font.
  EXPECT_EQ(font_spec(1028).height, -15);
  EXPECT_EQ(font_spec(1028).weight, 700);
}

TEST(SkinValues, MalformedFontCodesAreTheBaseFont) {
  EXPECT_EQ(parse_font_code("02x4"), 0);
  EXPECT_EQ(parse_font_code(""), 0);
  EXPECT_EQ(parse_font_code("12345"), 0);
}

TEST(SkinValues, ColoursAreRedFirstPairByPair) {
  EXPECT_EQ(parse_colour("0000"), 0u);  // short: the blue pair is missing
  EXPECT_EQ(parse_colour("fdfdfd"), parse_colour("FDFDFD"));
  EXPECT_EQ(parse_colour("FDFDFD"), 0xFDFDFDu);
  EXPECT_EQ(parse_colour("102030"), 0x302010u);  // COLORREF: red in the low byte
  EXPECT_EQ(parse_colour("ff"), 0xFFu);
  // A bad pair is 0 on its own; its neighbours keep their values.
  EXPECT_EQ(parse_colour("11zz33"), 0x330011u);
  EXPECT_NE(parse_colour("000000"), kNoColour);
}

TEST(SkinValues, StateWordPicksSubImages) {
  EXPECT_EQ(sub_image_for_state(state::kNone), -1);
  EXPECT_EQ(sub_image_for_state(0), 0);
  EXPECT_EQ(sub_image_for_state(state::kHover), 1);
  EXPECT_EQ(sub_image_for_state(state::kHover | state::kPushed), 2);
  EXPECT_EQ(sub_image_for_state(state::kHover | state::kPushed | state::kDisabled), 3);
  EXPECT_EQ(sub_image_for_state(state::kChecked), 0);
}

TEST(SkinValues, NumbersReadTheirLeadingDigits) {
  EXPECT_EQ(parse_decimal("12px"), 12);
  EXPECT_EQ(parse_decimal("-7"), -7);
  EXPECT_EQ(parse_decimal("x"), 0);
  EXPECT_EQ(parse_decimal("99999999999999"), 2147483647);
  EXPECT_EQ(parse_hex("28"), 0x28u);
  EXPECT_EQ(parse_hex("0x25"), 0x25u);
}

TEST(SkinStyle, DefaultsAndSetters) {
  GwStyle style;
  EXPECT_EQ(style.background, kNoColour);
  EXPECT_EQ(style.text_disabled, 0xCCCCCCu);
  EXPECT_EQ(style.text_mode, 0x28u);
  EXPECT_EQ(style.line_spacing_px, 20);
  EXPECT_FALSE(style.font.has_value());
  EXPECT_EQ(style.cursor, Cursor::kArrow);

  ASSERT_TRUE(style.set_attribute("x-margin", "4"));
  ASSERT_TRUE(style.set_attribute("margin", "9"));
  EXPECT_EQ(style.x_margin_px, 9);
  EXPECT_EQ(style.y_margin_px, 9);
  ASSERT_TRUE(style.set_attribute("y-margin", "2"));
  EXPECT_EQ(style.x_margin_px, 9);
  EXPECT_EQ(style.y_margin_px, 2);

  ASSERT_TRUE(style.set_attribute("font", "0204"));
  EXPECT_EQ(style.font, 0x0204);
  ASSERT_TRUE(style.set_attribute("cursor", "hand"));
  EXPECT_EQ(style.cursor, Cursor::kHand);
}

TEST(SkinStyle, RejectedAttributesChangeNothing) {
  GwStyle style;
  ASSERT_TRUE(style.set_attribute("cursor", "hand"));
  EXPECT_FALSE(style.set_attribute("cursor", "wait"));
  EXPECT_EQ(style.cursor, Cursor::kHand);
  EXPECT_FALSE(style.set_attribute("colour", "ff0000"));
  EXPECT_FALSE(style.set_attribute("Margin", "3"));  // names are case-sensitive
  EXPECT_EQ(style.x_margin_px, 0);
}

TEST(SkinStyle, UnknownClassYieldsTheDefaultStyle) {
  StyleTable table;
  GwStyle& title = table.get_or_create("title");
  title.set_attribute("crtext", "ff0000");
  EXPECT_EQ(table.get("title").text, 0xFFu);
  EXPECT_EQ(table.get("nosuchclass").name, "");
  EXPECT_EQ(table.get("nosuchclass").text, kNoColour);
  EXPECT_EQ(&table.get("nosuchclass"), &table.get(""));
  table.clear();
  EXPECT_EQ(table.size(), 1u);
  EXPECT_EQ(table.get("title").text, kNoColour);
}

TEST(SkinStrings, StringReferencesExpandLeftToRight) {
  StringTable strings;
  strings.set(3, u"Scan");
  strings.set(12, u"Drive");
  EXPECT_EQ(expand_string_refs(u"%str3% %str12%!", strings), u"Scan Drive!");
  // Unknown ids, id 0, missing "%" and bare percent signs stay as written.
  EXPECT_EQ(expand_string_refs(u"%str4% %str0% %str3 100%", strings), u"%str4% %str0% %str3 100%");
  EXPECT_EQ(expand_string_refs(u"50%%str3%", strings), u"50%Scan");
  ASSERT_NE(strings.get(3), nullptr);
  EXPECT_EQ(strings.get(4), nullptr);
}

}  // namespace
}  // namespace salvor::skin
