// The program's settings files: "setting.ini" beside the program (the chosen
// language) and ".\KVN.ini" in the current directory (the 24 file-type check
// boxes 8000 to 8023), and applying a language at start-up.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "app/core/language.h"

namespace salvor::app {

inline constexpr std::u16string_view kSettingsSection = u"Salvor";
inline constexpr std::u16string_view kLanguageSettingKey = u"Language";
inline constexpr std::u16string_view kDefaultLanguage = u"English";
inline constexpr std::u16string_view kFileTypeSection = u"CONFIG";
inline constexpr int kFirstFileTypeId = 8000;
inline constexpr int kFileTypeCount = 24;  // 8000..8011 photo types, 8012..8023 video types

// "<program dir><sep>setting.ini".
std::u16string SettingsFilePath(std::u16string_view program_dir);
// The chosen language's display name ("English" when none is stored).
std::u16string ReadLanguageSetting(std::u16string_view settings_file);
// Stores the display name; write failures are ignored by callers.
bool WriteLanguageSetting(std::u16string_view settings_file, std::u16string_view name);

// ".\KVN.ini" (on Windows; "./KVN.ini" elsewhere).
std::u16string FileTypeSettingsPath();
// The check boxes 8000.. in order: a non-zero value is checked, a missing one
// unchecked.
std::array<bool, kFileTypeCount> ReadFileTypeChecks(std::u16string_view kvn_file);
bool WriteFileTypeChecks(std::u16string_view kvn_file, const std::array<bool, kFileTypeCount>& checks);

// Applies a language: its texts (an empty or unknown path gives English),
// and its "LanguageText" stored in setting.ini.
LanguageTable ApplyLanguage(std::u16string_view ini_path, std::u16string_view settings_file);

// Start-up: the languages installed beside the program, and the table of the
// one setting.ini names (English when it names none that is installed).
struct StartupLanguage {
  LanguageCatalog catalog;
  bool listed = false;        // the language folder could be listed
  bool show_chooser = false;  // two or more languages to choose from
  LanguageTable table;
};
StartupLanguage LoadStartupLanguage(std::u16string_view program_dir);

}  // namespace salvor::app
