#include "app/core/safe_names.h"

#include <string>

#include "common/text.h"

namespace salvor::app {

bool IsReservedDeviceName(std::u16string_view name) {
  // Windows opens these devices whatever the extension ("NUL.txt"), and
  // ignores spaces before the extension ("NUL .txt").
  std::u16string_view base = name.substr(0, name.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  static constexpr std::u16string_view kNames[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
  for (const auto reserved : kNames) {
    if (text::equals_ignore_case(base, reserved)) return true;
  }
  if (base.size() == 4 && (text::equals_ignore_case(base.substr(0, 3), u"COM") ||
                           text::equals_ignore_case(base.substr(0, 3), u"LPT"))) {
    const char16_t digit = base[3];
    // COM1..9, and the superscript digits Windows also takes.
    return (digit >= u'1' && digit <= u'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}

std::u16string SafePathComponent(std::u16string_view name) {
  std::u16string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
      out += c;
      out += name[++i];
      continue;
    }
    const bool unsafe = c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF) ||
                        std::u16string_view(u"/\\:*?\"<>|").find(c) != std::u16string_view::npos;
    out += unsafe ? u'_' : c;
  }
  for (size_t i = out.size(); i > 0 && (out[i - 1] == u'.' || out[i - 1] == u' '); --i) out[i - 1] = u'_';
  if (out.empty()) out = u"_";
  if (IsReservedDeviceName(out)) out.insert(0, 1, u'_');
  return out;
}

std::vector<std::u16string> SafeRelativeComponents(std::u16string_view path) {
  // The drive root the engine puts in front ("E:\"), or a bare leading "E:".
  if (path.size() >= 2 && path[1] == u':') path.remove_prefix(path.size() >= 3 && path[2] == u'\\' ? 3 : 2);
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view part = path.substr(start, end - start);
    if (!part.empty()) parts.push_back(SafePathComponent(part));
    start = end + 1;
  }
  // An entry whose name is empty still needs one.
  if (path.empty() || path.back() == u'\\') parts.push_back(SafePathComponent(u""));
  return parts;
}

}  // namespace salvor::app
