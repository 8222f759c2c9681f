// Recovery through Salvor.exe under Wine, as a user does it: scan a real
// volume (program_test.sh maps them), tick the deleted files' root in the
// folder tree, click Recover, walk the folder dialog to a folder on drive D:
// and let the run finish. What comes back is compared with what the fixture
// wrote (SHA-256 from its manifest) and with the times The Sleuth Kit reads
// from the image (<manifest>.times, a body file).
#include <gtest/gtest.h>

#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/win/program/remote_window.h"
#include "tests/win/win_test_paths.h"

namespace salvor::testing {
namespace {

using namespace std::chrono_literals;

constexpr unsigned kQuickButtonLayout = 104, kConfirmLayout = 108, kProgressLayout = 109, kFormatButtonLayout = 111,
                   kFolderLayout = 113, kNoticeLayout = 114;
constexpr int kResultsPage = 253, kYes = 170, kDriveList = 2000, kDeletedTree = 10004, kResultList = 2001;
constexpr int kQuickClick = 202, kFormatClick = 888, kRecover = 204, kStatus = 3000;
constexpr int kDetailsLink = 3004, kFailedList = 2002, kFailedClose = 170;
constexpr unsigned kFailedLayout = 115;
constexpr int kFolderTree = 144, kFolderYes = 210, kFolderNo = 211, kNoticeText = 107, kNoticeFirst = 170,
              kNoticeSecond = 171;
constexpr int kPause = 212, kPauseText = 144, kStop = 213, kWritten = 106, kFilesDone = 105, kBar = 1600;
constexpr COLORREF kHeaderColour = RGB(0x1E, 0x2A, 0x3A);

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}
std::u16string from_utf8(const std::string& text) {
  std::wstring out(text.size() + 1, L'\0');
  out.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                     out.data(), static_cast<int>(out.size()))));
  return reinterpret_cast<const char16_t*>(out.c_str());
}
std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}
std::wstring wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
std::u16string u16(const std::wstring& text) { return reinterpret_cast<const char16_t*>(text.c_str()); }
std::u16string lower(std::u16string text) {
  for (char16_t& c : text)
    if (c < 0x80) c = static_cast<char16_t>(std::towlower(c));
  return text;
}

// Relative paths ("Docs\a.txt") that name the same file: equal but for the
// case of ASCII letters and the first character of the name (a deleted
// short-name entry loses it; the engine writes what it reads).
bool SameRelative(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  const size_t name_at = b.find_last_of(u'\\') + 1;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i] || i == name_at) continue;
    if (a[i] < 0x80 && b[i] < 0x80 && std::towlower(a[i]) == std::towlower(b[i])) continue;
    return false;
  }
  return true;
}
std::u16string NameOf(const std::u16string& relative) { return relative.substr(relative.find_last_of(u'\\') + 1); }

struct Drive {
  std::string letter, role, manifest;
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

// A file the fixture wrote, with what should come back.
struct Expected {
  std::u16string relative;  // "Docs\a.txt"
  std::string sha256;
  bool deleted = false;
  bool whole = true;  // its data is still there in one piece to be read
  long long mtime = -1;  // seconds since 1970 as TSK reads it; -1 unknown
};

std::vector<Expected> ReadManifest(const Drive& drive, bool ntfs) {
  std::vector<Expected> files;
  std::ifstream in(drive.manifest);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    if (f.size() < 5 || f[0] != "file") continue;
    Expected e;
    for (char& c : f[1]) if (c == '/') c = '\\';
    e.relative = from_utf8(f[1]);
    e.deleted = f[2] == "1";
    e.sha256 = f[4];
    const bool fragmented = f.size() > 5 && f[5] == "1";
    const bool reused = f.size() > 6 && f[6] == "0";
    // A deleted FAT or exFAT file lost its chain: only one run comes back.
    e.whole = !reused && (ntfs || !fragmented || !e.deleted);
    files.push_back(std::move(e));
  }
  // Times: "md5|/path (deleted)|inode|mode|uid|gid|size|atime|mtime|ctime|crtime".
  std::string times_path = drive.manifest;
  times_path = times_path.substr(0, times_path.size() - 4) + ".times";
  std::ifstream times(times_path);
  while (std::getline(times, line)) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '|');) f.push_back(field);
    if (f.size() < 9) continue;
    std::string path = f[1];
    if (path.size() > 10 && path.compare(path.size() - 10, 10, " (deleted)") == 0) path.resize(path.size() - 10);
    if (path.find("($FILE_NAME)") != std::string::npos || path.find(':') != std::string::npos) continue;
    if (!path.empty() && path[0] == '/') path.erase(0, 1);
    for (char& c : path) if (c == '/') c = '\\';
    const std::u16string relative = from_utf8(path);
    for (Expected& e : files)
      if (e.mtime < 0 && SameRelative(relative, e.relative)) e.mtime = std::atoll(f[8].c_str());
  }
  return files;
}

