// GDI and GDI+ drawing of the skin kinds. The portable geometry decides which
// pixels go where; this file copies, masks, blends, fills and grades them.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "skin/win/skins.h"

#include <vector>

#include "skin/win/resources.h"

namespace salvor::skin {
namespace {

Size bitmap_size(HBITMAP bitmap) {
  BITMAP info{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof(info), &info) == 0) return {};
  return {info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight};
}

int bitmap_bits_per_pixel(HBITMAP bitmap) {
  BITMAP info{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof(info), &info) == 0) return 0;
  return info.bmBitsPixel;
}

RECT to_win(const Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

// A 32-bit top-down DIB section selected into a memory DC.
class PixelBuffer {
 public:
  PixelBuffer(HDC like, int width, int height) : width_(width), height_(height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(like, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap_ == nullptr) return;
    dc_ = CreateCompatibleDC(like);
    old_ = SelectObject(dc_, bitmap_);
    bits_ = static_cast<std::uint32_t*>(bits);
  }
  ~PixelBuffer() {
    if (dc_ != nullptr) {
      SelectObject(dc_, old_);
      DeleteDC(dc_);
    }
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
  }
  PixelBuffer(const PixelBuffer&) = delete;
  PixelBuffer& operator=(const PixelBuffer&) = delete;

  bool ok() const { return bits_ != nullptr; }
  HDC dc() const { return dc_; }
  std::uint32_t& at(int x, int y) { return bits_[static_cast<std::size_t>(y) * width_ + x]; }

 private:
  int width_;
  int height_;
  HBITMAP bitmap_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
  std::uint32_t* bits_ = nullptr;
};

// The bitmap's pixels as 32-bit 0xAARRGGBB words, top row first. For a
// 32-bit bitmap the alpha byte is the bitmap's own.
std::vector<std::uint32_t> read_pixels(HDC dc, HBITMAP bitmap, Size size) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size.width) * size.height);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = size.width;
  bi.bmiHeader.biHeight = -size.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(size.height), pixels.data(), &bi,
                DIB_RGB_COLORS) != size.height) {
    pixels.clear();
  }
  return pixels;
}

// COLORREF (0x00BBGGRR) to a DIB word's colour bits (0x00RRGGBB).
std::uint32_t dib_colour(Colour c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

std::uint32_t blend(std::uint32_t src, std::uint32_t dst) {
  const std::uint32_t a = src >> 24;
  std::uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const std::uint32_t s = (src >> shift) & 0xFF;
    const std::uint32_t d = (dst >> shift) & 0xFF;
    out |= ((s * a + d * (255 - a)) / 255) << shift;
  }
  return out;
}

// Copies (stretching where sizes differ) with plain GDI.
void copy_blits(HDC dc, HBITMAP bitmap, const std::vector<Blit>& blits) {
  HDC mem = CreateCompatibleDC(dc);
  if (mem == nullptr) return;
  HGDIOBJ old = SelectObject(mem, bitmap);
  const int old_mode = SetStretchBltMode(dc, COLORONCOLOR);
  for (const Blit& b : blits) {
    if (b.source.width() == b.dest.width() && b.source.height() == b.dest.height()) {
      BitBlt(dc, b.dest.left, b.dest.top, b.dest.width(), b.dest.height(), mem, b.source.left,
             b.source.top, SRCCOPY);
    } else {
      StretchBlt(dc, b.dest.left, b.dest.top, b.dest.width(), b.dest.height(), mem, b.source.left,
                 b.source.top, b.source.width(), b.source.height(), SRCCOPY);
    }
  }
  SetStretchBltMode(dc, old_mode);
  SelectObject(mem, old);
  DeleteDC(mem);
}

