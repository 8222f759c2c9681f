// Private-profile (INI) files: setting.ini, KVN.ini and the language files.
// On Windows the system's profile functions read and write them; elsewhere a
// reader and writer with the same rules do: sections and keys compare
// without case, the first match wins, values lose surrounding blanks and one
// pair of matching quotes, a missing file, section or key gives the default.
// Files may be UTF-16LE with a byte order mark, UTF-8 with or without one,
// or ANSI (Windows-1252).
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace salvor::app {

// The value of `key` in `section` of `file`, or `default_value`; at most
// buffer_chars - 1 characters, as a buffer of that size would hold.
std::u16string ReadIniString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                                 std::u16string_view default_value, size_t buffer_chars);
// The value as a decimal integer; `default_value` when the key is missing,
// 0 when it holds no number.
int ReadIniInt(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                   int default_value);
// Sets `key` in `section`, creating the file, section or key as needed;
// false when the file cannot be written.
bool WriteIniString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                        std::u16string_view value);

// The portable parser behind the non-Windows functions above.
enum class IniEncoding { kUtf16Le, kUtf8Bom, kUtf8, kAnsi };
struct IniText {
  std::u16string text;
  IniEncoding encoding = IniEncoding::kAnsi;
};
// Decodes a file's bytes: a UTF-16LE or UTF-8 byte order mark, else UTF-8
// when the bytes are valid UTF-8, else the ANSI code page.
IniText DecodeIniBytes(std::span<const std::byte> bytes);
// The value of `key` in the first `section` that holds it, trimmed.
std::optional<std::u16string> FindIniValue(std::u16string_view text, std::u16string_view section,
                                           std::u16string_view key);
// `text` with `key` set in `section` (first matching section and key
// replaced, else appended); lines end in CR LF.
std::u16string SetIniValue(std::u16string_view text, std::u16string_view section, std::u16string_view key,
                           std::u16string_view value);
// Leading decimal number of a value as GetPrivateProfileInt reads it.
int ParseProfileInt(std::u16string_view value);

}  // namespace salvor::app