std::string Sha256(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "unreadable";
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::string hex;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
      BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0) {
    std::vector<unsigned char> buffer(1 << 20);
    DWORD got = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0)
      BCryptHashData(hash, buffer.data(), got, 0);
    unsigned char digest[32];
    if (BCryptFinishHash(hash, digest, sizeof digest, 0) == 0) {
      char two[3];
      for (unsigned char b : digest) {
        std::snprintf(two, sizeof two, "%02x", b);
        hex += two;
      }
    }
  }
  if (hash) BCryptDestroyHash(hash);
  if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
  CloseHandle(file);
  return hex;
}

// A recovered file: its path below the destination and its times.
struct Recovered {
  std::u16string relative;
  std::wstring path;
  long long mtime = 0;
};

void ListFiles(const std::wstring& dir, const std::u16string& prefix, std::vector<Recovered>& out) {
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::u16string relative = prefix.empty() ? u16(name) : prefix + u"\\" + u16(name);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(dir + L"\\" + name, relative, out);
      continue;
    }
    ULARGE_INTEGER t{};
    t.LowPart = data.ftLastWriteTime.dwLowDateTime;
    t.HighPart = data.ftLastWriteTime.dwHighDateTime;
    out.push_back({relative, dir + L"\\" + name, static_cast<long long>(t.QuadPart / 10000000ULL) - 11644473600LL});
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

class RecoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drives_ = Drives();
    std::string shots = env("SALVOR_SCREENSHOTS");
    shots_ = std::wstring(shots.begin(), shots.end());
    if (drives_.empty() || !drives_.count("destination")) GTEST_SKIP() << "no drives mapped (SALVOR_PROGRAM_DRIVES)";
  }

  void Shot(const std::string& name, HWND window) {
    if (shots_.empty() || window == nullptr) return;
    std::this_thread::sleep_for(300ms);
    const std::wstring path = shots_ + L"\\program-" + std::wstring(name.begin(), name.end()) + L".bmp";
    ASSERT_TRUE(CaptureWindow(window, path)) << name;
    CaptureStats stats;
    ASSERT_TRUE(ReadCapture(path, stats)) << name;
    EXPECT_GT(stats.distinct_colours, 20u) << name << ": a blank picture";
    EXPECT_GT(stats.Near(kHeaderColour, 6), 5000u) << name << ": the header is not there";
  }

  // Selects the drive, clicks a scan button, confirms and waits for the
  // results page.
  void Scan(const std::string& letter, bool unformat) {
    HWND list = program_.Control(program_.main(), kDriveList);
    const std::u16string name = from_utf8(letter + ":");
    int row = -1;
    ASSERT_TRUE(WaitFor([&] {
      for (int r = 0; r < program_.RowCount(list); ++r)
        if (program_.CellText(list, r, 0) == name) row = r;
      return row >= 0;
    }, 10s)) << letter << ": no drive row";
    ASSERT_TRUE(program_.SelectRow(list, row));
    HWND button = program_.FindLayout(unformat ? kFormatButtonLayout : kQuickButtonLayout);
    ASSERT_NE(button, nullptr);
    program_.Click(button, unformat ? kFormatClick : kQuickClick);
    HWND confirm = program_.WaitLayout(kConfirmLayout, 10s);
    ASSERT_NE(confirm, nullptr) << "no confirmation";
    program_.Click(confirm, kYes);
    ASSERT_TRUE(WaitFor([&] { return program_.Shown(program_.main(), kResultsPage); }, 180s)) << "no results";
  }

  // The files the deleted tree lists, every node visited; then the root's
  // check box ticked (selected, then the space bar).
  size_t TickDeletedRoot() {
    HWND tree = program_.Control(program_.main(), kDeletedTree);
    HWND list = program_.Control(program_.main(), kResultList);
    std::set<std::u16string> files;
    for (const auto& node : program_.TreeItems(tree)) {
      program_.ClickTreeItem(tree, node.item);
      for (int row = 0; row < program_.RowCount(list); ++row) files.insert(program_.CellText(list, row, 1));
    }
    const auto roots = program_.TreeChildren(tree, nullptr);
    if (roots.empty()) return 0;
    program_.ClickTreeItem(tree, roots[0].item);
    PostMessageW(tree, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(WaitFor([&] {
      const auto state = SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(roots[0].item), TVIS_STATEIMAGEMASK);
      return ((state & TVIS_STATEIMAGEMASK) >> 12) == 2;
    }, 5s)) << "the root did not take the check";
    return files.size();
  }

  // The child of `parent` whose text `matches`, once its listing shows it.
  HTREEITEM WaitChild(HWND tree, HTREEITEM parent, const std::function<bool(const std::u16string&)>& matches) {
    HTREEITEM found = nullptr;
    WaitFor([&] {
      for (const auto& child : program_.TreeChildren(tree, parent))
        if (matches(child.path)) found = child.item;
      return found != nullptr;
    }, 15s);
    return found;
  }

  // Opens (user-style: selected, then the right arrow) and waits for it.
  void Open(HWND tree, HTREEITEM item) {
    program_.ClickTreeItem(tree, item);
    PostMessageW(tree, WM_KEYDOWN, VK_RIGHT, 0);
  }

  // In the folder dialog: Computer, the drive `letter`, then each folder of
  // `folders` in turn; the last one is left selected.
  bool PickFolder(HWND dialog, const std::string& letter, const std::vector<std::u16string>& folders) {
    HWND tree = program_.Control(dialog, kFolderTree);
    if (tree == nullptr) return false;
    const auto roots = program_.TreeChildren(tree, nullptr);
    if (roots.empty()) return false;
    HTREEITEM computer = WaitChild(tree, roots[0].item, [](const std::u16string& text) {
      return lower(text).find(u"computer") != std::u16string::npos;
    });
    if (computer == nullptr) return false;
    const std::u16string drive = lower(from_utf8(letter + ":"));
    HTREEITEM item = WaitChild(tree, computer, [&](const std::u16string& text) {
      return lower(text).find(drive) != std::u16string::npos;
    });
    if (item == nullptr) return false;
    for (const std::u16string& folder : folders) {
      Open(tree, item);
      item = WaitChild(tree, item, [&](const std::u16string& text) { return text == folder; });
      if (item == nullptr) return false;
    }
    return program_.ClickTreeItem(tree, item);
  }

  // The whole flow for one volume: scan, tick, recover into D:\<role>, and
  // check what came back.
  void RecoverDeleted(const std::string& role, bool unformat, const std::string& shot_prefix = "") {
    if (!drives_.count(role)) GTEST_SKIP() << role << " not mapped";
    const Drive& drive = drives_[role];
    const bool ntfs = role.find("ntfs") != std::string::npos;
    const std::u16string folder = from_utf8(role);
    const std::wstring destination = L"D:\\" + wide(folder);
    ASSERT_TRUE(CreateDirectoryW(destination.c_str(), nullptr)) << "D:\\" << role;

    ASSERT_TRUE(program_.Start(ExecutableDirectory() + L"\\Salvor.exe"));
    Scan(drive.letter, unformat);
    if (HasFatalFailure()) return;
    const size_t ticked = TickDeletedRoot();
    if (!shot_prefix.empty()) Shot(shot_prefix + "ticked", program_.main());
    program_.Click(program_.main(), kRecover);
    HWND browse = program_.WaitLayout(kFolderLayout, 10s);
    ASSERT_NE(browse, nullptr) << "no folder dialog";
    ASSERT_TRUE(PickFolder(browse, "D", {folder})) << "D:\\" << role << " not found in the folder dialog";
    if (!shot_prefix.empty()) Shot(shot_prefix + "folder", browse);
    program_.Click(browse, kFolderYes);
    EXPECT_TRUE(WaitFor([&] {
      return program_.FindLayout(kFolderLayout) == nullptr && program_.FindLayout(kProgressLayout) == nullptr &&
             !program_.Text(program_.main(), kStatus).empty();
    }, 120s)) << "the run did not end";
    const std::u16string status = program_.Text(program_.main(), kStatus);
    if (!shot_prefix.empty()) Shot(shot_prefix + "done", program_.main());

    std::vector<Recovered> recovered;
    ListFiles(destination, u"", recovered);
    std::vector<Expected> expected = ReadManifest(drive, ntfs);
    size_t wanted = 0, exact = 0, dated = 0, dates_checked = 0;
    for (const Expected& e : expected) {
      // A Quick Scan brings back the deleted files; an Unformatting Scan
      // every file the old file system had, found by name.
      if ((!unformat && !e.deleted) || !e.whole) continue;
      ++wanted;
      const Recovered* match = nullptr;
      for (const Recovered& r : recovered) {
        const bool same = unformat ? SameRelative(lower(NameOf(r.relative)), lower(NameOf(e.relative)))
                                   : SameRelative(r.relative, e.relative);
        if (!same) continue;
        if (Sha256(r.path) == e.sha256) {
          match = &r;
          break;
        }
      }
      if (match == nullptr) {
        // An Unformatting Scan need not find every old file (checked below
        // for what it does bring back).
        if (!unformat) ADD_FAILURE() << role << ": not recovered whole: " << narrow(e.relative);
        continue;
      }
      ++exact;
      if (e.mtime < 0) continue;
      ++dates_checked;
      // FAT keeps two seconds, TSK and the system whole ones.
      if (std::llabs(match->mtime - e.mtime) <= 1) ++dated;
      else ADD_FAILURE() << role << ": " << narrow(e.relative) << " dated " << match->mtime << ", not " << e.mtime;
    }
    // What an Unformatting Scan brings back under an old name is one of the
    // files that had that name, where all of them are still whole.
    for (const Recovered& r : unformat ? recovered : std::vector<Recovered>{}) {
      bool named = false, all_whole = true, same = false;
      const std::string digest = Sha256(r.path);
      for (const Expected& e : expected) {
        if (!SameRelative(lower(NameOf(r.relative)), lower(NameOf(e.relative)))) continue;
        named = true;
        all_whole = all_whole && e.whole;
        same = same || digest == e.sha256;
      }
      if (named && all_whole && !same) ADD_FAILURE() << role << ": wrong content under " << narrow(r.relative);
    }
    std::printf("FIGURES %s: %zu files ticked, %zu recovered, %zu of %zu expected byte-exact, dates kept %zu of %zu; "
                "status: %s\n",
                role.c_str(), ticked, recovered.size(), exact, wanted, dated, dates_checked, narrow(status).c_str());
    EXPECT_GT(wanted, 0u);
    EXPECT_GT(exact, 0u);
    if (unformat) {
      EXPECT_GT(exact * 2, wanted) << "fewer than half of the old files came back";
    }
    EXPECT_GT(dates_checked, 0u);
    EXPECT_NE(status.find(u"recovered"), std::u16string::npos) << narrow(status);
    program_.Close();
  }

  RemoteProgram program_;
  std::map<std::string, Drive> drives_;
  std::wstring shots_;
};

