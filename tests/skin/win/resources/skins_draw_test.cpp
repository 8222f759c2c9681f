// The skin kinds drawn into a 32-bit DIB section, checked pixel by pixel:
// which sub-image lands where, mask and alpha modes, nine-grid parts, bar
// caps, gradients, buttons by state, and PNG slices.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "skin/win/resources.h"
#include "skin/win/skins.h"

namespace salvor::skin {
namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "rgb(" << c.r << "," << c.g << "," << c.b << ")";
}

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kCyan{0, 255, 255};
constexpr Rgb kOrange{255, 128, 0};
constexpr Rgb kGrey{128, 128, 128};
constexpr Rgb kBackground{0, 50, 250};

// A memory DC over a 32-bit top-down DIB section, filled with kBackground.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    bits_ = static_cast<const std::uint32_t*>(bits);
    HBRUSH brush = CreateSolidBrush(RGB(kBackground.r, kBackground.g, kBackground.b));
    RECT all{0, 0, width, height};
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  Rgb at(int x, int y) const {
    GdiFlush();
    const std::uint32_t p = bits_[y * width_ + x];
    return {static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
            static_cast<int>(p & 0xFF)};
  }

 private:
  int width_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  const std::uint32_t* bits_ = nullptr;
};

bool close_to(const Rgb& a, const Rgb& b, int tolerance = 4) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

class SkinDraw : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(LoadSkins(), 1); }
  const CGwSkinBase& skin(const char* name) {
    const CGwSkinBase* s = FindSkin(name);
    EXPECT_NE(s, nullptr) << name;
    static const CGwSkinButton none;
    return s != nullptr ? *s : none;
  }
};

TEST_F(SkinDraw, ImageStripDrawsTheSliceOfTheState) {
  {
    Canvas c(60, 30);
    skin("strip").Draw(c.dc(), {5, 5, 55, 25}, state::kHover);  // index 1: green
    EXPECT_EQ(c.at(5, 5), kGreen);
    EXPECT_EQ(c.at(14, 14), kGreen);
    EXPECT_EQ(c.at(15, 5), kBackground);  // one slice wide
    EXPECT_EQ(c.at(5, 15), kBackground);  // bitmap height
  }
  {
    Canvas c(60, 30);
    skin("strip").Draw(c.dc(), {5, 5, 55, 25}, state::kNone);  // the whole strip
    EXPECT_EQ(c.at(5, 5), kRed);
    EXPECT_EQ(c.at(44, 14), kYellow);
    skin("strip").Draw(c.dc(), {0, 20, 20, 30}, 0, /*sub_image=*/2);  // explicit index
    EXPECT_EQ(c.at(0, 20), kBlue);
  }
  {
    Canvas c(60, 30);
    skin("strip").Draw(c.dc(), {5, 5, 10, 8}, state::kPushed);  // cut to the rectangle
    EXPECT_EQ(c.at(9, 7), kBlue);
    EXPECT_EQ(c.at(10, 5), kBackground);
    EXPECT_EQ(c.at(5, 8), kBackground);
  }
  {
    Canvas c(60, 30);  // a single image shows in every state
    skin("single").Draw(c.dc(), {0, 0, 60, 30}, state::kHover);
    EXPECT_EQ(c.at(0, 0), kRed);
    EXPECT_EQ(c.at(39, 9), kYellow);
    skin("missing").Draw(c.dc(), {0, 0, 60, 30}, 0);  // no bitmap: nothing
    EXPECT_EQ(c.at(50, 20), kBackground);
  }
}

TEST_F(SkinDraw, MaskAndAlphaModes) {
  Canvas c(30, 30);
  skin("masked").Draw(c.dc(), {0, 0, 10, 10}, state::kNone);
  EXPECT_EQ(c.at(0, 0), kBackground);  // mask colour left untouched
  EXPECT_EQ(c.at(4, 9), kBackground);
  EXPECT_EQ(c.at(5, 0), kGreen);

  skin("blend").Draw(c.dc(), {10, 10, 20, 20}, state::kNone);
  EXPECT_EQ(c.at(10, 10), (Rgb{255, 255, 255}));  // opaque
  // (200,100,50) at alpha 128 over (0,50,250): (s*a + d*(255-a)) / 255.
  EXPECT_EQ(c.at(11, 11),
            (Rgb{(200 * 128) / 255, (100 * 128 + 50 * 127) / 255, (50 * 128 + 250 * 127) / 255}));
  EXPECT_EQ(c.at(14, 10), kBackground);  // 4x4 image

  skin("blend24").Draw(c.dc(), {0, 20, 30, 30}, state::kNone);  // alpha needs 32 bits
  EXPECT_EQ(c.at(0, 20), kBackground);
}

