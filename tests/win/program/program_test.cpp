// Salvor.exe driven end to end under Wine: the drives are real volumes made
// by mkfs.fat + mtools, mkfs.exfat and mkntfs (program_test.sh maps them to
// drive letters), the program is started as a user starts it, clicked by
// element id, and read back from its windows. Every step leaves a
// screenshot, checked here for being a real picture of the program.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "tests/win/program/remote_window.h"
#include "tests/win/win_test_paths.h"

namespace salvor::testing {
namespace {

using namespace std::chrono_literals;

// Element ids of the program's layouts.
constexpr unsigned kMainLayout = 103, kQuickButtonLayout = 104, kConfirmLayout = 108, kProgressLayout = 109,
                   kFormatButtonLayout = 111;
constexpr int kDrivePage = 254, kResultsPage = 253, kQuestion = 107, kYes = 170, kReturn = 214;
constexpr int kQuickClick = 202, kFormatClick = 888, kQuickText = 168;
constexpr int kPause = 212, kPauseText = 144, kStop = 213, kFolders = 106, kFiles = 105, kAnimation = 3001,
              kBar = 1600;
constexpr int kDriveList = 2000, kResultList = 2001, kDeletedTree = 10004, kRefreshText = 205, kCheckAll = 2696;
constexpr COLORREF kHeaderColour = RGB(0x1E, 0x2A, 0x3A);

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}
std::wstring windows_path(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  return std::wstring(path.begin(), path.end());
}
std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}
std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::wstring ProgramPath() { return ExecutableDirectory() + L"\\Salvor.exe"; }

// One mapped drive: its letter, what is on it, and its fixture manifest.
struct Drive {
  std::string letter;  // "P"
  std::string role;    // quick-fat32, unformat-fat32, quick-exfat, quick-ntfs, large
  std::string manifest;
};
std::map<std::string, Drive> Drives() {
  std::map<std::string, Drive> drives;
  std::ifstream in(env("SALVOR_PROGRAM_DRIVES"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Drive d;
    std::getline(fields, d.letter, '\t');
    std::getline(fields, d.role, '\t');
    std::getline(fields, d.manifest, '\t');
    if (!d.role.empty()) drives[d.role] = d;
  }
  return drives;
}

// The manifest's files: "<L>:\dir\name" -> deleted.
std::map<std::u16string, bool> ManifestFiles(const Drive& drive) {
  std::map<std::u16string, bool> files;
  std::ifstream in(drive.manifest);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string type, path, deleted;
    std::getline(fields, type, '\t');
    std::getline(fields, path, '\t');
    std::getline(fields, deleted, '\t');
    if (type != "file") continue;
    for (char& c : path) if (c == '/') c = '\\';
    std::wstring utf16(path.size() + 1, L'\0');
    utf16.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), utf16.data(),
                            static_cast<int>(utf16.size()))));
    const std::u16string full = wide(drive.letter + ":\\") + reinterpret_cast<const char16_t*>(utf16.c_str());
    files[full] = deleted == "1";
  }
  return files;
}

