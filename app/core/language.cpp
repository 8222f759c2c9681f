// The text table with its English defaults, and the language catalogue; see
// language.h.
#include "app/core/language.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/core/ini_file.h"
#include "platform/platform.h"

namespace salvor::app {

const std::vector<LanguageKey>& LanguageKeys() {
  static const std::vector<LanguageKey> keys = {
      {u"LanguageText", u"English"},
      {u"lanTabData", u"Removable Disk"},
      {u"lanTabHelp", u"Help"},
      {u"lanProTitle", u"USB Drive Data Recovery Made Easy!"},
      {u"lanProText",
       u"<c color=\"7A7A7A\">Salvor helps you to get back your valuable pictures, documents and songs from your "
       u"USB drive.</c>"},
      {u"lanQuickTitle", u"Quick Scan"},
      {u"lanQuickText",
       u"<c color=\"7A7A7A\">Scan the target USB drive to find missing pictures, documents and songs.</c>"},
      {u"lanFormatTitle", u"Unformatting Scan"},
      {u"lanFormatText",
       u"<c color=\"7A7A7A\">Scan the target USB drive to find formatted pictures, documents and songs.</c>"},
      {u"lanListDisk", u"       Disk"},
      {u"lanListTotal", u"Capacity"},
      {u"lanListFree", u"Free Space"},
      {u"lanListFormat", u"Format"},
      {u"lanRefresh", u"Refresh Disk List"},
      {u"lanVersion", u"Version: "},
      {u"lanThank", u"[ USB Drive Data Recovery Made Easy ]"},
      {u"lanLauText", u"Language"},
      {u"lanHelpText1",
       u"<c color=\"000000\">Salvor is committed to bring USB drive data recovery to every customerin a "
       u"convenient and affordable way.</c><br/><c color=\"000000\">If need help about how to use Salvor, please "
       u"check out the tutorials: </c>"},
      {u"lanHelpText2",
       u"<c color=\"000000\">Your comments,suggestions and questions could help us a lot to improve ourproducts. "
       u"Please feel free to contact us at: </c>"},
      {u"lanHelpText3",
       u"<c color=\"000000\">Warning: this program is protected by copyright law and international treaties. "
       u"Unauthorized duplication or distribution of this program, or any part of it, may result in severe civil "
       u"and criminal penalties, and will be prosecuted to the maximum extent possible under the law.</c>"},
      {u"lanHelpText4", u"Salvor For USB drive "},
      {u"lanHelpBtn", u"Click here to help us improve software quality."},
      {u"lanHelpLogo", u"USB Drive Data Recovery Made Easy!"},
      {u"lanSureQuick", u"<c color=\"000000\">Are you sure want to Quick Scan?</c>"},
      {u"lanSureFormat", u"<c color=\"000000\">Are you sure want to Unformatting Scan?</c>"},
      {u"lanSureClose", u"<c color=\"000000\">Are you sure want to Close?</c>"},
      {u"lanSureReturn",
       u"<c color=\"000000\">Are you sure want to return to the main interface? If none of the scanning results "
       u"will be saved.</c>"},
      {u"lanSureYes", u"Yes"},
      {u"lanSureNo", u"No"},
      {u"lanScanFolder", u"Folders:"},
      {u"lanScanFile", u"Files:"},
      {u"lanScanLast", u"Last file found:"},
      {u"lanScanText", u"Scanning..."},
      {u"lanRecText", u"Recovering..."},
      {u"lanScanBtnCon", u"Continue"},
      {u"lanScanBtnStop", u"Stop"},
      {u"lanScanBtnPause", u"Pause"},
      {u"lanFileFolders", u"Folders"},
      {u"lanFileName", u"File Name"},
      {u"lanFilePath", u"File Path"},
      {u"lanFileSize", u"Size"},
      {u"lanFileDate", u"Date Modified"},
      {u"lanFileCluste", u"First Cluste"},
      {u"lanFileData", u"Data"},
      {u"lanDataIntact", u"intact"},
      {u"lanDataPartly", u"partly overwritten"},
      {u"lanDataOverwritten", u"overwritten"},
      {u"lanDataUnknown", u"unknown"},
      {u"lanFileDisplay", u"Only display deleted files"},
      {u"lanFileALL", u"Check All"},
      {u"lanFileBtnRet", u"Return"},
      {u"lanFileBtnFind", u"Find"},
      {u"lanFileBtnRecover", u"Recover"},
      {u"lanFileBtnBack", u"Back"},
      {u"lanFindTitle", u"File Filter"},
      {u"lanFindCmbText", u"File type:"},
      {u"lanFindEditText", u"All or part of the file name:"},
      {u"lanFindByteText", u"Do not display files of 0 byte in size"},
      {u"lanFindBtnOK", u"OK"},
      {u"lanFindBtnCancle", u"Cancel"},
      {u"lanRRecover", u"&Recover This One"},
      {u"lanRCheck", u"&Check"},
      {u"lanRUncheck", u"&Uncheck"},
      {u"regText", u"Please choose position that save file: "},
      {u"newText", u"[ Please click here to download new verion. ]"},
      {u"lanLanChoose", u"Please select a language:"},
      {u"lanlanguage", u"Language."},
      {u"lanTranslator", u"Translator"},
      // The program's own texts beyond the table above.
      {u"lanOpenImage", u"Open disk image..."},
      {u"lanScanBusy", u"Finishing the stopped scan..."},
  };
  return keys;
}

std::u16string_view EnglishText(std::u16string_view key) {
  for (const LanguageKey& entry : LanguageKeys()) {
    if (entry.key == key) return entry.english;
  }
  return {};
}

LanguageTable::LanguageTable() {
  for (const LanguageKey& entry : LanguageKeys()) texts_.emplace(entry.key, entry.english);
}

LanguageTable LanguageTable::Load(std::u16string_view ini_path) {
  LanguageTable table;
  if (ini_path.empty()) return table;
  for (const LanguageKey& entry : LanguageKeys()) {
    table.texts_[std::u16string(entry.key)] =
        ReadIniString(ini_path, kLanguageSection, entry.key, entry.english, kLanguageTextChars);
  }
  return table;
}

const std::u16string& LanguageTable::Text(std::u16string_view key) const {
  static const std::u16string kEmpty;
  auto found = texts_.find(key);
  return found == texts_.end() ? kEmpty : found->second;
}

bool LanguageCatalog::Enumerate(std::u16string_view program_dir) {
  entries_.clear();
  const std::u16string separator(1, platform::kPathSeparator);
  const std::u16string folder = std::u16string(program_dir) + separator + u"language";
  std::error_code error;
  std::filesystem::directory_iterator it(std::filesystem::path(folder), error);
  if (error) return false;
  std::vector<std::u16string> names;
  // Files count as entries as well as folders: an entry without a readable
  // language.ini is then left out by its missing name.
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
    if (error) break;
    names.push_back(it->path().filename().u16string());
  }
  std::sort(names.begin(), names.end());
  for (const std::u16string& name : names) {
    const std::u16string entry_folder = folder + separator + name;
    LanguageEntry entry;
    entry.ini_path = entry_folder + separator + u"language.ini";
    entry.name = ReadIniString(entry.ini_path, kLanguageSection, u"LanguageText", kNotALanguage,
                                   kLanguageDescriptionChars);
    if (entry.name == kNotALanguage) continue;
    entry.translator = ReadIniString(entry.ini_path, kLanguageSection, u"Translator", kNotALanguage,
                                         kLanguageDescriptionChars);
    entry.icon_path = entry_folder + separator +
                      ReadIniString(entry.ini_path, kLanguageSection, u"LanguageIcon", kNotALanguage,
                                        kLanguageDescriptionChars);
    entries_.push_back(std::move(entry));
  }
  return true;
}

std::u16string LanguageCatalog::IniPathOf(std::u16string_view name) const {
  for (const LanguageEntry& entry : entries_) {
    if (entry.name == name) return entry.ini_path;
  }
  return {};
}

}  // namespace salvor::app