TEST_F(SkinDraw, FrameAllAndMiddle) {
  {
    Canvas c(50, 50);
    skin("frame").Draw(c.dc(), {10, 10, 40, 40}, 0);
    EXPECT_EQ(c.at(10, 10), kRed);  // corners
    EXPECT_EQ(c.at(39, 39), kRed);
    EXPECT_EQ(c.at(36, 13), kRed);
    EXPECT_EQ(c.at(20, 10), kGreen);  // top and bottom edges
    EXPECT_EQ(c.at(20, 39), kGreen);
    EXPECT_EQ(c.at(10, 20), kBlue);  // side edges
    EXPECT_EQ(c.at(39, 20), kBlue);
    EXPECT_EQ(c.at(20, 20), kGrey);  // middle fill
    EXPECT_EQ(c.at(9, 9), kBackground);
    EXPECT_EQ(c.at(40, 40), kBackground);
  }
  {
    Canvas c(50, 50);
    skin("frame_middle").Draw(c.dc(), {10, 10, 40, 40}, 0);
    EXPECT_EQ(c.at(10, 10), kBlue);  // no corners: the sides run the full height
    EXPECT_EQ(c.at(39, 39), kBlue);
    EXPECT_EQ(c.at(20, 10), kGrey);  // no top or bottom edge
    EXPECT_EQ(c.at(20, 39), kGrey);
  }
}

TEST_F(SkinDraw, HorizontalBarCapsAndStretchedMiddle) {
  Canvas c(60, 20);
  skin("bar").Draw(c.dc(), {0, 0, 50, 20}, 0);
  EXPECT_EQ(c.at(0, 0), kRed);
  EXPECT_EQ(c.at(2, 4), kRed);
  EXPECT_EQ(c.at(3, 0), kGreen);
  EXPECT_EQ(c.at(46, 4), kGreen);
  EXPECT_EQ(c.at(47, 0), kBlue);  // right cap: x 4..6 of the bar
  EXPECT_EQ(c.at(49, 4), kBlue);
  EXPECT_EQ(c.at(0, 5), kBackground);  // not stretched vertically
  EXPECT_EQ(c.at(50, 0), kBackground);

  skin("bar").Draw(c.dc(), {0, 10, 50, 20}, state::kHover);  // the second bar
  EXPECT_EQ(c.at(0, 10), kYellow);
  EXPECT_EQ(c.at(20, 12), kCyan);
  EXPECT_EQ(c.at(49, 14), kOrange);
}

TEST_F(SkinDraw, GradationBandThenPlainColour) {
  Canvas c(20, 40);
  skin("grad").Draw(c.dc(), {0, 0, 20, 30}, 0);
  const Rgb top = c.at(5, 0);
  EXPECT_GT(top.r, 200);
  EXPECT_LT(top.b, 60);
  const Rgb mid = c.at(5, 5);  // part way from red to blue
  EXPECT_GT(mid.r, 60);
  EXPECT_GT(mid.b, 60);
  for (int y = 10; y < 30; ++y) EXPECT_EQ(c.at(5, y), kBlue) << y;
  EXPECT_EQ(c.at(5, 30), kBackground);
}

TEST_F(SkinDraw, ButtonColoursByState) {
  Canvas c(40, 50);
  skin("btn").Draw(c.dc(), {0, 0, 40, 20}, 0);
  skin("btn").Draw(c.dc(), {0, 25, 40, 45}, state::kHover | state::kPushed);
  EXPECT_EQ(c.at(0, 0), (Rgb{0x70, 0x70, 0x70}));  // border
  EXPECT_EQ(c.at(39, 19), (Rgb{0x70, 0x70, 0x70}));
  EXPECT_EQ(c.at(1, 1), (Rgb{0xEE, 0xEE, 0xEE}));                              // background ring
  EXPECT_TRUE(close_to(c.at(20, 2), {0xEE, 0xEE, 0xEE})) << c.at(20, 2);       // bgup
  EXPECT_TRUE(close_to(c.at(20, 17), {0xD6, 0xD6, 0xD6}, 6)) << c.at(20, 17);  // towards bgdown
  EXPECT_TRUE(close_to(c.at(20, 27), {0xCE, 0xCE, 0xCE})) << c.at(20, 27);     // bguppush
  EXPECT_TRUE(close_to(c.at(20, 42), {0xC0, 0xC0, 0xC0}, 6)) << c.at(20, 42);  // towards bgdownpush

  Canvas d(40, 20);
  skin("btn").Draw(d.dc(), {0, 0, 40, 20}, state::kDisabled | state::kPushed);
  EXPECT_EQ(d.at(20, 10), (Rgb{0xEE, 0xEE, 0xEE}));  // no gradient while disabled
}

TEST_F(SkinDraw, PngSliceAtItsOwnSize) {
  Canvas c(40, 20);
  skin("pngstrip").Draw(c.dc(), {3, 3, 40, 20}, state::kHover);
  EXPECT_EQ(c.at(3, 3), kBlue);
  EXPECT_EQ(c.at(12, 8), kBlue);
  EXPECT_EQ(c.at(13, 3), kBackground);
  EXPECT_EQ(c.at(3, 9), kBackground);
  skin("pngstrip").Draw(c.dc(), {20, 10, 40, 20}, 0);
  EXPECT_EQ(c.at(20, 10), kRed);
  EXPECT_EQ(c.at(29, 15), kRed);

  skin("pngbroken").Draw(c.dc(), {0, 0, 40, 20}, 0);  // nothing decoded, nothing drawn
  EXPECT_EQ(c.at(35, 1), kBackground);
  EXPECT_EQ(skin("pngbroken").NaturalSize(), (Size{0, 0}));
}

}  // namespace
}  // namespace salvor::skin
