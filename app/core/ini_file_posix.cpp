// Private-profile files off Windows: the portable parser over the file's
// bytes. A file is rewritten whole, in its own encoding where that can hold
// the text (UTF-16LE and UTF-8 files stay so; ANSI and new files stay plain
// ASCII while they can, and become UTF-16LE with a byte order mark, which
// Windows reads too, once they hold other characters).
#include <cstdio>
#include <vector>

#include "app/core/ini_file.h"
#include "common/text.h"
#include "platform/platform.h"

namespace salvor::app {
namespace {

std::optional<std::vector<std::byte>> ReadWholeFile(std::u16string_view file) {
  std::FILE* stream = std::fopen(text::to_utf8(file).c_str(), "rb");
  if (!stream) return std::nullopt;
  std::vector<std::byte> bytes;
  std::byte chunk[4096];
  size_t got = 0;
  // Settings files are small; a cap keeps a stray huge file from being read whole.
  constexpr size_t kMaxBytes = 16 * 1024 * 1024;
  while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0 && bytes.size() < kMaxBytes) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  std::fclose(stream);
  return bytes;
}

bool AllAscii(std::u16string_view text) {
  for (char16_t c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

std::vector<std::byte> Encode(std::u16string_view text, IniEncoding encoding) {
  std::vector<std::byte> out;
  auto put_utf8 = [&](bool bom) {
    if (bom) out = {std::byte{0xEF}, std::byte{0xBB}, std::byte{0xBF}};
    const std::string utf8 = text::to_utf8(text);
    for (char c : utf8) out.push_back(static_cast<std::byte>(c));
  };
  if (encoding == IniEncoding::kUtf8Bom) {
    put_utf8(true);
  } else if (encoding == IniEncoding::kUtf8 && !AllAscii(text)) {
    put_utf8(false);
  } else if (encoding != IniEncoding::kUtf16Le && AllAscii(text)) {
    for (char16_t c : text) out.push_back(static_cast<std::byte>(c));
  } else {
    out = {std::byte{0xFF}, std::byte{0xFE}};
    for (char16_t c : text) {
      out.push_back(static_cast<std::byte>(c & 0xFF));
      out.push_back(static_cast<std::byte>(c >> 8));
    }
  }
  return out;
}

}  // namespace

std::u16string ReadIniString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                                 std::u16string_view default_value, size_t buffer_chars) {
  std::u16string value;
  const auto bytes = ReadWholeFile(file);
  std::optional<std::u16string> found;
  if (bytes) found = FindIniValue(DecodeIniBytes(*bytes).text, section, key);
  if (found) {
    value = std::move(*found);
  } else {
    // Windows drops trailing blanks of the default too.
    value = default_value;
    while (!value.empty() && (value.back() == u' ' || value.back() == u'\t')) value.pop_back();
  }
  if (buffer_chars == 0) return {};
  if (value.size() > buffer_chars - 1) value.resize(buffer_chars - 1);
  return value;
}

int ReadIniInt(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                   int default_value) {
  const auto bytes = ReadWholeFile(file);
  if (!bytes) return default_value;
  const auto value = FindIniValue(DecodeIniBytes(*bytes).text, section, key);
  return value ? ParseProfileInt(*value) : default_value;
}

bool WriteIniString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                        std::u16string_view value) {
  IniText current;
  if (const auto bytes = ReadWholeFile(file)) current = DecodeIniBytes(*bytes);
  const std::u16string updated = SetIniValue(current.text, section, key, value);
  const std::vector<std::byte> encoded = Encode(updated, current.encoding);
  platform::OutputFile out;
  if (!out.create(file)) return false;
  const bool ok = out.write(encoded);
  out.close();
  return ok;
}

}  // namespace salvor::app