// Mask and alpha modes work on pixels: the destination is read back, each
// source pixel (nearest neighbour where stretched) is kept out, copied or
// blended, and the result written back. AlphaBlend expects premultiplied
// colours and would not give (s*a + d*(255-a))/255.
void compose_blits(HDC dc, HBITMAP bitmap, Size size, const std::vector<Blit>& blits,
                   ImageMode mode, Colour mask_colour) {
  if (mode == ImageMode::kAlpha && bitmap_bits_per_pixel(bitmap) != 32) return;
  const std::vector<std::uint32_t> pixels = read_pixels(dc, bitmap, size);
  if (pixels.empty()) return;
  const std::uint32_t mask = dib_colour(mask_colour);
  for (const Blit& b : blits) {
    const int w = b.dest.width();
    const int h = b.dest.height();
    PixelBuffer buffer(dc, w, h);
    if (!buffer.ok()) continue;
    BitBlt(buffer.dc(), 0, 0, w, h, dc, b.dest.left, b.dest.top, SRCCOPY);
    GdiFlush();
    for (int y = 0; y < h; ++y) {
      const int sy =
          b.source.top + static_cast<int>(static_cast<long long>(y) * b.source.height() / h);
      for (int x = 0; x < w; ++x) {
        const int sx =
            b.source.left + static_cast<int>(static_cast<long long>(x) * b.source.width() / w);
        const std::uint32_t s = pixels[static_cast<std::size_t>(sy) * size.width + sx];
        std::uint32_t& d = buffer.at(x, y);
        if (mode == ImageMode::kMask) {
          if ((s & 0xFFFFFF) != mask) d = s & 0xFFFFFF;
        } else {
          d = blend(s, d);
        }
      }
    }
    BitBlt(dc, b.dest.left, b.dest.top, w, h, buffer.dc(), 0, 0, SRCCOPY);
  }
}

void draw_blits(HDC dc, HBITMAP bitmap, Size size, const std::vector<Blit>& blits,
                const ImageListRecipe& recipe) {
  if (bitmap == nullptr || blits.empty()) return;
  if (recipe.mode == ImageMode::kNone) {
    copy_blits(dc, bitmap, blits);
  } else {
    compose_blits(dc, bitmap, size, blits, recipe.mode, recipe.mask_colour);
  }
}

void fill(HDC dc, const Rect& rect, Colour colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  const RECT r = to_win(rect);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

// Image kinds resolve "src" through the bitmap pool as soon as it is set.
bool set_image_attribute(bool accepted, std::string_view name, const ImageListRecipe& recipe,
                         HBITMAP& bitmap) {
  if (accepted && name == "src") bitmap = GwBmpPool::Instance().Get(recipe.src);
  return accepted;
}

using GradientFillFn = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

GradientFillFn gradient_fill_routine() {
  // Loaded once and kept for the life of the process.
  static const GradientFillFn routine = []() -> GradientFillFn {
    HMODULE module = LoadLibraryW(L"msimg32.dll");
    if (module == nullptr) return nullptr;
    return reinterpret_cast<GradientFillFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "GradientFill")));
  }();
  return routine;
}

TRIVERTEX vertex(int x, int y, Colour c) {
  TRIVERTEX v{};
  v.x = x;
  v.y = y;
  v.Red = static_cast<COLOR16>((c & 0xFF) << 8);
  v.Green = static_cast<COLOR16>(((c >> 8) & 0xFF) << 8);
  v.Blue = static_cast<COLOR16>(((c >> 16) & 0xFF) << 8);
  return v;
}

}  // namespace

bool GwGradientFill(HDC dc, const Rect& rect, Colour from, Colour to, bool vertical) {
  const GradientFillFn routine = gradient_fill_routine();
  if (routine == nullptr) return false;
  TRIVERTEX v[2] = {vertex(rect.left, rect.top, from), vertex(rect.right, rect.bottom, to)};
  GRADIENT_RECT g{0, 1};
  return routine(dc, v, 2, &g, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H) != FALSE;
}

std::unique_ptr<CGwSkinBase> CreateSkin(std::string_view tag) {
  const auto kind = skin_kind_from_tag(tag);
  if (!kind) return nullptr;
  switch (*kind) {
    case SkinKind::kImageList:
      return std::make_unique<CGwImageSkin>();
    case SkinKind::kImgFrame:
      return std::make_unique<CGwSkinImgFrame>();
    case SkinKind::kImgHorzExtend:
      return std::make_unique<CGwSkinImgHorzExtend>();
    case SkinKind::kButton:
      return std::make_unique<CGwSkinButton>();
    case SkinKind::kGradation:
      return std::make_unique<CGwSkinGradation>();
    case SkinKind::kPng:
      return std::make_unique<CGwPngSkin>();
  }
  return nullptr;
}

bool CGwImageSkin::SetAttribute(std::string_view name, std::string_view value) {
  return set_image_attribute(recipe_.set_attribute(name, value), name, recipe_, bitmap_);
}

