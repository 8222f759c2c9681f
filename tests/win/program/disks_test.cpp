// Disks in the real Salvor.exe under Wine: a disk image that sfdisk
// partitioned, holding the FAT32 and the NTFS volume program_test.sh made,
// is opened through "Open disk image..." and its file dialog, shows one row
// per partition, and a Quick Scan of the NTFS row lists that partition's
// deleted files. The same disk as a physical drive (\\.\PhysicalDrive1,
// which program_test.sh links to the image) is listed by its partitions
// from the start.
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
#include <vector>

#include "tests/win/program/remote_window.h"
#include "tests/win/win_test_paths.h"

namespace salvor::testing {
namespace {

using namespace std::chrono_literals;

constexpr unsigned kQuickButtonLayout = 104, kConfirmLayout = 108;
constexpr int kResultsPage = 253, kDrivePage = 254, kYes = 170, kQuickClick = 202, kReturn = 214;
constexpr int kDriveList = 2000, kResultList = 2001, kDeletedTree = 10004, kOpenImageLink = 206;
// The file name box of the common file dialog (a combo box, or an edit box
// in the old style).
constexpr int kFileNameCombo = 0x47C, kFileNameEdit = 0x480;

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
std::u16string from_utf8(const std::string& text) {
  std::wstring utf16(text.size() + 1, L'\0');
  utf16.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                       utf16.data(), static_cast<int>(utf16.size()))));
  return std::u16string(utf16.begin(), utf16.end());
}
bool EndsWith(const std::u16string& text, std::u16string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// SALVOR_PROGRAM_DRIVES rows by role: the disk image's path, and the
// manifests of the volumes in it.
std::map<std::string, std::string> Roles() {
  std::map<std::string, std::string> roles;
  std::ifstream in(env("SALVOR_PROGRAM_DRIVES"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string letter, role, path;
    std::getline(fields, letter, '\t');
    std::getline(fields, role, '\t');
    std::getline(fields, path, '\t');
    if (!role.empty()) roles[role] = path;
  }
  return roles;
}

// The deleted files of a manifest, as the program shows them under `letter`.
std::vector<std::u16string> DeletedFiles(const std::string& manifest, char16_t letter) {
  std::vector<std::u16string> files;
  std::ifstream in(manifest);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string type, path, deleted;
    std::getline(fields, type, '\t');
    std::getline(fields, path, '\t');
    std::getline(fields, deleted, '\t');
    if (type != "file" || deleted != "1") continue;
    for (char& c : path) if (c == '/') c = '\\';
    files.push_back(std::u16string{letter, u':', u'\\'} + from_utf8(path));
  }
  return files;
}

// The shown path is the manifest's but for a doubled separator after the
// drive, ASCII case, and the first character of a name whose long name
// was lost (FAT).
bool SamePath(std::u16string shown, const std::u16string& expected) {
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

struct FindDialog {
  DWORD pid;
  HWND found;
};
BOOL CALLBACK find_file_dialog(HWND hwnd, LPARAM param) {
  auto* find = reinterpret_cast<FindDialog*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != find->pid || !IsWindowVisible(hwnd)) return TRUE;
  if (GetDlgItem(hwnd, kFileNameCombo) == nullptr && GetDlgItem(hwnd, kFileNameEdit) == nullptr) return TRUE;
  find->found = hwnd;
  return FALSE;
}

class DisksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    roles_ = Roles();
    shots_ = windows_path(env("SALVOR_SCREENSHOTS"));
    if (!roles_.count("disk-image")) GTEST_SKIP() << "no partitioned disk image (needs the NTFS volume: root, FUSE)";
  }
  void TearDown() override { program_.Close(); }

  void Shot(const std::string& name) {
    if (shots_.empty()) return;
    std::this_thread::sleep_for(300ms);
    const std::wstring path = shots_ + L"\\program-" + std::wstring(name.begin(), name.end()) + L".bmp";
    ASSERT_TRUE(CaptureWindow(program_.main(), path)) << name;
    CaptureStats stats;
    ASSERT_TRUE(ReadCapture(path, stats)) << name;
    EXPECT_GT(stats.distinct_colours, 40u) << name << ": a blank picture";
    EXPECT_GT(stats.Near(RGB(0x1E, 0x2A, 0x3A), 6), 5000u) << name << ": the header is not there";
  }

  HWND DriveList() const { return program_.Control(program_.main(), kDriveList); }

  struct Row {
    int row;
    std::u16string name, capacity, format;
  };
  // The drive rows of partitions ("Y: partition 2"), of the physical drive
  // ("Y: disk 1 #2") or of the opened image.
  std::vector<Row> PartitionRows(bool physical) const {
    std::vector<Row> rows;
    for (int r = 0; r < program_.RowCount(DriveList()); ++r) {
      const std::u16string name = program_.CellText(DriveList(), r, 0);
      const bool of_disk = name.find(u" disk 1 #") != std::u16string::npos;
      if (of_disk != physical || (!of_disk && name.find(u" partition ") == std::u16string::npos)) continue;
      rows.push_back({r, name, program_.CellText(DriveList(), r, 1), program_.CellText(DriveList(), r, 3)});
    }
    return rows;
  }

  // Two rows, partition 1 FAT32 and partition 2 NTFS, each with a size.
  void ExpectTheTwoPartitions(const std::vector<Row>& rows) {
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(EndsWith(rows[0].name, u"1")) << narrow(rows[0].name);
    EXPECT_EQ(rows[0].format, u"FAT32");
    EXPECT_TRUE(EndsWith(rows[1].name, u"2")) << narrow(rows[1].name);
    EXPECT_EQ(rows[1].format, u"NTFS");
    for (const Row& row : rows)
      EXPECT_TRUE(EndsWith(row.capacity, u" GB") && row.capacity != u"0.00 GB") << narrow(row.capacity);
  }

  // Quick Scan of a row; every deleted file of the manifest is listed under
  // the row's letter.
  void ScanRow(const Row& row, const std::string& manifest, const std::string& what, const std::string& shot) {
    ASSERT_TRUE(program_.SelectRow(DriveList(), row.row));
    HWND button = program_.FindLayout(kQuickButtonLayout);
    ASSERT_NE(button, nullptr);
    program_.Click(button, kQuickClick);
    HWND confirm = program_.WaitLayout(kConfirmLayout, 10s);
    ASSERT_NE(confirm, nullptr) << "no confirmation";
    program_.Click(confirm, kYes);
    ASSERT_TRUE(WaitFor([&] { return program_.Shown(program_.main(), kResultsPage); }, 120s));

    std::set<std::u16string> listed;
    HWND tree = program_.Control(program_.main(), kDeletedTree);
    HWND list = program_.Control(program_.main(), kResultList);
    for (const auto& node : program_.TreeItems(tree)) {
      program_.ClickTreeItem(tree, node.item);
      for (int r = 0; r < program_.RowCount(list); ++r) listed.insert(program_.CellText(list, r, 1));
    }
    const auto expected = DeletedFiles(manifest, row.name[0]);
    size_t found = 0;
    for (const auto& path : expected) {
      bool seen = false;
      for (const auto& shown : listed) seen = seen || SamePath(shown, path);
      if (seen) ++found;
      else ADD_FAILURE() << what << ": not listed: " << narrow(path);
    }
    std::printf("FIGURES %s: %zu of %zu deleted files of the partition listed (%zu rows shown)\n", what.c_str(), found,
                expected.size(), listed.size());
    EXPECT_GT(expected.size(), 0u);
    Shot(shot);
    program_.Click(program_.main(), kReturn);
    HWND sure = program_.WaitLayout(kConfirmLayout, 10s);
    ASSERT_NE(sure, nullptr);
    program_.Click(sure, kYes);
    EXPECT_TRUE(WaitFor([&] { return program_.Shown(program_.main(), kDrivePage); }, 10s));
  }

  RemoteProgram program_;
  std::map<std::string, std::string> roles_;
  std::wstring shots_;
};