TEST_F(RecoveryTest, DeletedFilesOfFat16ComeBackWhole) { RecoverDeleted("quick-fat16", false); }
TEST_F(RecoveryTest, DeletedFilesOfFat32ComeBackWhole) { RecoverDeleted("quick-fat32", false, "recover-"); }
TEST_F(RecoveryTest, DeletedFilesOfExfatComeBackWhole) { RecoverDeleted("quick-exfat", false); }
TEST_F(RecoveryTest, DeletedFilesOfNtfsComeBackWhole) { RecoverDeleted("quick-ntfs", false); }
TEST_F(RecoveryTest, FilesOfQuickFormattedFat32ComeBackWhole) { RecoverDeleted("unformat-fat32", true); }
TEST_F(RecoveryTest, FilesOfQuickFormattedNtfsComeBackWhole) { RecoverDeleted("unformat-ntfs", true); }

// Nothing ticked: the status line says so and no dialog opens. A folder on
// the scanned drive: the warning, then (insisting) the second
// question; choosing another folder comes back to the folder dialog, and
// nothing is written.
TEST_F(RecoveryTest, DestinationOnTheScannedDriveIsWarnedAbout) {
  if (!drives_.count("quick-fat32")) GTEST_SKIP();
  const Drive& drive = drives_["quick-fat32"];
  ASSERT_TRUE(program_.Start(ExecutableDirectory() + L"\\Salvor.exe"));
  Scan(drive.letter, false);
  if (HasFatalFailure()) return;
  program_.Click(program_.main(), kRecover);
  EXPECT_TRUE(WaitFor([&] {
    return program_.Text(program_.main(), kStatus) == u"You haven't selected the files you want to recover .";
  }, 5s)) << narrow(program_.Text(program_.main(), kStatus));
  EXPECT_EQ(program_.FindLayout(kFolderLayout), nullptr);
  Shot("recover-nothing-selected", program_.main());

  TickDeletedRoot();
  program_.Click(program_.main(), kRecover);
  HWND browse = program_.WaitLayout(kFolderLayout, 10s);
  ASSERT_NE(browse, nullptr);
  ASSERT_TRUE(PickFolder(browse, drive.letter, {}));
  program_.Click(browse, kFolderYes);
  HWND warning = program_.WaitLayout(kNoticeLayout, 10s);
  ASSERT_NE(warning, nullptr) << "no warning";
  EXPECT_NE(program_.Text(warning, kNoticeText).find(u"drive being recovered"), std::u16string::npos)
      << narrow(program_.Text(warning, kNoticeText));
  Shot("recover-warning", warning);
  // Choose another folder: the folder dialog again; No ends it all.
  program_.Click(warning, kNoticeFirst);
  browse = program_.WaitLayout(kFolderLayout, 10s);
  ASSERT_NE(browse, nullptr) << "choosing another folder did not come back to the folder dialog";
  ASSERT_TRUE(PickFolder(browse, drive.letter, {}));
  program_.Click(browse, kFolderYes);
  warning = program_.WaitLayout(kNoticeLayout, 10s);
  ASSERT_NE(warning, nullptr);
  // Recover here anyway: asked a second time.
  program_.Click(warning, kNoticeSecond);
  ASSERT_TRUE(WaitFor([&] {
    HWND again = program_.FindLayout(kNoticeLayout);
    return again != nullptr && program_.Text(again, kNoticeText).find(u"all the same") != std::u16string::npos;
  }, 10s)) << "no second question";
  HWND again = program_.FindLayout(kNoticeLayout);
  Shot("recover-warning-again", again);
  program_.Click(again, kNoticeFirst);
  browse = program_.WaitLayout(kFolderLayout, 10s);
  ASSERT_NE(browse, nullptr);
  program_.Click(browse, kFolderNo);
  EXPECT_TRUE(WaitFor([&] { return program_.FindLayout(kFolderLayout) == nullptr; }, 5s));
  EXPECT_EQ(program_.FindLayout(kProgressLayout), nullptr) << "a run started";
  std::vector<Recovered> written;
  ListFiles(std::wstring(drive.letter.begin(), drive.letter.end()) + L":", u"", written);
  EXPECT_TRUE(written.empty()) << "files were written to the scanned drive";

  // Insisting twice recovers there. (Drive P:'s folder is not the image:
  // under Wine the volume is read from the image, the folder only makes
  // the drive exist, so this writes nothing that is being recovered.)
  program_.Click(program_.main(), kRecover);
  browse = program_.WaitLayout(kFolderLayout, 10s);
  ASSERT_NE(browse, nullptr);
  ASSERT_TRUE(PickFolder(browse, drive.letter, {}));
  program_.Click(browse, kFolderYes);
  warning = program_.WaitLayout(kNoticeLayout, 10s);
  ASSERT_NE(warning, nullptr);
  program_.Click(warning, kNoticeSecond);
  ASSERT_TRUE(WaitFor([&] {
    HWND second = program_.FindLayout(kNoticeLayout);
    return second != nullptr && program_.Text(second, kNoticeText).find(u"all the same") != std::u16string::npos;
  }, 10s));
  program_.Click(program_.FindLayout(kNoticeLayout), kNoticeSecond);
  EXPECT_TRUE(WaitFor([&] {
    return program_.FindLayout(kNoticeLayout) == nullptr && program_.FindLayout(kProgressLayout) == nullptr &&
           !program_.Text(program_.main(), kStatus).empty();
  }, 60s));
  EXPECT_EQ(program_.Text(program_.main(), kStatus), u"All the files selected have  been recovered. ");
  ListFiles(std::wstring(drive.letter.begin(), drive.letter.end()) + L":", u"", written);
  EXPECT_FALSE(written.empty()) << "insisting twice wrote nothing";
  for (const Recovered& file : written) DeleteFileW(file.path.c_str());
}

