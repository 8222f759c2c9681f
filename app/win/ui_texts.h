// The texts of the language in use, program-wide: every window reads its
// texts from here when it is built, so a dialog opened after a change of
// language shows the new ones. User-interface thread only.
#pragma once

#include <string>
#include <string_view>

#include "app/core/language.h"

namespace salvor::win {

void SetUiLanguage(app::LanguageTable table);
// The text of `key` in the language in use (English by default).
const std::u16string& Ui(std::u16string_view key);

// Windows takes wide strings; the program keeps UTF-16 as char16_t.
inline const wchar_t* W(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline std::u16string U(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

// The product title: the main window's text, by which a second copy finds
// the first.
inline constexpr wchar_t kProductTitle[] = L"Salvor - USB Drive Data Recovery";

}  // namespace salvor::win
