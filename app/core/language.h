// Language tables: every text of the user interface by its key, with the
// English defaults built in, and the installed languages found under
// "<program dir>/language/<entry>/language.ini" (section "Salvor").
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace salvor::app {

inline constexpr std::u16string_view kLanguageSection = u"Salvor";
inline constexpr size_t kLanguageTextChars = 2000;     // buffer per text key
inline constexpr size_t kLanguageDescriptionChars = 260;  // LanguageText, Translator, LanguageIcon
inline constexpr std::u16string_view kNotALanguage = u"default";

struct LanguageKey {
  std::u16string_view key;
  std::u16string_view english;  // rich texts are markup: <c color="RRGGBB">...</c>
};

// The whole text table in its order; "LanguageText" comes first.
const std::vector<LanguageKey>& LanguageKeys();
// The English default of a key; empty for a key not in the table.
std::u16string_view EnglishText(std::u16string_view key);

// The texts of one language: each key from the file, else its English
// default.
class LanguageTable {
 public:
  LanguageTable();  // English
  // Reads every key of the table from `ini_path` (an empty path, a missing
  // file or a missing key gives the English text).
  static LanguageTable Load(std::u16string_view ini_path);
  // The text of `key`; empty for a key not in the table.
  const std::u16string& Text(std::u16string_view key) const;

 private:
  std::map<std::u16string, std::u16string, std::less<>> texts_;
};

struct LanguageEntry {
  std::u16string name;        // "LanguageText": the display name
  std::u16string translator;  // "Translator"
  std::u16string icon_path;   // language folder + separator + "LanguageIcon"
  std::u16string ini_path;    // the language's language.ini
};

// The languages offered: every entry under "<program dir>/language/" whose
// language.ini names it with a "LanguageText" other than "default".
class LanguageCatalog {
 public:
  // Lists the language folder of `program_dir` afresh; false when it cannot
  // be listed. Entries come in name order.
  bool Enumerate(std::u16string_view program_dir);
  const std::vector<LanguageEntry>& entries() const { return entries_; }
  // The language.ini path of a display name; empty when no such language.
  std::u16string IniPathOf(std::u16string_view name) const;

 private:
  std::vector<LanguageEntry> entries_;
};

}  // namespace salvor::app