// Pause holds the run once the file under way is written; Continue
// finishes it, and both large files come back byte for byte.
TEST_F(RecoveryTest, PauseHoldsTheRunBetweenFilesAndContinueFinishesIt) {
  if (!drives_.count("big-fat32")) GTEST_SKIP();
  const Drive& drive = drives_["big-fat32"];
  const std::wstring destination = L"D:\\big-paused";
  ASSERT_TRUE(CreateDirectoryW(destination.c_str(), nullptr));
  ASSERT_TRUE(program_.Start(ExecutableDirectory() + L"\\Salvor.exe"));
  Scan(drive.letter, false);
  if (HasFatalFailure()) return;
  TickDeletedRoot();
  program_.Click(program_.main(), kRecover);
  HWND browse = program_.WaitLayout(kFolderLayout, 10s);
  ASSERT_NE(browse, nullptr);
  ASSERT_TRUE(PickFolder(browse, "D", {u"big-paused"}));
  program_.Click(browse, kFolderYes);
  HWND progress = program_.WaitLayout(kProgressLayout, 10s);
  ASSERT_NE(progress, nullptr) << "no progress dialog";
  const auto bar = [&] { return std::atoi(narrow(program_.Attribute(progress, kBar, "value")).c_str()); };
  ASSERT_TRUE(WaitFor([&] { return bar() >= 3; }, 60s)) << "the bar does not move";
  program_.Click(progress, kPause);
  ASSERT_TRUE(WaitFor([&] { return program_.Text(progress, kPauseText) == u"Continue"; }, 5s));
  ASSERT_TRUE(WaitFor([&] { return program_.Text(progress, kFilesDone) == u"1 of 2"; }, 60s))
      << narrow(program_.Text(progress, kFilesDone));
  std::this_thread::sleep_for(1s);
  const std::u16string held = program_.Text(progress, kWritten) + u"/" + program_.Attribute(progress, kBar, "value");
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(program_.Text(progress, kWritten) + u"/" + program_.Attribute(progress, kBar, "value"), held)
      << "paused, yet the run went on";
  std::printf("FIGURES big-fat32 paused: %s\n", narrow(held).c_str());
  Shot("recover-paused", progress);
  const std::vector<Expected> expected = ReadManifest(drive, false);
  std::vector<Recovered> written;
  ListFiles(destination, u"", written);
  ASSERT_EQ(written.size(), 1u) << "paused, yet the second file was started";
  const std::string first = Sha256(written[0].path);
  EXPECT_TRUE(first == expected.at(0).sha256 || first == expected.at(1).sha256) << "the first file is not whole";

  program_.Click(progress, kPause);
  EXPECT_TRUE(WaitFor([&] {
    return program_.FindLayout(kProgressLayout) == nullptr && !program_.Text(program_.main(), kStatus).empty();
  }, 120s)) << "the run did not end";
  EXPECT_EQ(program_.Text(program_.main(), kStatus), u"All the files selected have  been recovered. ");
  written.clear();
  ListFiles(destination, u"", written);
  ASSERT_EQ(written.size(), 2u);
  std::set<std::string> digests{Sha256(written[0].path), Sha256(written[1].path)};
  EXPECT_EQ(digests, (std::set<std::string>{expected.at(0).sha256, expected.at(1).sha256}))
      << "the large files did not come back byte for byte";
}

