// Paths for the Windows-only tests: the test program's own directory, and
// the image behind the raw volume \\.\X: when the test run provides one.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace salvor::testing {

inline std::wstring ExecutableDirectory() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  return path.substr(0, path.find_last_of(L"\\/"));
}

// The file that drive X's raw device reads (SALVOR_RAW_VOLUME_IMAGE, set by
// scripts/lib/wine.sh). The variable holds a Linux path, seen under Wine
// through drive Z:.
inline std::optional<std::string> RawVolumeImage() {
  const char* image = std::getenv("SALVOR_RAW_VOLUME_IMAGE");
  if (!image || !*image) return std::nullopt;
  std::string path = image;
  if (path[0] == '/') path = "Z:" + path;
  return path;
}

}  // namespace salvor::testing
