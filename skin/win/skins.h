// The skin kinds: named drawing recipes from the skin table. Each kind takes
// its attributes one by one (a rejected attribute changes nothing), draws
// itself into a device context over a rectangle for a state word, and knows
// its natural size. Where the pixels go is computed by the portable
// skin/core/skin_kinds.h; this file does the GDI and GDI+ work.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string_view>

#include "skin/core/geometry.h"
#include "skin/core/skin_kinds.h"

namespace Gdiplus {
class Image;
}

namespace salvor::skin {

class CGwSkinBase {
 public:
  virtual ~CGwSkinBase() = default;
  virtual std::string_view GetObjectClass() const = 0;  // the tag: "imglst" ...
  bool IsClass(std::string_view tag) const { return GetObjectClass() == tag; }
  // False for an attribute the kind does not know or a value it rejects.
  virtual bool SetAttribute(std::string_view name, std::string_view value) = 0;
  // state_word: the element state word (skin/core/values.h), or state::kNone
  // for the whole image. sub_image >= 0 overrides the index the state word
  // selects (an "img" element's "sub").
  virtual void Draw(HDC dc, const Rect& rect, std::uint32_t state_word,
                    int sub_image = -1) const = 0;
  virtual Size NaturalSize() const = 0;
  // Called once every attribute of the table entry is applied ("png"
  // resolves its image here).
  virtual void Loaded() {}
};

// A skin of the kind that `tag` names ("imglst", "imgframe", "button",
// "imghorzex", "gradation", "png"); null for any other tag.
std::unique_ptr<CGwSkinBase> CreateSkin(std::string_view tag);

// "imglst": one bitmap from the bitmap pool, or a strip of sub-images chosen
// by state; copied, drawn with a mask colour, or alpha-blended.
class CGwImageSkin : public CGwSkinBase {
 public:
  std::string_view GetObjectClass() const override { return "imglst"; }
  bool SetAttribute(std::string_view name, std::string_view value) override;
  void Draw(HDC dc, const Rect& rect, std::uint32_t state_word, int sub_image = -1) const override;
  Size NaturalSize() const override;
  const ImageListRecipe& recipe() const { return recipe_; }
  HBITMAP bitmap() const { return bitmap_; }

 private:
  ImageListRecipe recipe_;
  HBITMAP bitmap_ = nullptr;  // owned by the bitmap pool
};

// "imgframe": a nine-grid frame stretched over the rectangle.
class CGwSkinImgFrame : public CGwSkinBase {
 public:
  std::string_view GetObjectClass() const override { return "imgframe"; }
  bool SetAttribute(std::string_view name, std::string_view value) override;
  void Draw(HDC dc, const Rect& rect, std::uint32_t state_word, int sub_image = -1) const override;
  Size NaturalSize() const override { return {}; }
  const ImgFrameRecipe& recipe() const { return recipe_; }

 private:
  ImgFrameRecipe recipe_;
  HBITMAP bitmap_ = nullptr;
};

// "imghorzex": a bar with fixed caps and a stretched middle column.
class CGwSkinImgHorzExtend : public CGwSkinBase {
 public:
  std::string_view GetObjectClass() const override { return "imghorzex"; }
  bool SetAttribute(std::string_view name, std::string_view value) override;
  void Draw(HDC dc, const Rect& rect, std::uint32_t state_word, int sub_image = -1) const override;
  Size NaturalSize() const override;
  const ImgHorzExtendRecipe& recipe() const { return recipe_; }

 private:
  ImgHorzExtendRecipe recipe_;
  HBITMAP bitmap_ = nullptr;
};

// "button": flat push button in colours only.
class CGwSkinButton : public CGwSkinBase {
 public:
  std::string_view GetObjectClass() const override { return "button"; }
  bool SetAttribute(std::string_view name, std::string_view value) override {
    return recipe_.set_attribute(name, value);
  }
  void Draw(HDC dc, const Rect& rect, std::uint32_t state_word, int sub_image = -1) const override;
  Size NaturalSize() const override { return {}; }
  const ButtonRecipe& recipe() const { return recipe_; }

 private:
  ButtonRecipe recipe_;
};

// "gradation": plain fill plus a gradient band.
class CGwSkinGradation : public CGwSkinBase {
 public:
  std::string_view GetObjectClass() const override { return "gradation"; }
  bool SetAttribute(std::string_view name, std::string_view value) override {
    return recipe_.set_attribute(name, value);
  }
  void Draw(HDC dc, const Rect& rect, std::uint32_t state_word, int sub_image = -1) const override;
  Size NaturalSize() const override { return {}; }
  const GradationRecipe& recipe() const { return recipe_; }

 private:
  GradationRecipe recipe_;
};

// "png": a PNG image from the PNG pool (resolved by Loaded), drawn at its
// own size with GDI+.
class CGwPngSkin : public CGwSkinBase {
 public:
  std::string_view GetObjectClass() const override { return "png"; }
  bool SetAttribute(std::string_view name, std::string_view value) override {
    return recipe_.set_attribute(name, value);
  }
  void Draw(HDC dc, const Rect& rect, std::uint32_t state_word, int sub_image = -1) const override;
  Size NaturalSize() const override;
  void Loaded() override;
  const PngRecipe& recipe() const { return recipe_; }
  Gdiplus::Image* image() const { return image_; }

 private:
  PngRecipe recipe_;
  Gdiplus::Image* image_ = nullptr;  // owned by the PNG pool
};

// Fills `rect` with a gradient from `from` (top or left) to `to` through the
// system's gradient fill, loaded on first use; false (nothing drawn) when the
// routine is not available.
bool GwGradientFill(HDC dc, const Rect& rect, Colour from, Colour to, bool vertical);

}  // namespace salvor::skin
