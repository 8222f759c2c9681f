// The recovery destination on a folder that already holds files, folders
// and links: nothing there is followed, replaced or removed; names are
// numbered against the disk and fitted to its limits; modes, times and
// holes are what the run asks for.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/file_names.h"
#include "common/text.h"
#include "platform/destination.h"
#include "tests/fixtures/temp_files.h"

namespace salvor::platform {
namespace {

namespace fs = std::filesystem;
const std::vector<std::u16string> kNoFolders;

class DestinationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = testing::MakeTempDir();
    root_ = fs::path(base_) / "dest";
    outside_ = fs::path(base_) / "outside";
    fs::create_directories(root_);
    fs::create_directories(outside_);
  }
  void TearDown() override { fs::remove_all(base_); }

  std::unique_ptr<Destination> Open(DestinationOptions options = {}) {
    DestinationError error;
    auto destination = OpenDestination(root_.u16string(), options, error);
    EXPECT_TRUE(destination) << text::to_utf8(error.text);
    return destination;
  }
  // Creates, writes `data` and finishes a file; returns the path written.
  std::u16string Write(Destination& destination, std::vector<std::u16string> folders, std::u16string name,
                       const std::string& data) {
    auto file = destination.create_file(folders, name);
    EXPECT_TRUE(file) << text::to_utf8(destination.error().text);
    if (!file) return {};
    EXPECT_TRUE(file->write_at(0, std::as_bytes(std::span(data))));
    EXPECT_TRUE(file->finish());
    return file->relative_path();
  }
  static void Put(const fs::path& path, const std::string& data) { std::ofstream(path, std::ios::binary) << data; }

  std::string base_;
  fs::path root_;
  fs::path outside_;
};

TEST_F(DestinationTest, LinksInTheDestinationAreNeverFollowed) {
  // A folder link and a file link put there beforehand, one dangling.
  fs::create_directory_symlink(outside_, root_ / "Docs");
  Put(outside_ / "victim", "precious");
  fs::create_symlink(outside_ / "victim", root_ / "B.TXT");
  fs::create_symlink(outside_ / "not-yet", root_ / "C.TXT");
  auto destination = Open();
  EXPECT_EQ(Write(*destination, {u"Docs"}, u"a.txt", "recovered"), u"Docs (1)/a.txt");
  EXPECT_EQ(Write(*destination, {}, u"B.TXT", "recovered"), u"B (1).TXT");
  EXPECT_EQ(Write(*destination, {}, u"C.TXT", "recovered"), u"C (1).TXT");
  EXPECT_TRUE(destination->sync());
  EXPECT_EQ(testing::ReadFileBytes((outside_ / "victim").string()), "precious");
  EXPECT_FALSE(fs::exists(outside_ / "a.txt"));
  EXPECT_FALSE(fs::exists(outside_ / "not-yet"));
  EXPECT_TRUE(fs::is_symlink(root_ / "Docs"));
  EXPECT_EQ(testing::ReadFileBytes((root_ / "Docs (1)" / "a.txt").string()), "recovered");

  // A folder made by the run and swapped for a link afterwards is not
  // entered either.
  EXPECT_EQ(Write(*destination, {u"Mine"}, u"1.txt", "one"), u"Mine/1.txt");
  fs::rename(root_ / "Mine", fs::path(base_) / "moved");
  fs::create_directory_symlink(outside_, root_ / "Mine");
  EXPECT_EQ(Write(*destination, {u"Mine"}, u"2.txt", "two"), u"Mine (1)/2.txt");
  EXPECT_FALSE(fs::exists(outside_ / "2.txt"));
}

TEST_F(DestinationTest, ExistingNamesAreKeptAndOnlyTheRunsOwnFileIsRemoved) {
  Put(root_ / "a.txt", "the user's");
  Put(root_ / "a (1).txt", "the user's too");
  auto destination = Open();
  EXPECT_EQ(Write(*destination, {}, u"a.txt", "first"), u"a (2).txt");
  // A recovery that fails after creating its file removes that file alone.
  auto failing = destination->create_file(kNoFolders, u"a.txt");
  ASSERT_TRUE(failing);
  EXPECT_EQ(failing->relative_path(), u"a (3).txt");
  failing->discard();
  EXPECT_FALSE(fs::exists(root_ / "a (3).txt"));
  EXPECT_EQ(testing::ReadFileBytes((root_ / "a.txt").string()), "the user's");
  EXPECT_EQ(testing::ReadFileBytes((root_ / "a (1).txt").string()), "the user's too");
  EXPECT_EQ(testing::ReadFileBytes((root_ / "a (2).txt").string()), "first");

  // The name swapped for another file before the clean-up: that file stays.
  auto swapped = destination->create_file(kNoFolders, u"b.txt");
  ASSERT_TRUE(swapped);
  fs::remove(root_ / "b.txt");
  Put(root_ / "b.txt", "someone else's");
  swapped->discard();
  EXPECT_EQ(testing::ReadFileBytes((root_ / "b.txt").string()), "someone else's");

  // An existing real folder is entered; its files are kept.
  fs::create_directory(root_ / "Docs");
  Put(root_ / "Docs" / "x.txt", "kept");
  EXPECT_EQ(Write(*destination, {u"Docs"}, u"x.txt", "new"), u"Docs/x (1).txt");
  EXPECT_EQ(testing::ReadFileBytes((root_ / "Docs" / "x.txt").string()), "kept");
}

