// --codepage N of scan and recover: the OEM code page in which the volume's
// 8.3 names were written (437 unless given; 850 for western Europe, 852,
// 866, 932 and others where the system can decode them).
#include <string>

#include "cli/commands.h"
#include "common/text.h"

namespace salvor::cli {

std::optional<unsigned> ParseCodePage(std::u16string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - u'0');
  }
  if (value == 0) return std::nullopt;
  return value;
}

bool ApplyCodePage(const app::EngineBinding& engine, std::optional<unsigned> code_page) {
  if (!code_page) return true;
  if (engine.ReSetOemCodePage && engine.ReSetOemCodePage(*code_page)) return true;
  PrintUsageError(u"code page " + text::from_utf8(std::to_string(*code_page)) + u" cannot be decoded here");
  return false;
}

}  // namespace salvor::cli
