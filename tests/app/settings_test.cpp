// Settings and language files as the program reads them: the three file
// encodings, names compared without case, defaults for anything missing, and
// the languages found beside the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "app/core/ini_file.h"
#include "app/core/language.h"
#include "app/core/settings.h"
#include "common/text.h"
#include "platform/platform.h"
#include "tests/fixtures/temp_files.h"

namespace salvor::app {
namespace {

std::string Utf16LeWithBom(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::span<const std::byte> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::byte*>(s.data()), s.size()};
}

std::u16string U16(const std::string& utf8) { return text::from_utf8(utf8); }

TEST(IniReader, DecodesUtf16Utf8AndAnsiFiles) {
  const std::u16string text = u"[Salvor]\r\nlanFileSize=Größe\r\n";
  const IniText utf16 = DecodeIniBytes(Bytes(Utf16LeWithBom(text)));
  EXPECT_EQ(utf16.encoding, IniEncoding::kUtf16Le);
  EXPECT_EQ(FindIniValue(utf16.text, u"Salvor", u"lanFileSize"), u"Größe");

  const IniText utf8_bom = DecodeIniBytes(Bytes("\xEF\xBB\xBF[Salvor]\nlanFileSize=Gr\xC3\xB6\xC3\x9F" "e\n"));
  EXPECT_EQ(utf8_bom.encoding, IniEncoding::kUtf8Bom);
  EXPECT_EQ(FindIniValue(utf8_bom.text, u"Salvor", u"lanFileSize"), u"Größe");

  const IniText utf8 = DecodeIniBytes(Bytes("[Salvor]\nlanFileSize=Gr\xC3\xB6\xC3\x9F" "e\n"));
  EXPECT_EQ(utf8.encoding, IniEncoding::kUtf8);
  EXPECT_EQ(FindIniValue(utf8.text, u"Salvor", u"lanFileSize"), u"Größe");

  // Windows-1252: ö is 0xF6, ß 0xDF, and 0x80 the euro sign.
  const IniText ansi = DecodeIniBytes(Bytes("[Salvor]\nlanFileSize=Gr\xF6\xDF" "e \x80\n"));
  EXPECT_EQ(ansi.encoding, IniEncoding::kAnsi);
  EXPECT_EQ(FindIniValue(ansi.text, u"Salvor", u"lanFileSize"), u"Größe €");
}

TEST(IniReader, NamesIgnoreCaseFirstMatchWinsValuesAreTrimmed) {
  const std::u16string text =
      u"; comment\r\n[other]\r\nKey=wrong\r\n[ SALVOR ]\r\n  language =  Deutsch  \r\nLANGUAGE=second\r\n"
      u"quoted=\"  spaced  \"\r\nempty=\r\nnoequals\r\n[salvor]\r\nlate=x\r\n";
  EXPECT_EQ(FindIniValue(text, u"Salvor", u"Language"), u"Deutsch");
  EXPECT_EQ(FindIniValue(text, u"salvor", u"QUOTED"), u"  spaced  ");
  EXPECT_EQ(FindIniValue(text, u"Salvor", u"empty"), u"");
  EXPECT_EQ(FindIniValue(text, u"Salvor", u"noequals"), std::nullopt);
  EXPECT_EQ(FindIniValue(text, u"Salvor", u"missing"), std::nullopt);
  EXPECT_EQ(FindIniValue(text, u"nosuch", u"Key"), std::nullopt);
  EXPECT_EQ(ParseProfileInt(u" 42abc"), 42);
  EXPECT_EQ(ParseProfileInt(u"x"), 0);
}

TEST(IniWriter, ReplacesTheFirstKeyOrAppendsKeyAndSection) {
  std::u16string text = u"[Salvor]\r\nLanguage=English\r\nOther=1\r\n\r\n[CONFIG]\r\n8000=1\r\n";
  text = SetIniValue(text, u"salvor", u"LANGUAGE", u"Deutsch");
  EXPECT_EQ(text, u"[Salvor]\r\nLANGUAGE=Deutsch\r\nOther=1\r\n\r\n[CONFIG]\r\n8000=1\r\n");
  text = SetIniValue(text, u"Salvor", u"New", u"v");
  EXPECT_EQ(text, u"[Salvor]\r\nLANGUAGE=Deutsch\r\nOther=1\r\nNew=v\r\n\r\n[CONFIG]\r\n8000=1\r\n");
  text = SetIniValue(text, u"CONFIG", u"8001", u"0");
  EXPECT_EQ(FindIniValue(text, u"config", u"8001"), u"0");
  EXPECT_EQ(SetIniValue(u"", u"Salvor", u"Language", u"English"), u"[Salvor]\r\nLanguage=English\r\n");
  EXPECT_EQ(SetIniValue(u"[Salvor]\r\nA=1", u"Salvor", u"B", u"2"), u"[Salvor]\r\nA=1\r\nB=2\r\n");
}

TEST(SettingsFiles, DefaultsWhenMissingAndValuesRoundTrip) {
  const std::string dir = testing::MakeTempDir();
  const std::u16string settings = U16(dir) + platform::kPathSeparator + u"setting.ini";
  EXPECT_EQ(ReadLanguageSetting(settings), u"English");
  ASSERT_TRUE(WriteLanguageSetting(settings, u"Français"));
  EXPECT_EQ(ReadLanguageSetting(settings), u"Français");
  ASSERT_TRUE(WriteLanguageSetting(settings, u"Deutsch"));
  EXPECT_EQ(ReadLanguageSetting(settings), u"Deutsch");

  const std::u16string kvn = U16(dir) + platform::kPathSeparator + u"KVN.ini";
  auto checks = ReadFileTypeChecks(kvn);
  for (bool c : checks) EXPECT_FALSE(c);
  checks[0] = checks[13] = checks[23] = true;
  ASSERT_TRUE(WriteFileTypeChecks(kvn, checks));
  EXPECT_EQ(ReadFileTypeChecks(kvn), checks);
  EXPECT_EQ(ReadIniInt(kvn, u"config", u"8013", 7), 1);
  EXPECT_EQ(ReadIniInt(kvn, u"config", u"9999", 7), 7);
  EXPECT_EQ(ReadIniString(kvn, u"CONFIG", u"8000", u"", 260), u"1");
}

TEST(SettingsFiles, ValuesAreCutToTheBuffer) {
  const std::string dir = testing::MakeTempDir();
  const std::string path = dir + "/long.ini";
  WriteBytes(path, "[Salvor]\r\nLanguage=abcdefghij\r\n");
  EXPECT_EQ(ReadIniString(U16(path), u"Salvor", u"Language", u"", 5), u"abcd");
}

class LanguageFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = testing::MakeTempDir();
    // Deutsch: UTF-16LE, lacks lanFileSize. Français: UTF-8 without byte
    // order mark (read as ANSI by Windows, so only off Windows). Hidden:
    // "default". A stray file is an entry without a language.
    WriteBytes(dir + "/language/Deutsch/language.ini",
               Utf16LeWithBom(u"[Salvor]\r\nLanguageText=Deutsch\r\nTranslator=Team\r\nLanguageIcon=de.ico\r\n"
                              u"lanFileName=Dateiname\r\nlanlanguage=Sprache\r\n"));
#if !defined(_WIN32)
    WriteBytes(dir + "/language/Francais/language.ini",
               "[salvor]\nlanguagetext=Fran\xC3\xA7" "ais\nlanFileName=Nom du fichier\n");
#endif
    WriteBytes(dir + "/language/Hidden/language.ini", "[Salvor]\r\nLanguageText=default\r\n");
    WriteBytes(dir + "/language/readme.txt", "not a language");
    program_dir = U16(dir);
  }
  std::string dir;
  std::u16string program_dir;
};

