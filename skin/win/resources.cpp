// The skin framework's resource layer on Windows: "GWRES" documents from the
// program file, the font, bitmap and PNG pools, and the skin, style and
// string tables filled from the documents.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "skin/win/resources.h"

#include <cstring>

#include "skin/core/skin_kinds.h"
#include "skin/core/values.h"
#include "skin/core/xml_load.h"
#include "skin/win/skins.h"

namespace salvor::skin {
namespace {

using SkinTable = std::unordered_map<std::string, std::unique_ptr<CGwSkinBase>>;

SkinTable& skin_table() {
  static SkinTable table;
  return table;
}

HMODULE program_module() { return GetModuleHandleW(nullptr); }

}  // namespace

bool ReadGwResource(unsigned id, std::string& out) {
  out.clear();
  if (id == 0 || id > 0xFFFF) return false;  // not a resource id
  HMODULE module = program_module();
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), L"GWRES");
  if (res == nullptr) return false;
  const DWORD size = SizeofResource(module, res);
  if (size == 0) return false;
  HGLOBAL loaded = LoadResource(module, res);
  if (loaded == nullptr) return false;
  const void* data = LockResource(loaded);
  if (data == nullptr) return false;
  // Not terminated in the file; the string adds the zero. A UTF-8
  // byte-order mark is kept: TinyXML skips it.
  out.assign(static_cast<const char*>(data), size);
  return true;
}

// ---- Fonts

GwFontPool& GwFontPool::Instance() {
  static GwFontPool pool;
  return pool;
}

GwFontPool::GwFontPool() {
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(base_), &base_);
  wcscpy_s(base_.lfFaceName, LF_FACESIZE, L"Tahoma");
  base_.lfHeight = kBaseFontHeight;
  base_.lfQuality = ANTIALIASED_QUALITY;
  Get(0);
}

GwFontPool::~GwFontPool() {
  for (auto& [code, font] : fonts_) DeleteObject(font);
}

HFONT GwFontPool::Get(std::uint16_t code) {
  if (auto it = fonts_.find(code); it != fonts_.end()) return it->second;
  const FontSpec wanted = font_spec(code);
  LOGFONTW lf = base_;
  lf.lfHeight = wanted.height;
  lf.lfWeight = wanted.weight;
  lf.lfUnderline = wanted.underline ? TRUE : FALSE;
  lf.lfItalic = wanted.italic ? TRUE : FALSE;
  HFONT font = CreateFontIndirectW(&lf);
  if (font != nullptr) fonts_.emplace(code, font);
  return font;
}

// ---- Bitmaps

GwBmpPool& GwBmpPool::Instance() {
  static GwBmpPool pool;
  return pool;
}

GwBmpPool::~GwBmpPool() {
  for (auto& [id, bitmap] : bitmaps_) DeleteObject(bitmap);
}

HBITMAP GwBmpPool::Get(unsigned id) {
  if (auto it = bitmaps_.find(id); it != bitmaps_.end()) return it->second;
  if (id == 0 || id > 0xFFFF) return nullptr;
  // A DIB section keeps 32-bit bitmaps' alpha channel for the alpha mode.
  auto* bitmap = static_cast<HBITMAP>(
      LoadImageW(program_module(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (bitmap != nullptr) bitmaps_.emplace(id, bitmap);
  return bitmap;
}

// ---- PNG images

GwPngPool& GwPngPool::Instance() {
  // Destroyed with the program's other statics at exit, images first, then
  // GDI+ (this runs from the program's exit, not from a DLL detach, where
  // GdiplusShutdown must not be called). Anything that keeps GDI+ objects in
  // statics of its own must release them before this pool goes.
  static GwPngPool pool;
  return pool;
}

GwPngPool::GwPngPool() {
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&gdiplus_token_, &input, nullptr) != Gdiplus::Ok) gdiplus_token_ = 0;
}

GwPngPool::~GwPngPool() {
  images_.clear();  // before GDI+ goes
  if (gdiplus_token_ != 0) Gdiplus::GdiplusShutdown(gdiplus_token_);
}

Gdiplus::Image* GwPngPool::Get(unsigned id) {
  if (auto it = images_.find(id); it != images_.end()) return it->second.get();
  if (gdiplus_token_ == 0 || id == 0 || id > 0xFFFF) return nullptr;
  HMODULE module = program_module();
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
  if (res == nullptr) return nullptr;
  const DWORD size = SizeofResource(module, res);
  HGLOBAL loaded = size != 0 ? LoadResource(module, res) : nullptr;
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) return nullptr;

  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (block == nullptr) return nullptr;
  void* copy = GlobalLock(block);
  if (copy == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(copy, data, size);
  GlobalUnlock(block);
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream))) {  // the stream frees the block
    GlobalFree(block);
    return nullptr;
  }
  // GDI+ decodes from the stream lazily, so the decoded image is copied into
  // a bitmap of its own; the stream can then go.
  std::unique_ptr<Gdiplus::Image> image;
  {
    Gdiplus::Bitmap decoded(stream);
    if (decoded.GetLastStatus() == Gdiplus::Ok && decoded.GetWidth() > 0 &&
        decoded.GetHeight() > 0) {
      auto owned = std::make_unique<Gdiplus::Bitmap>(static_cast<INT>(decoded.GetWidth()),
                                                     static_cast<INT>(decoded.GetHeight()),
                                                     PixelFormat32bppARGB);
      if (owned->GetLastStatus() == Gdiplus::Ok) {
        Gdiplus::Graphics g(owned.get());
        g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        if (g.DrawImage(&decoded, 0, 0, static_cast<INT>(decoded.GetWidth()),
                        static_cast<INT>(decoded.GetHeight())) == Gdiplus::Ok) {
          image = std::move(owned);
        }
      }
    }
  }
  stream->Release();
  if (!image) return nullptr;  // not an image: nothing cached, asked again next time
  Gdiplus::Image* result = image.get();
  images_.emplace(id, std::move(image));
  return result;
}

// ---- Tables

GwString& GwString::Instance() {
  static GwString strings;
  return strings;
}

StyleTable& GwStyles() {
  static StyleTable styles;
  return styles;
}

CGwSkinBase* FindSkin(std::string_view name) {
  SkinTable& table = skin_table();
  auto it = table.find(std::string(name));
  return it != table.end() ? it->second.get() : nullptr;
}

int LoadSkins() {
  SkinTable& table = skin_table();
  table.clear();
  std::string xml;
  if (!ReadGwResource(gwres::kSkins, xml)) return 0;
  auto entries = parse_skin_table(xml);
  if (!entries) return 0;
  for (const SkinTableEntry& entry : *entries) {
    std::unique_ptr<CGwSkinBase> skin = CreateSkin(skin_kind_tag(entry.kind));
    if (!skin) continue;
    for (const auto& [name, value] : entry.attributes)
      skin->SetAttribute(name, value);  // rejects ignored
    skin->Loaded();
    table[entry.name] = std::move(skin);
  }
  return 1;
}

int LoadStyles() {
  StyleTable& styles = GwStyles();
  std::string xml;
  if (!ReadGwResource(gwres::kStyles, xml)) {
    styles.clear();
    return 0;
  }
  return load_style_table(xml, styles) ? 1 : 0;
}

int LoadStrings() {
  StringTable& strings = GwString::Instance().table();
  std::string xml;
  if (!ReadGwResource(gwres::kStrings, xml)) {
    strings.clear();
    return 0;
  }
  return load_string_table(xml, strings) ? 1 : 0;
}

}  // namespace salvor::skin