// Same path, or the same but for the case of ASCII letters and the first
// character of the name (a deleted short-name entry loses it).
bool SamePath(std::u16string shown, const std::u16string& expected) {
  // The engine reports a root's entries after the root and a separator (E:\\name).
  for (size_t at; (at = shown.find(u"\\\\")) != std::u16string::npos;) shown.erase(at, 1);
  if (shown.size() != expected.size()) return false;
  const size_t name_at = expected.find_last_of(u'\\') + 1;
  for (size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] == expected[i] || i == name_at) continue;
    if (shown[i] < 0x80 && std::towlower(shown[i]) == std::towlower(expected[i])) continue;
    return false;
  }
  return true;
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drives_ = Drives();
    shots_ = windows_path(env("SALVOR_SCREENSHOTS"));
    if (drives_.empty()) GTEST_SKIP() << "no drives mapped (SALVOR_PROGRAM_DRIVES)";
  }

  // Saves a screenshot of the main window as program-<name>.bmp and checks
  // it shows the skinned window: many colours, the header's colour.
  void Shot(const std::string& name, HWND window = nullptr) {
    if (shots_.empty()) return;
    std::this_thread::sleep_for(300ms);
    const std::wstring path = shots_ + L"\\program-" + std::wstring(name.begin(), name.end()) + L".bmp";
    ASSERT_TRUE(CaptureWindow(window ? window : program_.main(), path)) << name;
    CaptureStats stats;
    ASSERT_TRUE(ReadCapture(path, stats)) << name;
    EXPECT_GT(stats.distinct_colours, 40u) << name << ": a blank picture";
    EXPECT_GT(stats.Near(kHeaderColour, 6), 5000u) << name << ": the header is not there";
  }

  HWND DriveList() { return program_.Control(program_.main(), kDriveList); }

  int DriveRow(const std::string& letter) {
    const std::u16string name = wide(letter + ":");
    for (int row = 0; row < program_.RowCount(DriveList()); ++row)
      if (program_.CellText(DriveList(), row, 0) == name) return row;
    return -1;
  }

  // Selects the drive, clicks a scan button and confirms.
  void StartScan(const std::string& letter, bool unformat) {
    const int row = DriveRow(letter);
    ASSERT_GE(row, 0) << letter << ": no drive row";
    ASSERT_TRUE(program_.SelectRow(DriveList(), row));
    HWND button = program_.FindLayout(unformat ? kFormatButtonLayout : kQuickButtonLayout);
    ASSERT_NE(button, nullptr);
    program_.Click(button, unformat ? kFormatClick : kQuickClick);
    HWND confirm = program_.WaitLayout(kConfirmLayout, 10s);
    ASSERT_NE(confirm, nullptr) << "no confirmation";
    EXPECT_NE(program_.Text(confirm, kQuestion).find(unformat ? u"Unformatting Scan" : u"Quick Scan"),
              std::u16string::npos)
        << narrow(program_.Text(confirm, kQuestion));
    Shot(unformat ? "confirm-unformat" : "confirm-quick");
    program_.Click(confirm, kYes);
  }

  bool WaitResults(std::chrono::milliseconds timeout = 120s) {
    return WaitFor([&] { return program_.Shown(program_.main(), kResultsPage); }, timeout);
  }

  // Every file row the deleted tree lists, node by node.
  std::set<std::u16string> ListedFiles() {
    std::set<std::u16string> paths;
    HWND tree = program_.Control(program_.main(), kDeletedTree);
    HWND list = program_.Control(program_.main(), kResultList);
    for (const auto& node : program_.TreeItems(tree)) {
      program_.ClickTreeItem(tree, node.item);
      for (int row = 0; row < program_.RowCount(list); ++row) paths.insert(program_.CellText(list, row, 1));
    }
    return paths;
  }

  void ReturnToDrives() {
    program_.Click(program_.main(), kReturn);
    HWND confirm = program_.WaitLayout(kConfirmLayout, 10s);
    ASSERT_NE(confirm, nullptr);
    EXPECT_NE(program_.Text(confirm, kQuestion).find(u"return"), std::u16string::npos);
    program_.Click(confirm, kYes);
    EXPECT_TRUE(WaitFor([&] { return program_.Shown(program_.main(), kDrivePage); }, 10s));
  }

  // Quick Scan of a drive: every deleted file of its manifest is listed
  // under its path.
  void CheckQuickScan(const std::string& role, const std::string& shot) {
    if (!drives_.count(role)) GTEST_SKIP() << role << " not mapped";
    const Drive& drive = drives_[role];
    ASSERT_TRUE(program_.Start(ProgramPath()));
    StartScan(drive.letter, false);
    ASSERT_TRUE(WaitResults());
    const std::set<std::u16string> listed = ListedFiles();
    size_t expected = 0, found = 0;
    for (const auto& [path, deleted] : ManifestFiles(drive)) {
      if (!deleted) continue;
      ++expected;
      bool seen = false;
      for (const auto& shown : listed) seen = seen || SamePath(shown, path);
      if (seen) ++found;
      else ADD_FAILURE() << role << ": not listed: " << narrow(path);
    }
    std::printf("FIGURES %s: %zu of %zu deleted files of the image listed (%zu rows shown)\n", role.c_str(), found,
                expected, listed.size());
    EXPECT_GT(expected, 0u);
    Shot(shot);
    ReturnToDrives();
  }

  RemoteProgram program_;
  std::map<std::string, Drive> drives_;
  std::wstring shots_;
};