// A large file: the bar follows the bytes written with the time left;
// Stop ends the dialog at once, inside the file, and leaves no part of it.
TEST_F(RecoveryTest, StopActsWithinALargeFile) {
  if (!drives_.count("big-fat32")) GTEST_SKIP();
  const Drive& drive = drives_["big-fat32"];
  const std::wstring destination = L"D:\\big-fat32";
  ASSERT_TRUE(CreateDirectoryW(destination.c_str(), nullptr));
  ASSERT_TRUE(program_.Start(ExecutableDirectory() + L"\\Salvor.exe"));
  Scan(drive.letter, false);
  if (HasFatalFailure()) return;
  TickDeletedRoot();
  program_.Click(program_.main(), kRecover);
  HWND browse = program_.WaitLayout(kFolderLayout, 10s);
  ASSERT_NE(browse, nullptr);
  ASSERT_TRUE(PickFolder(browse, "D", {u"big-fat32"}));
  program_.Click(browse, kFolderYes);
  HWND progress = program_.WaitLayout(kProgressLayout, 10s);
  ASSERT_NE(progress, nullptr) << "no progress dialog";
  const auto bar = [&] { return std::atoi(narrow(program_.Attribute(progress, kBar, "value")).c_str()); };
  ASSERT_TRUE(WaitFor([&] { return bar() >= 3; }, 60s)) << "the bar does not move";
  // Stop goes at once: a fast machine writes both files in under a second
  // (the paused run's screenshot shows this dialog at rest).
  const std::u16string written = program_.Text(progress, kWritten);
  const int at_stop = bar();
  program_.Click(progress, kStop);
  std::printf("FIGURES big-fat32: bar %d, written: %s\n", at_stop, narrow(written).c_str());
  EXPECT_NE(written.find(u" of "), std::u16string::npos) << narrow(written);
  EXPECT_LT(at_stop, 100);
  EXPECT_TRUE(WaitFor([&] { return program_.FindLayout(kProgressLayout) == nullptr; }, 3s)) << "Stop did not end it";
  ASSERT_TRUE(WaitFor([&] {
    return program_.Text(program_.main(), kStatus).find(u"stopped") != std::u16string::npos;
  }, 30s)) << narrow(program_.Text(program_.main(), kStatus));
  std::printf("FIGURES big-fat32: after Stop: %s\n", narrow(program_.Text(program_.main(), kStatus)).c_str());
  Shot("recover-stopped", program_.main());
  // The file being written when Stop landed is removed; one that was
  // finished before (a slow machine may finish the first file before the
  // click arrives) stays, whole. The run never gets to the end.
  const std::vector<Expected> expected = ReadManifest(drive, false);
  std::vector<Recovered> left;
  ListFiles(destination, u"", left);
  EXPECT_LT(left.size(), 2u) << "Stop did not stop the run";
  for (const Recovered& file : left) {
    const std::string digest = Sha256(file.path);
    EXPECT_TRUE(digest == expected.at(0).sha256 || digest == expected.at(1).sha256)
        << "a part of the stopped file stayed: " << narrow(file.relative);
  }
}