TEST_F(DestinationTest, LongNamesAreShortenedVisiblyBeforeTheyAreNumbered) {
  // 252 characters: numbered, the name would pass 255 bytes.
  const std::u16string long_name = std::u16string(248, u'n') + u".txt";
  Put(root_ / text::to_utf8(long_name), "the user's");
  auto destination = Open();
  const std::u16string written = Write(*destination, {}, long_name, "data");
  EXPECT_LE(text::to_utf8(written).size(), 255u);
  EXPECT_EQ(written.substr(written.size() - 9), u"\u2026 (1).txt");
  // Multi-byte characters are cut whole, in folders too.
  const std::u16string wide_name(200, u'\u00E9');  // 400 bytes of UTF-8
  const std::u16string in_folder = Write(*destination, {wide_name}, wide_name + u".log", "x");
  const std::string bytes = text::to_utf8(in_folder);
  EXPECT_TRUE(text::is_well_formed_utf8(bytes));
  EXPECT_NE(bytes.find("\xE2\x80\xA6.log"), std::string::npos) << bytes;
  EXPECT_EQ(names::FittedName(u"abc.txt", 0, 255, names::NameUnits::kUtf8Bytes), u"abc.txt");
  EXPECT_EQ(names::FittedName(u"abcdefgh.txt", 2, 12, names::NameUnits::kUtf16Units), u"abc\u2026 (2).txt");
}

TEST_F(DestinationTest, PrivateModesUnlessAskedTimesAndHoles) {
  const mode_t old_mask = ::umask(0);
  {
    auto destination = Open();
    Write(*destination, {u"Private"}, u"p.bin", "p");
    struct stat info {};
    ASSERT_EQ(::stat((root_ / "Private" / "p.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    ASSERT_EQ(::stat((root_ / "Private").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
  }
  ::umask(077);
  {
    DestinationOptions shared;
    shared.file_mode = 0644;
    shared.folder_mode = 0755;
    auto destination = Open(shared);
    Write(*destination, {u"Shared"}, u"s.bin", "s");
    struct stat info {};
    ASSERT_EQ(::stat((root_ / "Shared" / "s.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u) << "the mode asked for, whatever the umask";
  }
  ::umask(old_mask);

  auto destination = Open();
  auto file = destination->create_file(std::vector<std::u16string>{u"Timed"}, u"sparse.bin");
  ASSERT_TRUE(file);
  const std::string tail(4096, 't');
  ASSERT_TRUE(file->write_at(uint64_t{1} << 30, std::as_bytes(std::span(tail))));  // 1 GiB of hole first
  ASSERT_TRUE(file->set_size((uint64_t{1} << 30) + 4096));
  constexpr uint64_t kMay2020 = 132328008000000000;  // 2020-05-01 10:00:00 UTC
  ASSERT_TRUE(file->set_times({kMay2020, 0}));
  ASSERT_TRUE(file->finish());
  // The folder made by the run gets its time after its contents; a folder
  // that was there before keeps its own.
  fs::create_directory(root_ / "Old");
  struct stat before {};
  ASSERT_EQ(::stat((root_ / "Old").c_str(), &before), 0);
  EXPECT_TRUE(destination->set_folder_times(std::vector<std::u16string>{u"Timed"}, {kMay2020 + 10000000, 0}));
  Write(*destination, {u"Old"}, u"o.txt", "o");
  EXPECT_TRUE(destination->set_folder_times(std::vector<std::u16string>{u"Old"}, {kMay2020, 0}));
  EXPECT_TRUE(destination->sync());
  struct stat info {};
  ASSERT_EQ(::stat((root_ / "Timed" / "sparse.bin").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, 1588327200);
  EXPECT_EQ(info.st_size, (1 << 30) + 4096);
  EXPECT_LT(static_cast<uint64_t>(info.st_blocks) * 512, uint64_t{1} << 20) << "the hole takes no space";
  ASSERT_EQ(::stat((root_ / "Timed").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, 1588327201);
  ASSERT_EQ(::stat((root_ / "Old").c_str(), &info), 0);
  EXPECT_NE(info.st_mtime, 1588327200);
}

}  // namespace
}  // namespace salvor::platform
