// setting.ini, KVN.ini and language application; see settings.h.
#include "app/core/settings.h"

#include "app/core/ini_file.h"
#include "platform/platform.h"

namespace salvor::app {
namespace {
constexpr size_t kSettingChars = 260;

std::u16string Decimal(int value) {
  const std::string text = std::to_string(value);
  return std::u16string(text.begin(), text.end());
}
}  // namespace

std::u16string SettingsFilePath(std::u16string_view program_dir) {
  return std::u16string(program_dir) + platform::kPathSeparator + u"setting.ini";
}

std::u16string ReadLanguageSetting(std::u16string_view settings_file) {
  return ReadIniString(settings_file, kSettingsSection, kLanguageSettingKey, kDefaultLanguage, kSettingChars);
}

bool WriteLanguageSetting(std::u16string_view settings_file, std::u16string_view name) {
  return WriteIniString(settings_file, kSettingsSection, kLanguageSettingKey, name);
}

std::u16string FileTypeSettingsPath() {
  return std::u16string(u".") + platform::kPathSeparator + u"KVN.ini";
}

std::array<bool, kFileTypeCount> ReadFileTypeChecks(std::u16string_view kvn_file) {
  std::array<bool, kFileTypeCount> checks{};
  for (int i = 0; i < kFileTypeCount; ++i) {
    checks[i] = ReadIniInt(kvn_file, kFileTypeSection, Decimal(kFirstFileTypeId + i), 0) != 0;
  }
  return checks;
}

bool WriteFileTypeChecks(std::u16string_view kvn_file, const std::array<bool, kFileTypeCount>& checks) {
  bool ok = true;
  for (int i = 0; i < kFileTypeCount; ++i) {
    ok = WriteIniString(kvn_file, kFileTypeSection, Decimal(kFirstFileTypeId + i), checks[i] ? u"1" : u"0") &&
         ok;
  }
  return ok;
}

LanguageTable ApplyLanguage(std::u16string_view ini_path, std::u16string_view settings_file) {
  LanguageTable table = LanguageTable::Load(ini_path);
  WriteLanguageSetting(settings_file, table.Text(u"LanguageText"));
  return table;
}

StartupLanguage LoadStartupLanguage(std::u16string_view program_dir) {
  StartupLanguage startup;
  startup.listed = startup.catalog.Enumerate(program_dir);
  startup.show_chooser = startup.listed && startup.catalog.entries().size() >= 2;
  const std::u16string settings_file = SettingsFilePath(program_dir);
  const std::u16string chosen = ReadLanguageSetting(settings_file);
  startup.table = ApplyLanguage(startup.catalog.IniPathOf(chosen), settings_file);
  return startup;
}

}  // namespace salvor::app
