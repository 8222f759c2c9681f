// Private-profile files on Windows: the system's own profile functions, so
// the program reads and writes exactly what Windows would.
#include <windows.h>

#include <vector>

#include "app/core/ini_file.h"

namespace salvor::app {
namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

std::u16string ReadIniString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                                 std::u16string_view default_value, size_t buffer_chars) {
  if (buffer_chars == 0) return {};
  std::vector<wchar_t> buffer(buffer_chars, L'\0');
  const DWORD got = ::GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                               Wide(default_value).c_str(), buffer.data(),
                                               static_cast<DWORD>(buffer.size()), Wide(file).c_str());
  return std::u16string(buffer.data(), buffer.data() + got);
}

int ReadIniInt(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                   int default_value) {
  return static_cast<int>(
      ::GetPrivateProfileIntW(Wide(section).c_str(), Wide(key).c_str(), default_value, Wide(file).c_str()));
}

bool WriteIniString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                        std::u16string_view value) {
  return ::WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(),
                                      Wide(file).c_str()) != FALSE;
}

}  // namespace salvor::app
