// The portable INI parser and writer; see ini_file.h. Used for every file off
// Windows, and on every system by the tests of its rules.
#include "app/core/ini_file.h"

#include <cstdint>
#include <vector>

#include "common/text.h"
#include "platform/platform.h"

namespace salvor::app {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::u16string_view a, std::u16string_view b) { return text::equals_ignore_case(a, b); }

bool ValidUtf8(std::span<const std::byte> bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const auto c = std::to_integer<uint8_t>(bytes[i]);
    size_t extra = 0;
    uint32_t min = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, min = 0x10000;
    } else {
      return false;
    }
    if (bytes.size() - i <= extra) return false;
    uint32_t code = c & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      const auto next = std::to_integer<uint8_t>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

// One line of the text, without its line end.
struct Line {
  size_t begin = 0;  // offset of the line in the text
  size_t end = 0;    // offset after the line's content (before CR/LF)
  size_t next = 0;   // offset of the following line
};

std::vector<Line> SplitLines(std::u16string_view text) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = pos;
    while (end < text.size() && text[end] != u'\n' && text[end] != u'\r') ++end;
    size_t next = end;
    if (next < text.size() && text[next] == u'\r') ++next;
    if (next < text.size() && text[next] == u'\n') ++next;
    lines.push_back({pos, end, next});
    pos = next;
  }
  return lines;
}

// The section name of a "[name]" line.
std::optional<std::u16string_view> SectionName(std::u16string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != u'[') return std::nullopt;
  const size_t close = line.find(u']');
  if (close == std::u16string_view::npos) return Trim(line.substr(1));
  return Trim(line.substr(1, close - 1));
}

struct KeyLine {
  std::u16string_view key;
  std::u16string_view value;
};

std::optional<KeyLine> KeyValue(std::u16string_view line) {
  const size_t equals = line.find(u'=');
  if (equals == std::u16string_view::npos) return std::nullopt;
  const std::u16string_view key = Trim(line.substr(0, equals));
  if (key.empty() || key.front() == u';') return std::nullopt;
  return KeyLine{key, Trim(line.substr(equals + 1))};
}

std::u16string Unquote(std::u16string_view value) {
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::u16string(value);
}

}  // namespace

IniText DecodeIniBytes(std::span<const std::byte> bytes) {
  IniText out;
  auto at = [&](size_t i) { return std::to_integer<uint8_t>(bytes[i]); };
  if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
    out.encoding = IniEncoding::kUtf16Le;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      out.text.push_back(static_cast<char16_t>(at(i) | (at(i + 1) << 8)));
    }
    return out;
  }
  if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
    out.encoding = IniEncoding::kUtf8Bom;
    const auto rest = bytes.subspan(3);
    out.text = text::from_utf8({reinterpret_cast<const char*>(rest.data()), rest.size()});
    return out;
  }
  if (ValidUtf8(bytes)) {
    out.encoding = IniEncoding::kUtf8;
    out.text = text::from_utf8({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    return out;
  }
  out.encoding = IniEncoding::kAnsi;
  out.text = platform::ansi_to_utf16(bytes);
  return out;
}

std::optional<std::u16string> FindIniValue(std::u16string_view text, std::u16string_view section,
                                           std::u16string_view key) {
  bool inside = false;
  for (const Line& line : SplitLines(text)) {
    const std::u16string_view content = text.substr(line.begin, line.end - line.begin);
    if (auto name = SectionName(content)) {
      inside = SameName(*name, section);
      continue;
    }
    if (!inside) continue;
    if (auto pair = KeyValue(content); pair && SameName(pair->key, key)) return Unquote(pair->value);
  }
  return std::nullopt;
}

std::u16string SetIniValue(std::u16string_view text, std::u16string_view section, std::u16string_view key,
                           std::u16string_view value) {
  const std::u16string entry = std::u16string(key) + u"=" + std::u16string(value);
  const std::vector<Line> lines = SplitLines(text);
  bool inside = false;
  bool seen_section = false;
  size_t section_end = 0;  // where a new key of the first matching section goes
  for (const Line& line : lines) {
    const std::u16string_view content = text.substr(line.begin, line.end - line.begin);
    if (auto name = SectionName(content)) {
      if (inside) break;  // the first matching section ended without the key
      inside = SameName(*name, section);
      if (inside) {
        seen_section = true;
        section_end = line.next;
      }
      continue;
    }
    if (!inside) continue;
    if (auto pair = KeyValue(content); pair && SameName(pair->key, key)) {
      std::u16string out(text.substr(0, line.begin));
      out += entry;
      out += text.substr(line.end);
      return out;
    }
    if (!Trim(content).empty()) section_end = line.next;
  }
  std::u16string out(text);
  if (seen_section) {
    std::u16string insert = entry + u"\r\n";
    // The section's last line may lack its line end (end of file).
    if (section_end > 0 && section_end == text.size() && text.back() != u'\n' && text.back() != u'\r') {
      insert = u"\r\n" + entry + u"\r\n";
    }
    out.insert(section_end, insert);
    return out;
  }
  if (!out.empty() && out.back() != u'\n' && out.back() != u'\r') out += u"\r\n";
  out += u"[" + std::u16string(section) + u"]\r\n" + entry + u"\r\n";
  return out;
}

int ParseProfileInt(std::u16string_view value) {
  value = Trim(value);
  bool negative = false;
  size_t i = 0;
  if (i < value.size() && (value[i] == u'-' || value[i] == u'+')) negative = value[i++] == u'-';
  int64_t number = 0;
  for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i) {
    number = number * 10 + (value[i] - u'0');
    if (number > INT32_MAX) number = INT32_MAX;  // saturate rather than wrap
  }
  return static_cast<int>(negative ? -number : number);
}

}  // namespace salvor::app