// The visible context menu of the program, or null.
HWND ProgramMenu(DWORD pid) {
  struct Search {
    DWORD pid;
    HWND found;
  } search{pid, nullptr};
  EnumWindows(
      [](HWND window, LPARAM lp) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(lp);
        wchar_t name[16] = {};
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s.pid && IsWindowVisible(window) && GetClassNameW(window, name, 16) && wcscmp(name, L"#32768") == 0) {
          s.found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// "&Recover This One" from a row's context menu recovers that file alone,
// whatever else is ticked.
TEST_F(RecoveryTest, RecoverThisOneTakesTheRow) {
  if (!drives_.count("quick-ntfs")) GTEST_SKIP();
  const Drive& drive = drives_["quick-ntfs"];
  const std::wstring destination = L"D:\\one";
  ASSERT_TRUE(CreateDirectoryW(destination.c_str(), nullptr));
  ASSERT_TRUE(program_.Start(ExecutableDirectory() + L"\\Salvor.exe"));
  Scan(drive.letter, false);
  if (HasFatalFailure()) return;
  TickDeletedRoot();  // ticked, yet the menu takes one row
  HWND tree = program_.Control(program_.main(), kDeletedTree);
  HWND list = program_.Control(program_.main(), kResultList);
  program_.ClickTreeItem(tree, program_.TreeChildren(tree, nullptr).at(0).item);
  ASSERT_GT(program_.RowCount(list), 0);
  const std::u16string name = program_.CellText(list, 0, 0);
  RECT header{};
  GetWindowRect(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)), &header);
  POINT at{60, header.bottom - header.top + 9};
  POINT screen = at;
  ClientToScreen(list, &screen);
  SetCursorPos(screen.x, screen.y);
  PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
  PostMessageW(list, WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
  HWND menu = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (menu = ProgramMenu(program_.pid())) != nullptr; }, 5s)) << "no context menu";
  Shot("recover-menu", program_.main());
  PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
  HWND browse = program_.WaitLayout(kFolderLayout, 10s);
  ASSERT_NE(browse, nullptr) << "the menu did not start a recovery";
  ASSERT_TRUE(PickFolder(browse, "D", {u"one"}));
  program_.Click(browse, kFolderYes);
  EXPECT_TRUE(WaitFor([&] {
    return program_.FindLayout(kFolderLayout) == nullptr && program_.FindLayout(kProgressLayout) == nullptr &&
           !program_.Text(program_.main(), kStatus).empty();
  }, 60s));
  std::vector<Recovered> recovered;
  ListFiles(destination, u"", recovered);
  ASSERT_EQ(recovered.size(), 1u);
  EXPECT_EQ(NameOf(recovered[0].relative), name);
}

