#include "app/win/ui_texts.h"

namespace salvor::win {
namespace {
app::LanguageTable& table() {
  static app::LanguageTable current;
  return current;
}
}  // namespace

void SetUiLanguage(app::LanguageTable language) { table() = std::move(language); }
const std::u16string& Ui(std::u16string_view key) { return table().Text(key); }

}  // namespace salvor::win
