// The resource layer: "GWRES" documents, the skin, style and string tables
// loaded from them, and the font, bitmap and PNG pools.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include "skin/win/resources.h"
#include "skin/win/skins.h"

namespace salvor::skin {
namespace {

TEST(GwResource, ReadsDocumentsWholeAndRefusesMissingOrEmptyOnes) {
  std::string xml;
  ASSERT_TRUE(ReadGwResource(gwres::kSkins, xml));
  EXPECT_EQ(xml.compare(0, 3, "\xEF\xBB\xBF"), 0);  // the byte-order mark is kept
  EXPECT_NE(xml.find("</skins>"), std::string::npos);
  EXPECT_EQ(xml.find('\0'), std::string::npos);

  EXPECT_FALSE(ReadGwResource(999, xml));
  EXPECT_TRUE(xml.empty());
  EXPECT_FALSE(ReadGwResource(150, xml));  // present but empty
  EXPECT_FALSE(ReadGwResource(0x12345, xml));
}

TEST(GwTables, StylesStringsAndSkinsLoadFromTheProgram) {
  ASSERT_EQ(LoadStyles(), 1);
  const GwStyle& caption = GwStyles().get("caption");
  EXPECT_EQ(caption.x_margin_px, 7);  // "margin" came after "x-margin"
  EXPECT_EQ(caption.y_margin_px, 7);
  EXPECT_EQ(caption.cursor, Cursor::kHand);
  EXPECT_EQ(caption.font, 0x0304);
  EXPECT_EQ(&GwStyles().get("no-such-class"), &GwStyles().get(""));
  const GwStyle& bad = GwStyles().get("bad");  // a rejected cursor leaves the rest
  EXPECT_EQ(bad.cursor, Cursor::kArrow);
  EXPECT_EQ(bad.background, 0xFFFFFFu);

  ASSERT_EQ(LoadStrings(), 1);
  ASSERT_NE(GwString::Instance().Get(1), nullptr);
  EXPECT_EQ(*GwString::Instance().Get(1), u"Pictures");  // the later entry of an id wins
  ASSERT_NE(GwString::Instance().Get(27), nullptr);
  EXPECT_EQ(*GwString::Instance().Get(27), u"Документы");
  EXPECT_EQ(GwString::Instance().Get(2), nullptr);

  ASSERT_EQ(LoadSkins(), 1);
  ASSERT_NE(FindSkin("strip"), nullptr);
  EXPECT_TRUE(FindSkin("strip")->IsClass("imglst"));
  EXPECT_TRUE(FindSkin("frame")->IsClass("imgframe"));
  EXPECT_TRUE(FindSkin("bar")->IsClass("imghorzex"));
  EXPECT_TRUE(FindSkin("grad")->IsClass("gradation"));
  EXPECT_TRUE(FindSkin("pngstrip")->IsClass("png"));
  EXPECT_EQ(FindSkin("unknown"), nullptr);
  EXPECT_EQ(FindSkin(""), nullptr);  // a skin without a name is skipped
  ASSERT_NE(FindSkin("dup"), nullptr);
  EXPECT_TRUE(FindSkin("dup")->IsClass("button"));  // the later one of a name
  // A rejected attribute is dropped; the rest of the element applies.
  const auto* tolerant = dynamic_cast<const CGwImageSkin*>(FindSkin("tolerant"));
  ASSERT_NE(tolerant, nullptr);
  EXPECT_EQ(tolerant->recipe().sub_width_px, 10);
  EXPECT_EQ(tolerant->recipe().mode, ImageMode::kNone);
  EXPECT_NE(tolerant->bitmap(), nullptr);
  EXPECT_EQ(FindSkin("strip")->NaturalSize(), (Size{10, 10}));
  EXPECT_EQ(FindSkin("bar")->NaturalSize(), (Size{0, 5}));
  EXPECT_EQ(FindSkin("pngstrip")->NaturalSize(), (Size{10, 6}));
  EXPECT_EQ(FindSkin("missing")->NaturalSize(), (Size{0, 0}));

  // Loading again starts from an empty table.
  ASSERT_EQ(LoadSkins(), 1);
  EXPECT_NE(FindSkin("strip"), nullptr);
}

LOGFONTW font_of(HFONT font) {
  LOGFONTW lf{};
  EXPECT_NE(GetObjectW(font, sizeof(lf), &lf), 0);
  return lf;
}

TEST(GwFontPool, CodesGiveTahomaFontsOnceEach) {
  GwFontPool& pool = GwFontPool::Instance();
  const LOGFONTW base = font_of(pool.Get(0));
  EXPECT_EQ(base.lfHeight, -11);
  EXPECT_EQ(base.lfQuality, ANTIALIASED_QUALITY);
  EXPECT_STREQ(base.lfFaceName, L"Tahoma");

  const LOGFONTW big = font_of(pool.Get(0x0a00));
  EXPECT_EQ(big.lfHeight, -21);
  EXPECT_EQ(big.lfWeight, 400);
  EXPECT_STREQ(big.lfFaceName, L"Tahoma");
  const LOGFONTW bold = font_of(pool.Get(0x0304));
  EXPECT_EQ(bold.lfHeight, -14);
  EXPECT_EQ(bold.lfWeight, 700);
  const LOGFONTW underlined = font_of(pool.Get(parse_font_code("02")));
  EXPECT_EQ(underlined.lfHeight, -11);
  EXPECT_TRUE(underlined.lfUnderline);
  EXPECT_FALSE(underlined.lfItalic);

  EXPECT_EQ(pool.Get(0x0304), pool.Get(0x0304));
  EXPECT_NE(pool.Get(0x0304), pool.Get(0x0300));
}

TEST(GwImagePools, CacheWhatLoadsAndGiveNullForTheRest) {
  HBITMAP strip = GwBmpPool::Instance().Get(1000);
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(GwBmpPool::Instance().Get(1000), strip);
  BITMAP info{};
  ASSERT_NE(GetObjectW(strip, sizeof(info), &info), 0);
  EXPECT_EQ(info.bmWidth, 40);
  EXPECT_EQ(info.bmHeight, 10);
  BITMAP alpha{};
  ASSERT_NE(GetObjectW(GwBmpPool::Instance().Get(1002), sizeof(alpha), &alpha), 0);
  EXPECT_EQ(alpha.bmBitsPixel, 32);
  EXPECT_EQ(GwBmpPool::Instance().Get(4000), nullptr);
  EXPECT_EQ(GwBmpPool::Instance().Get(0), nullptr);

  Gdiplus::Image* png = GwPngPool::Instance().Get(200);
  ASSERT_NE(png, nullptr);
  EXPECT_EQ(png->GetWidth(), 20u);
  EXPECT_EQ(png->GetHeight(), 6u);
  EXPECT_EQ(GwPngPool::Instance().Get(200), png);
  EXPECT_EQ(GwPngPool::Instance().Get(201), nullptr);  // not a PNG
  EXPECT_EQ(GwPngPool::Instance().Get(202), nullptr);  // no such resource
}

}  // namespace
}  // namespace salvor::skin
