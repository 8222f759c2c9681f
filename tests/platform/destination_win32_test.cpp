// The recovery destination on Windows (run under Wine): junctions and
// symbolic links put into the destination are never entered, a name that
// exists is never replaced (CREATE_NEW, then the next number), only the
// run's own file is removed, times are set, and paths past 260 characters
// work through the \\?\ prefix.
#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/destination.h"
#include "tests/fixtures/temp_files.h"

namespace salvor::platform {
namespace {

namespace fs = std::filesystem;
const std::vector<std::u16string> kNoFolders;

std::u16string u16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

// A junction (mount point) at `link` to the folder `target`, made with the
// API, as mklink /J would.
bool MakeJunction(const fs::path& link, const fs::path& target) {
  if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
  HANDLE handle = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const std::wstring substitute = L"\\??\\" + fs::absolute(target).wstring();
  const std::wstring print = fs::absolute(target).wstring();
  const size_t names = (substitute.size() + 1 + print.size() + 1) * sizeof(wchar_t);
  std::vector<BYTE> buffer(8 + 8 + names);
  auto put16 = [&](size_t at, size_t value) {
    const WORD v = static_cast<WORD>(value);
    std::memcpy(buffer.data() + at, &v, 2);
  };
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  std::memcpy(buffer.data(), &tag, 4);
  put16(4, 8 + names);                                   // ReparseDataLength
  put16(8, 0);                                           // SubstituteNameOffset
  put16(10, substitute.size() * sizeof(wchar_t));        // SubstituteNameLength
  put16(12, (substitute.size() + 1) * sizeof(wchar_t));  // PrintNameOffset
  put16(14, print.size() * sizeof(wchar_t));             // PrintNameLength
  std::memcpy(buffer.data() + 16, substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
  std::memcpy(buffer.data() + 16 + (substitute.size() + 1) * sizeof(wchar_t), print.c_str(),
              (print.size() + 1) * sizeof(wchar_t));
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  nullptr, 0, &returned, nullptr);
  CloseHandle(handle);
  return ok != 0;
}

class WindowsDestinationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::path(testing::MakeTempDir());
    root_ = base_ / "dest";
    outside_ = base_ / "outside";
    fs::create_directories(root_);
    fs::create_directories(outside_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(base_, ignored);
  }
  std::unique_ptr<Destination> Open() {
    DestinationError error;
    auto destination = OpenDestination(u16(root_.wstring()), {}, error);
    EXPECT_TRUE(destination) << std::string(error.text.begin(), error.text.end());
    return destination;
  }
  std::u16string Write(Destination& destination, const std::vector<std::u16string>& folders, std::u16string name,
                       const std::string& data) {
    auto file = destination.create_file(folders, name);
    EXPECT_TRUE(file);
    if (!file) return {};
    EXPECT_TRUE(file->write_at(0, std::as_bytes(std::span(data))));
    EXPECT_TRUE(file->finish());
    return file->relative_path();
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path base_, root_, outside_;
};

TEST_F(WindowsDestinationTest, JunctionsAndLinksAreNeverEntered) {
  const bool junction = MakeJunction(root_ / "Docs", outside_);
  const bool link = CreateSymbolicLinkW((root_ / "Linked").c_str(), outside_.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
  if (!junction && !link) GTEST_SKIP() << "this system makes neither junctions nor symbolic links";
  auto destination = Open();
  if (junction) {
    EXPECT_EQ(Write(*destination, {u"Docs"}, u"a.txt", "recovered"), u"Docs (1)/a.txt");
  }
  // (Wine makes symbolic links that are no reparse points to its own
  // API; what counts is that nothing lands behind them.)
  if (link) Write(*destination, {u"Linked"}, u"b.txt", "recovered");
  EXPECT_TRUE(destination->sync());
  EXPECT_FALSE(fs::exists(outside_ / "a.txt"));
  EXPECT_FALSE(fs::exists(outside_ / "b.txt"));
}

TEST_F(WindowsDestinationTest, ExistingFilesAreKeptAndOnlyTheRunsOwnFileIsRemoved) {
  std::ofstream(root_ / "a.txt", std::ios::binary) << "the user's";
  auto destination = Open();
  EXPECT_EQ(Write(*destination, kNoFolders, u"a.txt", "first"), u"a (1).txt");
  auto failing = destination->create_file(kNoFolders, u"a.txt");
  ASSERT_TRUE(failing);
  EXPECT_EQ(failing->relative_path(), u"a (2).txt");
  failing->discard();
  EXPECT_TRUE(destination->sync());
  EXPECT_FALSE(fs::exists(root_ / "a (2).txt"));
  EXPECT_EQ(Read(root_ / "a.txt"), "the user's");
  EXPECT_EQ(Read(root_ / "a (1).txt"), "first");
}

TEST_F(WindowsDestinationTest, TimesAndPathsLongerThan260Characters) {
  auto destination = Open();
  const std::vector<std::u16string> deep(6, std::u16string(60, u'd'));  // more than 360 characters
  auto file = destination->create_file(deep, std::u16string(200, u'f') + u".txt");
  ASSERT_TRUE(file) << std::string(destination->error().text.begin(), destination->error().text.end());
  const std::string data = "deep";
  ASSERT_TRUE(file->write_at(0, std::as_bytes(std::span(data))));
  constexpr uint64_t kMay2020 = 132328008000000000;  // 2020-05-01 10:00:00 UTC
  ASSERT_TRUE(file->set_times({kMay2020, kMay2020 - 10000000}));
  ASSERT_TRUE(file->finish());
  EXPECT_TRUE(destination->sync());
  std::wstring path = fs::absolute(root_).wstring();
  std::replace(path.begin(), path.end(), L'/', L'\\');
  path = L"\\\\?\\" + path;
  for (const auto& part : deep) path += L"\\" + std::wstring(part.begin(), part.end());
  path += L"\\" + std::wstring(200, L'f') + L".txt";
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  FILETIME created{}, modified{};
  ASSERT_TRUE(GetFileTime(handle, &created, nullptr, &modified));
  CloseHandle(handle);
  EXPECT_EQ((uint64_t{modified.dwHighDateTime} << 32) | modified.dwLowDateTime, kMay2020);
  // (Wine keeps no creation time of its own on a Unix file system; Windows
  // shows the one set.)
  (void)created;
}

}  // namespace
}  // namespace salvor::platform