TEST_F(DisksTest, OpenedDiskImageShowsARowPerPartitionAndScansTheNtfsOne) {
  ASSERT_TRUE(program_.Start(ExecutableDirectory() + L"\\Salvor.exe"));
  program_.Click(program_.main(), kOpenImageLink);
  FindDialog find{program_.pid(), nullptr};
  ASSERT_TRUE(WaitFor(
      [&] {
        find.found = nullptr;
        EnumWindows(&find_file_dialog, reinterpret_cast<LPARAM>(&find));
        return find.found != nullptr;
      },
      30s))
      << "no file dialog";
  HWND dialog = find.found;
  HWND name_box = GetDlgItem(dialog, kFileNameCombo);
  if (name_box == nullptr) name_box = GetDlgItem(dialog, kFileNameEdit);
  std::wstring image = windows_path(roles_["disk-image"]);
  for (wchar_t& c : image) if (c == L'/') c = L'\\';
  // Over the middle of the program, for the picture.
  RECT main{};
  GetWindowRect(program_.main(), &main);
  SetWindowPos(dialog, nullptr, main.left + 120, main.top + 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(name_box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(image.c_str()));
  Shot("open-image");
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  ASSERT_TRUE(WaitFor([&] { return IsWindow(dialog) == FALSE || IsWindowVisible(dialog) == FALSE; }, 20s))
      << "the file dialog stayed";

  ASSERT_TRUE(WaitFor([&] { return PartitionRows(false).size() >= 2; }, 20s)) << "no partition rows";
  const auto rows = PartitionRows(false);
  ExpectTheTwoPartitions(rows);
  if (HasFatalFailure() || rows.size() != 2) return;
  // The two partitions have letters of their own, and the first row of the
  // image is the one selected.
  EXPECT_NE(rows[0].name[0], rows[1].name[0]);
  EXPECT_EQ(ListView_GetNextItem(DriveList(), -1, LVNI_SELECTED), rows[0].row);
  Shot("disk-image");
  ScanRow(rows[1], roles_["disk-ntfs"], "disk image, NTFS partition", "disk-image-ntfs-results");
}

TEST_F(DisksTest, PhysicalDriveIsListedByItsPartitions) {
  if (!roles_.count("physical-drive")) GTEST_SKIP() << "no physical drive linked";
  ASSERT_TRUE(program_.Start(ExecutableDirectory() + L"\\Salvor.exe"));
  ASSERT_TRUE(WaitFor([&] { return PartitionRows(true).size() >= 2; }, 20s)) << "no rows of the physical drive";
  const auto rows = PartitionRows(true);
  ExpectTheTwoPartitions(rows);
  if (HasFatalFailure() || rows.size() != 2) return;
  Shot("physical-drive");
  ScanRow(rows[0], roles_["disk-fat32"], "physical drive, FAT32 partition", "physical-drive-fat32-results");
}

}  // namespace
}  // namespace salvor::testing