TEST_F(LanguageFolder, OffersNamedLanguagesAndSkipsDefault) {
  LanguageCatalog catalog;
  ASSERT_TRUE(catalog.Enumerate(program_dir));
  std::vector<std::u16string> names;
  for (const auto& entry : catalog.entries()) names.push_back(entry.name);
#if defined(_WIN32)
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Deutsch"}));
#else
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Deutsch", u"Français"}));
#endif
  const LanguageEntry& de = catalog.entries()[0];
  EXPECT_EQ(de.translator, u"Team");
  const std::u16string sep(1, platform::kPathSeparator);
  EXPECT_EQ(de.icon_path, program_dir + sep + u"language" + sep + u"Deutsch" + sep + u"de.ico");
  EXPECT_EQ(catalog.IniPathOf(u"Deutsch"), de.ini_path);
  EXPECT_EQ(catalog.IniPathOf(u"Klingon"), u"");

  LanguageCatalog none;
  EXPECT_FALSE(none.Enumerate(U16(testing::MakeTempDir())));
}

TEST_F(LanguageFolder, MissingKeysFallBackToEnglishAndTheChoiceIsStored) {
  WriteBytes(dir + "/setting.ini", "[Salvor]\r\nLanguage=Deutsch\r\n");
  StartupLanguage startup = LoadStartupLanguage(program_dir);
  EXPECT_TRUE(startup.listed);
  EXPECT_EQ(startup.table.Text(u"lanFileName"), u"Dateiname");
  EXPECT_EQ(startup.table.Text(u"lanFileSize"), u"Size");
  EXPECT_EQ(startup.table.Text(u"LanguageText"), u"Deutsch");

  // OK without a row: an empty path gives English, and English is stored.
  const std::u16string settings = SettingsFilePath(program_dir);
  const LanguageTable english = ApplyLanguage(u"", settings);
  EXPECT_EQ(english.Text(u"lanFileName"), u"File Name");
  EXPECT_EQ(ReadLanguageSetting(settings), u"English");

  // An unknown language in setting.ini applies English too.
  WriteLanguageSetting(settings, u"Klingon");
  EXPECT_EQ(LoadStartupLanguage(program_dir).table.Text(u"lanlanguage"), u"Language.");
}

