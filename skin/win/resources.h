// The skin framework's resource layer on Windows: the "GWRES" XML resources
// compiled into the program, the process-wide skin, style and string tables
// loaded from them, and the pools that load fonts, bitmaps and PNG images on
// first use and keep them for the life of the process. Everything here is
// used on the user-interface thread only and carries no lock.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "skin/core/style.h"

namespace Gdiplus {
class Image;
}

namespace salvor::skin {

class CGwSkinBase;

// Resource ids of the "GWRES" documents.
namespace gwres {
inline constexpr unsigned kSkins = 100;
inline constexpr unsigned kStyles = 101;
inline constexpr unsigned kStrings = 102;
inline constexpr unsigned kFirstLayout = 103;
inline constexpr unsigned kLastLayout = 113;
}  // namespace gwres

// Reads the "GWRES" resource `id` of the program file into `out` (its bytes;
// the string adds the terminating zero). False when it is missing, empty or
// can't be locked.
bool ReadGwResource(unsigned id, std::string& out);

// Font code -> font handle. Code 0 is the base font: the default GUI font
// with the face "Tahoma", height -11, antialiased.
class GwFontPool {
 public:
  static GwFontPool& Instance();
  HFONT Get(std::uint16_t code);
  ~GwFontPool();

 private:
  GwFontPool();
  std::unordered_map<std::uint16_t, HFONT> fonts_;
  LOGFONTW base_{};
};

// Bitmap resource id -> bitmap handle; null (and nothing cached) when the
// program has no such bitmap.
class GwBmpPool {
 public:
  static GwBmpPool& Instance();
  HBITMAP Get(unsigned id);
  ~GwBmpPool();

 private:
  GwBmpPool() = default;
  std::unordered_map<unsigned, HBITMAP> bitmaps_;
};

// "PNG" resource id -> decoded GDI+ image. Starts GDI+ when created, shuts it
// down when destroyed. Null for a missing resource.
class GwPngPool {
 public:
  static GwPngPool& Instance();
  Gdiplus::Image* Get(unsigned id);
  ~GwPngPool();

 private:
  GwPngPool();
  ULONG_PTR gdiplus_token_ = 0;
  std::unordered_map<unsigned, std::unique_ptr<Gdiplus::Image>> images_;
};

// The string table (resource 102): numbered texts.
class GwString {
 public:
  static GwString& Instance();
  const std::u16string* Get(unsigned id) const { return table_.get(id); }
  StringTable& table() { return table_; }

 private:
  StringTable table_;
};

// The style table (resource 101). Unknown class names give the default style.
StyleTable& GwStyles();

// The skin table (resource 100): skin name -> skin; null when absent.
CGwSkinBase* FindSkin(std::string_view name);

// Each reads its resource, empties its table and fills it again. 1 on
// success; 0 when the resource is missing or empty or the XML does not
// parse (the table is left empty; the style table keeps its default style).
int LoadSkins();
int LoadStyles();
int LoadStrings();

}  // namespace salvor::skin