// A destination that fails during the run (it runs out of inodes): the
// status line says the run stopped and how many files failed, and Details
// lists them with the reason.
TEST_F(RecoveryTest, FailedFilesAreCountedAndListed) {
  if (!drives_.count("quick-fat32") || !drives_.count("tight-destination")) GTEST_SKIP();
  const Drive& drive = drives_["quick-fat32"];
  const std::string tight = drives_["tight-destination"].letter;
  ASSERT_TRUE(program_.Start(ExecutableDirectory() + L"\\Salvor.exe"));
  Scan(drive.letter, false);
  if (HasFatalFailure()) return;
  TickDeletedRoot();
  program_.Click(program_.main(), kRecover);
  HWND browse = program_.WaitLayout(kFolderLayout, 10s);
  ASSERT_NE(browse, nullptr);
  ASSERT_TRUE(PickFolder(browse, tight, {}));
  program_.Click(browse, kFolderYes);
  ASSERT_TRUE(WaitFor([&] { return program_.Shown(program_.main(), kDetailsLink); }, 60s))
      << "no Details link; status: " << narrow(program_.Text(program_.main(), kStatus));
  const std::u16string status = program_.Text(program_.main(), kStatus);
  std::printf("FIGURES tight-destination: %s\n", narrow(status).c_str());
  EXPECT_NE(status.find(u"stopped"), std::u16string::npos) << narrow(status);
  EXPECT_NE(status.find(u" failed."), std::u16string::npos) << narrow(status);
  Shot("recover-failed", program_.main());
  program_.Click(program_.main(), kDetailsLink);
  HWND details = program_.WaitLayout(kFailedLayout, 10s);
  ASSERT_NE(details, nullptr) << "Details opened nothing";
  HWND list = program_.Control(details, kFailedList);
  ASSERT_GT(program_.RowCount(list), 0);
  EXPECT_FALSE(program_.CellText(list, 0, 0).empty());
  EXPECT_FALSE(program_.CellText(list, 0, 1).empty());
  std::printf("FIGURES tight-destination: failed %s: %s\n", narrow(program_.CellText(list, 0, 0)).c_str(),
              narrow(program_.CellText(list, 0, 1)).c_str());
  Shot("recover-failed-files", details);
  program_.Click(details, kFailedClose);
  EXPECT_TRUE(WaitFor([&] { return program_.FindLayout(kFailedLayout) == nullptr; }, 5s));
}

// A destination without room for the selection is told before anything is
// written; Cancel starts no run.
TEST_F(RecoveryTest, TooLittleRoomIsToldBeforeTheRun) {
  if (!drives_.count("big-fat32") || !drives_.count("small-destination")) GTEST_SKIP();
  const Drive& drive = drives_["big-fat32"];
  const std::string small = drives_["small-destination"].letter;
  ASSERT_TRUE(program_.Start(ExecutableDirectory() + L"\\Salvor.exe"));
  Scan(drive.letter, false);
  if (HasFatalFailure()) return;
  TickDeletedRoot();
  program_.Click(program_.main(), kRecover);
  HWND browse = program_.WaitLayout(kFolderLayout, 10s);
  ASSERT_NE(browse, nullptr);
  ASSERT_TRUE(PickFolder(browse, small, {}));
  program_.Click(browse, kFolderYes);
  HWND notice = program_.WaitLayout(kNoticeLayout, 10s);
  ASSERT_NE(notice, nullptr) << "no word about the room";
  const std::u16string text = program_.Text(notice, kNoticeText);
  EXPECT_NE(text.find(u"need 400.00 MB"), std::u16string::npos) << narrow(text);
  Shot("recover-no-room", notice);
  program_.Click(notice, kNoticeSecond);
  EXPECT_TRUE(WaitFor([&] { return program_.FindLayout(kNoticeLayout) == nullptr; }, 5s));
  EXPECT_EQ(program_.FindLayout(kProgressLayout), nullptr) << "a run started";
  EXPECT_EQ(program_.FindLayout(kFolderLayout), nullptr);
  std::vector<Recovered> written;
  ListFiles(std::wstring(small.begin(), small.end()) + L":", u"", written);
  EXPECT_TRUE(written.empty());
}

}  // namespace
}  // namespace salvor::testing