TEST_F(ProgramTest, QuickScanThenUnformattingScanOfFat32) {
  ASSERT_TRUE(drives_.count("quick-fat32"));
  const Drive& quick = drives_["quick-fat32"];
  ASSERT_TRUE(program_.Start(ProgramPath()));
  // The drive row, with the file system its boot sector shows.
  ASSERT_TRUE(WaitFor([&] { return DriveRow(quick.letter) >= 0; }, 10s));
  EXPECT_EQ(program_.CellText(DriveList(), DriveRow(quick.letter), 3), u"FAT32");
  EXPECT_NE(narrow(program_.CellText(DriveList(), DriveRow(quick.letter), 1)).find(" GB"), std::string::npos);
  Shot("drives");

  StartScan(quick.letter, false);
  ASSERT_TRUE(WaitResults());
  EXPECT_FALSE(program_.Shown(program_.main(), kDrivePage));
  EXPECT_FALSE(program_.Checked(program_.main(), kCheckAll));
  const std::set<std::u16string> listed = ListedFiles();
  size_t expected = 0, found = 0;
  for (const auto& [path, deleted] : ManifestFiles(quick)) {
    if (!deleted) continue;
    ++expected;
    bool seen = false;
    for (const auto& shown : listed) seen = seen || SamePath(shown, path);
    if (seen) ++found;
    else ADD_FAILURE() << "not listed: " << narrow(path);
  }
  std::printf("FIGURES quick-fat32: %zu of %zu deleted files of the image listed (%zu rows shown)\n", found, expected,
              listed.size());
  EXPECT_GT(expected, 0u);
  // The folder of the first deleted file stays selected for the picture.
  Shot("results");
  ReturnToDrives();

  ASSERT_TRUE(drives_.count("unformat-fat32"));
  const Drive& formatted = drives_["unformat-fat32"];
  StartScan(formatted.letter, true);
  ASSERT_TRUE(WaitResults());
  const std::set<std::u16string> recovered = ListedFiles();
  size_t files = 0, named = 0;
  for (const auto& [path, deleted] : ManifestFiles(formatted)) {
    (void)deleted;
    ++files;
    const std::u16string name = path.substr(path.find_last_of(u'\\') + 1);
    for (const auto& shown : recovered) {
      if (shown.size() >= name.size() && SamePath(shown.substr(shown.size() - name.size()), name)) {
        ++named;
        break;
      }
    }
  }
  std::printf("FIGURES unformat-fat32: %zu of %zu files of the image found by name (%zu rows shown)\n", named, files,
              recovered.size());
  EXPECT_GT(named, files / 2);
  Shot("unformat-results");
  ReturnToDrives();
}

TEST_F(ProgramTest, QuickScanOfExfat) { CheckQuickScan("quick-exfat", "exfat-results"); }
TEST_F(ProgramTest, QuickScanOfNtfs) { CheckQuickScan("quick-ntfs", "ntfs-results"); }

