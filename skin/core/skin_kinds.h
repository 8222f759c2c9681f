// The six skin kinds of the skin table as plain data: each kind's attributes
// with their defaults and setter, and where its pixels go for a rectangle and
// a state (lists of source-to-destination blits, fills and gradients). The
// Win32 skins (skin/win/skins.h) hold these and only do the GDI work, so the
// geometry is the same everywhere and testable without a display.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "skin/core/geometry.h"
#include "skin/core/values.h"

namespace salvor::skin {

enum class SkinKind { kImageList, kImgFrame, kImgHorzExtend, kButton, kGradation, kPng };

// The tag of the skin table naming each kind; nullopt for any other tag.
std::optional<SkinKind> skin_kind_from_tag(std::string_view tag);
std::string_view skin_kind_tag(SkinKind kind);

// How an image list puts its pixels over the destination.
enum class ImageMode {
  kNone = 0,   // plain copy
  kMask = 1,   // pixels of the mask colour leave the destination alone
  kAlpha = 2,  // per-pixel blend with the bitmap's alpha (32-bit bitmaps only)
};

// "imglst": a bitmap holding one image or a strip of equally wide sub-images.
struct ImageListRecipe {
  std::string name;
  unsigned src = 0;  // bitmap resource id; 0: none
  ImageMode mode = ImageMode::kNone;
  Colour mask_colour = rgb(0xFF, 0x00, 0xFF);
  int sub_width_px = 0;  // 0: the whole bitmap is the one image

  // False for an unknown name or a value that can't be meant ("mode"
  // keywords other than none/mask/alpha, a "src" that is no resource id,
  // a negative "subwidth"); nothing changes then.
  bool set_attribute(std::string_view attr, std::string_view value);
};

// Which edges of a nine-grid frame are drawn; a corner is drawn when both
// of its edges are.
enum class FramePart { kAll, kTop, kMiddle, kBottom, kLeft, kCenter, kRight };
struct FrameEdges {
  bool top = true;
  bool bottom = true;
  bool left = true;
  bool right = true;
};
FrameEdges frame_edges(FramePart part);

// "imgframe": a nine-grid from the whole bitmap.
struct ImgFrameRecipe {
  ImageListRecipe image;
  int left_px = 0;          // width of the left corner column
  int top_px = 0;           // height of the top corner row
  Colour fill = kNoColour;  // "crbg": middle fill; unset: not filled
  FramePart part = FramePart::kAll;
  bool set_attribute(std::string_view attr, std::string_view value);
};

// "imghorzex": a bar of fixed height: left cap, stretched column, right cap.
struct ImgHorzExtendRecipe {
  ImageListRecipe image;
  int left_px = 0;  // width of the left cap
  bool set_attribute(std::string_view attr, std::string_view value);
};

// "button": a flat push button: background, inner gradient per state, border.
struct ButtonRecipe {
  std::string name;
  Colour background = 0xEEEEEE;
  Colour border = 0x707070;
  Colour up = 0xEEEEEE;
  Colour up_hover = 0xEEEEEE;
  Colour up_pushed = 0xCECECE;
  Colour down = 0xD6D6D6;
  Colour down_hover = 0xE0E0E0;
  Colour down_pushed = 0xC0C0C0;
  bool set_attribute(std::string_view attr, std::string_view value);
};

// "gradation": a plain fill with an optional gradient band.
struct GradationRecipe {
  std::string name;
  Colour from = kNoColour;
  Colour to = kNoColour;
  bool vertical = false;  // "direction": "vert" top to bottom, "horz" left to right
  int size_px = 0;        // gradient length from the top/left edge; <= 0: the whole rectangle
  bool set_attribute(std::string_view attr, std::string_view value);
};

// "png": a PNG image, optionally a strip of sub-images.
struct PngRecipe {
  std::string name;
  unsigned src = 0;  // "PNG" resource id; 0: none
  int sub_width_px = 0;
  bool set_attribute(std::string_view attr, std::string_view value);
};

// One copy of pixels: source rectangle in the image, destination rectangle in
// the target. Equal sizes copy; different sizes stretch.
struct Blit {
  Rect source;
  Rect dest;
  bool operator==(const Blit&) const = default;
};

// The rectangle of sub-image `index` of a strip of `sub_width_px` wide images
// inside an image of `image` size. Index -1, or a strip width of 0 (a single
// image, whatever the state asks for), is the whole image. An index past the
// image's right edge is nothing; a last slice that is cut short keeps what the
// image has.
std::optional<Rect> image_slice(int sub_width_px, Size image, int index);

// A sub-image copied at its own size to the rectangle's top-left corner, cut
// to the rectangle so that it never paints over a neighbour.
std::optional<Blit> image_blit(int sub_width_px, Size image, int index, const Rect& rect);

// The sub-image a skin draws for a state word, unless the caller names one.
inline int effective_sub_image(std::uint32_t state_word, int sub_image) {
  return sub_image >= 0 ? sub_image : sub_image_for_state(state_word);
}

// A nine-grid frame over `rect` (the state does not matter): the blits of
// the drawn corners and edges, and the middle rectangle to fill when the
// frame has a fill colour. Corner sizes are cut to the image (at least the
// one-pixel stretch column and row remain) and to the rectangle.
struct FramePaint {
  std::vector<Blit> blits;
  std::optional<Rect> fill;
};
FramePaint frame_paint(const ImgFrameRecipe& recipe, Size image, const Rect& rect);

// The three parts of a horizontal bar for sub-image `index` (negative: 0; a
// bar without a strip width is the whole bitmap for every index), at the
// rectangle's top, at the image's height (cut to the rectangle). Nothing when
// the sub-image is not in the image.
std::vector<Blit> horz_extend_blits(const ImgHorzExtendRecipe& recipe, Size image, const Rect& rect,
                                    int index);

// What a button draws for a state word: the background, the inner gradient
// (2 pixels inside, top to bottom; none while disabled) and the border.
// state::kNone draws like the plain state.
struct ButtonPaint {
  Rect rect;
  Colour background = 0;
  Colour border = 0;
  std::optional<Rect> gradient;
  Colour gradient_top = 0;
  Colour gradient_bottom = 0;
};
ButtonPaint button_paint(const ButtonRecipe& recipe, const Rect& rect, std::uint32_t state_word);

// What a gradation draws: the rectangle filled with "to", then the gradient
// band inside it. A colour that is not set is not drawn: no "to", no plain
// fill; no "from" or no "to", no gradient.
struct GradationPaint {
  std::optional<Rect> plain;
  Colour plain_colour = 0;
  std::optional<Rect> gradient;
  Colour from = 0;
  Colour to = 0;
  bool vertical = false;
};
GradationPaint gradation_paint(const GradationRecipe& recipe, const Rect& rect);

// Natural sizes: image lists and PNGs are one sub-image (the strip width, or
// the whole image) by the image height; a horizontal bar is (0, its height);
// frames, buttons and gradations have none.
Size image_natural_size(int sub_width_px, Size image);
inline Size horz_extend_natural_size(Size image) { return {0, image.height}; }

#if SALVOR_SKIN_XML
// One entry of the skin table document (root "skins"), attributes in
// document order ("name" among them).
struct SkinTableEntry {
  SkinKind kind;
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
};
// The entries of a skin table document, in document order; elements of an
// unknown tag or without a "name" are skipped, and a later entry of a name
// replaces the earlier one (at the earlier one's place). Nullopt when the
// text does not parse or its root is not "skins".
std::optional<std::vector<SkinTableEntry>> parse_skin_table(std::string_view xml);
#endif

}  // namespace salvor::skin