void CGwImageSkin::Draw(HDC dc, const Rect& rect, std::uint32_t state_word, int sub_image) const {
  const Size size = bitmap_size(bitmap_);
  const auto blit =
      image_blit(recipe_.sub_width_px, size, effective_sub_image(state_word, sub_image), rect);
  if (blit) draw_blits(dc, bitmap_, size, {*blit}, recipe_);
}

Size CGwImageSkin::NaturalSize() const {
  return image_natural_size(recipe_.sub_width_px, bitmap_size(bitmap_));
}

bool CGwSkinImgFrame::SetAttribute(std::string_view name, std::string_view value) {
  return set_image_attribute(recipe_.set_attribute(name, value), name, recipe_.image, bitmap_);
}

void CGwSkinImgFrame::Draw(HDC dc, const Rect& rect, std::uint32_t, int) const {
  if (bitmap_ == nullptr) return;  // no image: nothing, not even the fill
  const Size size = bitmap_size(bitmap_);
  const FramePaint paint = frame_paint(recipe_, size, rect);
  if (paint.fill) fill(dc, *paint.fill, recipe_.fill);
  draw_blits(dc, bitmap_, size, paint.blits, recipe_.image);
}

bool CGwSkinImgHorzExtend::SetAttribute(std::string_view name, std::string_view value) {
  return set_image_attribute(recipe_.set_attribute(name, value), name, recipe_.image, bitmap_);
}

void CGwSkinImgHorzExtend::Draw(HDC dc, const Rect& rect, std::uint32_t state_word,
                                int sub_image) const {
  const Size size = bitmap_size(bitmap_);
  draw_blits(dc, bitmap_, size,
             horz_extend_blits(recipe_, size, rect, effective_sub_image(state_word, sub_image)),
             recipe_.image);
}

Size CGwSkinImgHorzExtend::NaturalSize() const {
  return horz_extend_natural_size(bitmap_size(bitmap_));
}

void CGwSkinButton::Draw(HDC dc, const Rect& rect, std::uint32_t state_word, int) const {
  const ButtonPaint paint = button_paint(recipe_, rect, state_word);
  fill(dc, paint.rect, paint.background);
  if (paint.gradient)
    GwGradientFill(dc, *paint.gradient, paint.gradient_top, paint.gradient_bottom,
                   /*vertical=*/true);
  HBRUSH border = CreateSolidBrush(paint.border);
  const RECT r = to_win(paint.rect);
  FrameRect(dc, &r, border);
  DeleteObject(border);
}

void CGwSkinGradation::Draw(HDC dc, const Rect& rect, std::uint32_t, int) const {
  const GradationPaint paint = gradation_paint(recipe_, rect);
  if (paint.plain) fill(dc, *paint.plain, paint.plain_colour);
  if (paint.gradient) GwGradientFill(dc, *paint.gradient, paint.from, paint.to, paint.vertical);
}

void CGwPngSkin::Loaded() {
  image_ = recipe_.src != 0 ? GwPngPool::Instance().Get(recipe_.src) : nullptr;
}

Size CGwPngSkin::NaturalSize() const {
  if (image_ == nullptr) return {};
  return image_natural_size(recipe_.sub_width_px, {static_cast<int>(image_->GetWidth()),
                                                 static_cast<int>(image_->GetHeight())});
}

void CGwPngSkin::Draw(HDC dc, const Rect& rect, std::uint32_t state_word, int sub_image) const {
  if (image_ == nullptr) return;
  const Size size{static_cast<int>(image_->GetWidth()), static_cast<int>(image_->GetHeight())};
  const auto blit =
      image_blit(recipe_.sub_width_px, size, effective_sub_image(state_word, sub_image), rect);
  if (!blit) return;
  Gdiplus::Graphics graphics(dc);
  // One image pixel to one device pixel, no smoothing at the slice edges.
  graphics.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
  graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  const Gdiplus::Rect dest(blit->dest.left, blit->dest.top, blit->dest.width(),
                           blit->dest.height());
  graphics.DrawImage(image_, dest, blit->source.left, blit->source.top, blit->source.width(),
                     blit->source.height(), Gdiplus::UnitPixel);
}

}  // namespace salvor::skin