// Stop ends the dialog at once and leaves the drive page; Pause holds the
// counters and the animation until Continue.
TEST_F(ProgramTest, PauseFreezesAndStopLeavesTheDrivePage) {
  ASSERT_TRUE(drives_.count("large"));
  ASSERT_TRUE(program_.Start(ProgramPath()));
  StartScan(drives_["large"].letter, true);
  HWND progress = program_.WaitLayout(kProgressLayout, 20s);
  ASSERT_NE(progress, nullptr);
  std::this_thread::sleep_for(700ms);
  Shot("progress");

  program_.Click(progress, kPause);
  ASSERT_TRUE(WaitFor([&] { return program_.Text(progress, kPauseText) == u"Continue"; }, 5s));
  std::this_thread::sleep_for(300ms);
  const auto frozen = [&] {
    return narrow(program_.Text(progress, kFolders) + u"/" + program_.Text(progress, kFiles) + u"/" +
                  program_.Attribute(progress, kAnimation, "sub") + u"/" + program_.Attribute(progress, kBar, "value"));
  };
  const std::string before = frozen();
  std::this_thread::sleep_for(800ms);
  EXPECT_EQ(frozen(), before) << "paused, yet the figures moved";
  Shot("paused");
  program_.Click(progress, kPause);
  ASSERT_TRUE(WaitFor([&] { return program_.Text(progress, kPauseText) == u"Pause"; }, 5s));
  EXPECT_TRUE(WaitFor([&] { return frozen() != before; }, 5s)) << "continued, yet nothing moves";

  program_.Click(progress, kStop);
  EXPECT_TRUE(WaitFor([&] { return program_.FindLayout(kProgressLayout) == nullptr; }, 2s)) << "Stop did not end it";
  EXPECT_TRUE(program_.Shown(program_.main(), kDrivePage));
  EXPECT_FALSE(program_.Shown(program_.main(), kResultsPage));
  // The buttons tell while the stopped worker is still inside the engine,
  // and come back once it is out.
  HWND quick = program_.FindLayout(kQuickButtonLayout);
  ASSERT_NE(quick, nullptr);
  std::printf("after Stop the Quick Scan button says: %s\n", narrow(program_.Text(quick, kQuickText)).c_str());
  EXPECT_TRUE(WaitFor([&] { return program_.Text(quick, kQuickText) == u"Quick Scan"; }, 60s));
}

TEST_F(ProgramTest, SecondStartRaisesTheFirstAndExits) {
  ASSERT_TRUE(program_.Start(ProgramPath()));
  ShowWindow(program_.main(), SW_MINIMIZE);
  ASSERT_TRUE(WaitFor([&] { return IsIconic(program_.main()) != FALSE; }, 5s));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION second{};
  std::wstring line = L"\"" + ProgramPath() + L"\"";
  ASSERT_TRUE(CreateProcessW(ProgramPath().c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             ExecutableDirectory().c_str(), &si, &second));
  EXPECT_EQ(WaitForSingleObject(second.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(second.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(second.hProcess);
  CloseHandle(second.hThread);
  EXPECT_TRUE(WaitFor([&] { return IsIconic(program_.main()) == FALSE; }, 5s)) << "the first copy stayed minimised";
}

TEST_F(ProgramTest, GermanSettingShowsGermanTexts) {
  const std::wstring settings = ExecutableDirectory() + L"\\setting.ini";
  ASSERT_TRUE(WritePrivateProfileStringW(L"Salvor", L"Language", L"Deutsch", settings.c_str()));
  ASSERT_TRUE(program_.Start(ProgramPath()));
  EXPECT_EQ(program_.Text(program_.main(), kRefreshText), u"Laufwerksliste aktualisieren");
  HWND quick = program_.FindLayout(kQuickButtonLayout);
  ASSERT_NE(quick, nullptr);
  EXPECT_EQ(program_.Text(quick, kQuickText), u"Schnellsuche");
  Shot("german");
  program_.Close();
  // Back to English for whoever starts the program next.
  WritePrivateProfileStringW(L"Salvor", L"Language", L"English", settings.c_str());
}

}  // namespace
}  // namespace salvor::testing
