// The skin kinds' attributes and where their pixels go: image strips,
// nine-grid frames, horizontal bars, buttons, gradations, and the skin table
// document.
#include <gtest/gtest.h>

#include <algorithm>

#include "skin/core/skin_kinds.h"

namespace salvor::skin {
namespace {

bool covers(const std::vector<Blit>& blits, int x, int y) {
  return std::any_of(blits.begin(), blits.end(),
                     [&](const Blit& b) { return b.dest.contains(x, y); });
}

TEST(SkinAttributes, DefaultsAndRejectedValuesChangeNothing) {
  ImageListRecipe img;
  EXPECT_EQ(img.mask_colour, 0xFF00FFu);
  EXPECT_TRUE(img.set_attribute("mode", "alpha"));
  EXPECT_FALSE(img.set_attribute("mode", "blend"));
  EXPECT_EQ(img.mode, ImageMode::kAlpha);
  EXPECT_TRUE(img.set_attribute("src", "1001"));
  EXPECT_FALSE(img.set_attribute("src", "0"));
  EXPECT_FALSE(img.set_attribute("src", "70000"));  // not a 16-bit resource id
  EXPECT_EQ(img.src, 1001u);
  EXPECT_FALSE(img.set_attribute("subwidth", "-5"));
  EXPECT_EQ(img.sub_width_px, 0);
  EXPECT_FALSE(img.set_attribute("left", "3"));  // a frame's attribute, not a list's
  EXPECT_TRUE(img.set_attribute("name", "logo"));
  EXPECT_EQ(img.name, "logo");

  ImgFrameRecipe frame;
  EXPECT_TRUE(frame.set_attribute("maskcolor", "00ff00"));  // inherited from the list
  EXPECT_EQ(frame.image.mask_colour, 0x00FF00u);
  EXPECT_FALSE(frame.set_attribute("part", "middel"));
  EXPECT_EQ(frame.part, FramePart::kAll);
  EXPECT_FALSE(frame.set_attribute("top", "-1"));

  ButtonRecipe button;
  EXPECT_EQ(button.up_pushed, 0xCECECEu);
  EXPECT_EQ(button.down_hover, 0xE0E0E0u);
  EXPECT_TRUE(button.set_attribute("bgdownpush", "102030"));
  EXPECT_EQ(button.down_pushed, 0x302010u);
  EXPECT_FALSE(button.set_attribute("src", "5"));

  GradationRecipe grad;
  EXPECT_FALSE(grad.set_attribute("direction", "diagonal"));
  EXPECT_FALSE(grad.vertical);
  EXPECT_EQ(grad.from, kNoColour);

  PngRecipe png;
  EXPECT_FALSE(png.set_attribute("mode", "mask"));
  EXPECT_TRUE(png.set_attribute("subwidth", "16"));
}

TEST(SkinImageStrip, SlicesByIndex) {
  const Size strip{157 * 4, 30};
  EXPECT_EQ(image_slice(157, strip, 1), (Rect{157, 0, 314, 30}));
  EXPECT_EQ(image_slice(157, strip, -1), (Rect{0, 0, 628, 30}));
  EXPECT_EQ(image_slice(157, strip, 4), std::nullopt);                 // past the strip
  EXPECT_EQ(image_slice(100, {250, 10}, 2), (Rect{200, 0, 250, 10}));  // short last slice
  // One image: every state shows it.
  EXPECT_EQ(image_slice(0, {40, 10}, 2), (Rect{0, 0, 40, 10}));
  EXPECT_EQ(image_slice(157, {}, 0), std::nullopt);
  // A huge index must not wrap around into the strip.
  EXPECT_EQ(image_slice(1 << 20, strip, 1 << 20), std::nullopt);

  // Copied at its size to the top-left corner, cut to the rectangle.
  const auto b = image_blit(157, strip, 1, {10, 20, 100, 200});
  ASSERT_TRUE(b);
  EXPECT_EQ(b->source, (Rect{157, 0, 247, 30}));
  EXPECT_EQ(b->dest, (Rect{10, 20, 100, 50}));
  EXPECT_EQ(image_natural_size(157, strip), (Size{157, 30}));
  EXPECT_EQ(image_natural_size(0, strip), (Size{628, 30}));
}

TEST(SkinImgFrame, AllPartsMakeANineGrid) {
  ImgFrameRecipe recipe;
  recipe.left_px = 4;
  recipe.top_px = 3;
  recipe.fill = 0x123456;
  // 10x8 image: left column 0..4, stretch column 4, right column 5..10 (5
  // wide); top row 0..3, stretch row 3, bottom rows 4..8 (4 high).
  const FramePaint p = frame_paint(recipe, {10, 8}, {100, 100, 200, 150});
  ASSERT_EQ(p.blits.size(), 8u);
  EXPECT_EQ(p.blits[0], (Blit{{4, 0, 5, 3}, {104, 100, 195, 103}}));   // top edge
  EXPECT_EQ(p.blits[1], (Blit{{4, 4, 5, 8}, {104, 146, 195, 150}}));   // bottom edge
  EXPECT_EQ(p.blits[2], (Blit{{0, 3, 4, 4}, {100, 103, 104, 146}}));   // left edge
  EXPECT_EQ(p.blits[3], (Blit{{5, 3, 10, 4}, {195, 103, 200, 146}}));  // right edge
  EXPECT_EQ(p.blits[4], (Blit{{0, 0, 4, 3}, {100, 100, 104, 103}}));   // corners
  EXPECT_EQ(p.blits[7], (Blit{{5, 4, 10, 8}, {195, 146, 200, 150}}));
  EXPECT_EQ(p.fill, (Rect{104, 103, 195, 146}));
}

TEST(SkinImgFrame, PartsLeaveOutEdgesAndTheirCorners) {
  ImgFrameRecipe recipe;
  recipe.left_px = 4;
  recipe.top_px = 3;
  recipe.fill = 0x123456;
  const Rect rect{0, 0, 50, 40};
  const Size image{10, 8};

  recipe.part = FramePart::kMiddle;
  FramePaint p = frame_paint(recipe, image, rect);
  ASSERT_EQ(p.blits.size(), 2u);  // left and right edges only, full height
  EXPECT_EQ(p.blits[0].dest, (Rect{0, 0, 4, 40}));
  EXPECT_EQ(p.blits[1].dest, (Rect{45, 0, 50, 40}));
  EXPECT_EQ(p.fill, (Rect{4, 0, 45, 40}));

  recipe.part = FramePart::kTop;  // no bottom edge: the sides run to the bottom
  p = frame_paint(recipe, image, rect);
  EXPECT_EQ(p.blits.size(), 5u);
  EXPECT_TRUE(covers(p.blits, 0, 0));
  EXPECT_TRUE(covers(p.blits, 0, 39));
  EXPECT_FALSE(covers(p.blits, 20, 39));

  recipe.part = FramePart::kCenter;  // top and bottom edges across the whole width
  p = frame_paint(recipe, image, rect);
  ASSERT_EQ(p.blits.size(), 2u);
  EXPECT_EQ(p.blits[0].dest, (Rect{0, 0, 50, 3}));
  EXPECT_EQ(p.blits[1].dest, (Rect{0, 36, 50, 40}));

  recipe.part = FramePart::kRight;
  p = frame_paint(recipe, image, rect);
  EXPECT_FALSE(covers(p.blits, 0, 20));
  EXPECT_TRUE(covers(p.blits, 49, 0));

  recipe.fill = kNoColour;
  EXPECT_EQ(frame_paint(recipe, image, rect).fill, std::nullopt);
}

TEST(SkinImgFrame, OversizedCornersStayInImageAndRectangle) {
  ImgFrameRecipe recipe;
  recipe.left_px = 50;  // wider than the image
  recipe.top_px = 2;
  const FramePaint p = frame_paint(recipe, {10, 8}, {0, 0, 6, 6});
  for (const Blit& b : p.blits) {
    EXPECT_GE(b.source.left, 0);
    EXPECT_LE(b.source.right, 10);
    EXPECT_LE(b.source.bottom, 8);
    EXPECT_GE(b.dest.left, 0);
    EXPECT_LE(b.dest.right, 6);
    EXPECT_LE(b.dest.bottom, 6);
    EXPECT_GT(b.source.width(), 0);
    EXPECT_GT(b.dest.width(), 0);
  }
}

TEST(SkinHorzExtend, CapsAtTheEndsColumnStretched) {
  ImgHorzExtendRecipe recipe;
  recipe.left_px = 3;
  recipe.image.sub_width_px = 8;
  // Strip of four 8-px sub-images, 12 px high; sub-image 2 starts at x 16.
  const auto blits = horz_extend_blits(recipe, {32, 12}, {10, 5, 110, 55}, 2);
  ASSERT_EQ(blits.size(), 3u);
  EXPECT_EQ(blits[0], (Blit{{16, 0, 19, 12}, {10, 5, 13, 17}}));    // left cap
  EXPECT_EQ(blits[1], (Blit{{19, 0, 20, 12}, {13, 5, 106, 17}}));   // stretched column
  EXPECT_EQ(blits[2], (Blit{{20, 0, 24, 12}, {106, 5, 110, 17}}));  // right cap
  EXPECT_EQ(horz_extend_natural_size({32, 12}), (Size{0, 12}));

  EXPECT_TRUE(horz_extend_blits(recipe, {32, 12}, {0, 0, 100, 20}, 4).empty());
  // No strip width: the whole bitmap, whatever the index.
  recipe.image.sub_width_px = 0;
  EXPECT_EQ(horz_extend_blits(recipe, {32, 12}, {0, 0, 100, 20}, 2).back().source,
            (Rect{4, 0, 32, 12}));
  // Cut to a rectangle lower than the image.
  EXPECT_EQ(horz_extend_blits(recipe, {32, 12}, {0, 0, 100, 5}, 0)[1].source.height(), 5);
}

TEST(SkinButton, ColoursFollowTheState) {
  const ButtonRecipe recipe;
  const Rect rect{0, 0, 80, 24};
  ButtonPaint p = button_paint(recipe, rect, 0);
  EXPECT_EQ(p.gradient, (Rect{2, 2, 78, 22}));
  EXPECT_EQ(p.gradient_top, 0xEEEEEEu);
  EXPECT_EQ(p.gradient_bottom, 0xD6D6D6u);
  p = button_paint(recipe, rect, state::kHover | state::kPushed);
  EXPECT_EQ(p.gradient_top, 0xCECECEu);
  EXPECT_EQ(p.gradient_bottom, 0xC0C0C0u);
  p = button_paint(recipe, rect, state::kHover);
  EXPECT_EQ(p.gradient_bottom, 0xE0E0E0u);
  p = button_paint(recipe, rect, state::kDisabled | state::kPushed);
  EXPECT_EQ(p.gradient, std::nullopt);
  EXPECT_EQ(p.border, 0x707070u);
  EXPECT_TRUE(button_paint(recipe, rect, state::kNone).gradient.has_value());
}

TEST(SkinGradation, SizeLimitsTheGradientBand) {
  GradationRecipe recipe;
  ASSERT_TRUE(recipe.set_attribute("from", "ff0000"));
  ASSERT_TRUE(recipe.set_attribute("to", "0000ff"));
  ASSERT_TRUE(recipe.set_attribute("direction", "vert"));
  ASSERT_TRUE(recipe.set_attribute("size", "10"));
  GradationPaint p = gradation_paint(recipe, {0, 0, 40, 30});
  EXPECT_EQ(p.plain, (Rect{0, 0, 40, 30}));
  EXPECT_EQ(p.plain_colour, 0xFF0000u);  // "to", blue
  EXPECT_EQ(p.gradient, (Rect{0, 0, 40, 10}));
  EXPECT_TRUE(p.vertical);

  recipe.vertical = false;
  recipe.size_px = 100;  // longer than the rectangle
  EXPECT_EQ(gradation_paint(recipe, {5, 5, 45, 35}).gradient, (Rect{5, 5, 45, 35}));
  recipe.size_px = 0;
  EXPECT_EQ(gradation_paint(recipe, {5, 5, 45, 35}).gradient, (Rect{5, 5, 45, 35}));

  recipe.from = kNoColour;  // nothing to grade from: the plain fill only
  p = gradation_paint(recipe, {0, 0, 40, 30});
  EXPECT_TRUE(p.plain.has_value());
  EXPECT_FALSE(p.gradient.has_value());
}

#if SALVOR_SKIN_XML
TEST(SkinTable, EntriesInOrderUnknownSkippedLaterNameWins) {
  const auto entries = parse_skin_table(
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<skins>\n"
      "  <imglst name=\"a\" src=\"1000\" subwidth=\"16\"/>\n"
      "  <video name=\"v\"/>\n"
      "  <button bg=\"ffffff\"/>\n"
      "  <gradation name=\"g\" from=\"000000\" to=\"ffffff\"/>\n"
      "  <png name=\"a\" src=\"200\"/>\n"
      "</skins>");
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 2u);
  EXPECT_EQ((*entries)[0].name, "a");
  EXPECT_EQ((*entries)[0].kind, SkinKind::kPng);
  EXPECT_EQ((*entries)[1].kind, SkinKind::kGradation);
  ASSERT_EQ((*entries)[1].attributes.size(), 3u);
  EXPECT_EQ((*entries)[1].attributes[1].first, "from");

  EXPECT_FALSE(parse_skin_table("<style><class name=\"x\"/></style>"));
  EXPECT_FALSE(parse_skin_table("<skins><imglst name="));
  EXPECT_FALSE(parse_skin_table(""));
}
#endif

}  // namespace
}  // namespace salvor::skin