TEST(LanguageTable, EnglishDefaultsCoverTheWholeTable) {
  const LanguageTable english;
  EXPECT_EQ(LanguageKeys().size(), 70u);  // the 65 of the first tables and the verdict column's five
  EXPECT_EQ(LanguageKeys().front().key, u"LanguageText");
  EXPECT_EQ(english.Text(u"lanListDisk"), u"       Disk");
  EXPECT_EQ(english.Text(u"lanSureQuick"), u"<c color=\"000000\">Are you sure want to Quick Scan?</c>");
  EXPECT_EQ(english.Text(u"nosuchkey"), u"");
}

// The shipped files carry every key, and blanks at either end survive.
TEST(ShippedLanguages, EveryKeyIsPresentInEachFile) {
  const std::u16string program_dir = platform::executable_directory();
  LanguageCatalog catalog;
  ASSERT_TRUE(catalog.Enumerate(program_dir));
  ASSERT_GE(catalog.entries().size(), 2u);
  for (const auto& entry : catalog.entries()) {
    for (const auto& key : LanguageKeys()) {
      EXPECT_NE(ReadIniString(entry.ini_path, kLanguageSection, key.key, u"\x1F missing", kLanguageTextChars),
                u"\x1F missing")
          << text::to_utf8(entry.name) << " lacks " << text::to_utf8(key.key);
    }
  }
  // The shipped English file is the built-in texts with their typos and
  // grammar mended and a help page that says something useful.
  const std::set<std::u16string_view> mended = {
      u"lanHelpText1", u"lanHelpText2", u"lanHelpText3", u"lanSureQuick", u"lanSureFormat", u"lanSureClose",
      u"lanSureReturn", u"lanFileCluste", u"lanFindByteText", u"regText", u"newText", u"lanlanguage"};
  const LanguageTable english = LanguageTable::Load(catalog.IniPathOf(u"English"));
  for (const auto& key : LanguageKeys()) {
    if (mended.count(key.key)) EXPECT_NE(english.Text(key.key), key.english) << text::to_utf8(key.key);
    else EXPECT_EQ(english.Text(key.key), key.english) << text::to_utf8(key.key);
    for (std::u16string_view typo : {u"customerin", u"ourproducts", u"verion", u"sure want to", u"First Cluste<"})
      EXPECT_EQ((english.Text(key.key) + u"<").find(typo), std::u16string::npos) << text::to_utf8(key.key);
  }
}

}  // namespace
}  // namespace salvor::app
