// FAT directories built in code for what real tools seldom write: 8.3 names
// in the OEM code page with the Windows NT case flags, a run of long-name
// parts that never ends, and deleted folders whose later clusters (their
// chain freed) lie after their files' data, with a decoy in the way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "engine/fat/fat_directory.h"
#include "engine/gleaner.h"
#include "engine/volume_access.h"
#include "tests/fixtures/fat_image_builder.h"
#include "tests/fixtures/temp_files.h"

namespace salvor {
namespace {

using testing::Deleted;
using testing::DirectoryWriter;
using testing::DotEntry;
using testing::Fat32ImageBuilder;
using testing::Fat32Options;
using testing::LongNameEntries;
using testing::RawEntry;
using testing::ShortEntry;

constexpr uint8_t kFile = 0x20;
constexpr uint8_t kDir = 0x10;

uint32_t Collect(_FileInfoFat record, void* user) {
  static_cast<std::vector<std::u16string>*>(user)->push_back(std::u16string(record.FullPath.view()));
  return 0;
}

RawEntry WithCaseFlags(RawEntry entry, uint8_t flags) {
  entry[12] = std::byte{flags};
  return entry;
}

// "F01     BIN" and so on.
std::string NumberedName(int n) {
  std::string name = "F" + std::to_string(100 + n).substr(1) + "     BIN";
  return name;
}

class FatFoldersAndNames : public ::testing::Test {
 protected:
  void TearDown() override { engine::fat::SetOemCodePage(437); }

  bool Open(const Fat32ImageBuilder& image) {
    const std::string file = testing::TempPath("fat-folders-" + std::to_string(counter_++) + ".img");
    image.save(file);
    engine::MountImage(u'T', text::from_utf8(file));
    return engine_.InitEngine(kVolumeFat32, u"T:\\");
  }
  std::vector<std::u16string> Scan(uint32_t cluster) {
    std::vector<std::u16string> found;
    result_ = engine_.SearchCluster(RcWString(u"D"), nullptr, cluster, nullptr, Collect, &found);
    return found;
  }

  engine::CGleaner engine_;
  bool result_ = false;
  int counter_ = 0;
};

TEST_F(FatFoldersAndNames, ShortNamesUseTheOemCodePageAndTheCaseFlags) {
  Fat32ImageBuilder image;
  DirectoryWriter root(image, 2);
  // What Windows writes for "straße.txt": CP437/850 0xE1 is "ß", and both
  // parts are lower case.
  root.add(WithCaseFlags(ShortEntry("STRA\xE1"
                                    "E  TXT",
                                    kFile, 10, 1),
                         0x18));
  root.add(WithCaseFlags(ShortEntry("README  TXT", kFile, 11, 1), 0x08));  // "readme.TXT"
  root.add(WithCaseFlags(ShortEntry("README2 TXT", kFile, 12, 1), 0x10));  // "README2.txt"
  root.add(ShortEntry("\x9B"
                      "       TXT",
                      kFile, 13, 1));  // 437: "¢", 850: "ø"
  root.add(WithCaseFlags(Deleted(ShortEntry("ABC     TXT", kFile, 14, 1)), 0x18));
  ASSERT_TRUE(Open(image));

  std::vector<std::u16string> found;
  ASSERT_TRUE(engine_.ScanFatDisk(Collect, &found, 0, nullptr));
  ASSERT_EQ(found.size(), 5u);
  EXPECT_EQ(found[0], u"T:\\\\straße.txt");
  EXPECT_EQ(found[1], u"T:\\\\readme.TXT");
  EXPECT_EQ(found[2], u"T:\\\\README2.txt");
  EXPECT_EQ(found[3], u"T:\\\\¢.TXT");
  EXPECT_EQ(found[4], u"T:\\\\_bc.txt");

  ASSERT_TRUE(engine::fat::SetOemCodePage(850));
  found.clear();
  ASSERT_TRUE(engine_.ScanFatDisk(Collect, &found, 0, nullptr));
  ASSERT_EQ(found.size(), 5u);
  EXPECT_EQ(found[3], u"T:\\\\ø.TXT");
  EXPECT_FALSE(engine::fat::SetOemCodePage(99999));  // unknown: the one before stays
  EXPECT_EQ(engine::fat::OemCodePage(), 850u);
}

TEST_F(FatFoldersAndNames, LongNamePartsThatNeverEndAreCappedAt255Units) {
  // A folder of 2 MiB (the most a FAT directory holds) of long-name parts
  // and one short entry at its very end. Putting each part in front of the
  // name would move some 28 billion characters.
  Fat32Options options;
  options.cluster_count = 4200;
  Fat32ImageBuilder image(options);
  const uint32_t clusters = 4096;
  std::vector<uint32_t> chain;
  for (uint32_t i = 0; i < clusters; ++i) chain.push_back(10 + i);
  image.chain(chain);
  DirectoryWriter folder(image, 10);
  RawEntry part = LongNameEntries(u"abcdefghijklm", "ABCDEF~1   ")[0];
  part[0] = std::byte{0x05};  // a middle part: never the first
  for (uint32_t i = 0; i + 2 < clusters * 16; ++i) folder.add(part);
  part[0] = std::byte{0x01};  // the first part: the name is complete
  folder.add(part);
  folder.add(ShortEntry("ABCDEF~1   ", kFile, 0, 0));
  ASSERT_TRUE(Open(image));

  const auto found = Scan(10);
  EXPECT_TRUE(result_);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].size(), 2 + 255u);  // "D\" and the name
  EXPECT_EQ(found[0].substr(2, 13), u"abcdefghijklm");
}

// A deleted folder at cluster 10 (its entry freed its chain): 14 deleted
// files of one cluster each at 11..24 fill it with its dot pair.
Fat32ImageBuilder FullDeletedFolder(int files) {
  Fat32ImageBuilder image;
  DirectoryWriter root(image, 2);
  root.add(Deleted(ShortEntry("DIR        ", kDir, 10)));
  DirectoryWriter folder(image, 10);
  folder.add(DotEntry(false, 10)).add(DotEntry(true, 0));
  for (int n = 1; n <= files; ++n) folder.add(Deleted(ShortEntry(NumberedName(n), kFile, 10 + n, 512)));
  return image;
}

TEST_F(FatFoldersAndNames, DeletedFolderGoesOnAfterItsFilesData) {
  Fat32ImageBuilder image = FullDeletedFolder(14);
  // Its next cluster was made behind the last file's data: 25.
  DirectoryWriter later(image, 25);
  for (int n = 15; n <= 20; ++n) later.add(Deleted(ShortEntry(NumberedName(n), kFile, 11 + n, 512)));
  ASSERT_TRUE(Open(image));

  const auto found = Scan(10);
  EXPECT_TRUE(result_);
  ASSERT_EQ(found.size(), 20u);
  EXPECT_EQ(found[14], u"D\\_15.BIN");
  EXPECT_EQ(found[19], u"D\\_20.BIN");
}

TEST_F(FatFoldersAndNames, DeletedFolderTakesTheClusterThatGoesOnWithItsCutName) {
  // The folder's last slot holds the first-stored part of a long name whose
  // other part and short entry went into its next cluster, 26. Cluster 24,
  // right after the files' data, is another deleted folder's: it reads as
  // a directory too, but does not go on with that name.
  Fat32ImageBuilder image = FullDeletedFolder(13);
  const auto parts = LongNameEntries(u"Long name that is cut.txt", "LONGNA~1TXT");
  ASSERT_EQ(parts.size(), 2u);
  image.put_entry(10, 15, Deleted(parts[0]));
  DirectoryWriter decoy(image, 24);
  decoy.add(Deleted(ShortEntry("DECOY   TXT", kFile, 30, 100)));
  DirectoryWriter later(image, 26);
  later.add(Deleted(parts[1])).add(Deleted(ShortEntry("LONGNA~1TXT", kFile, 27, 100)));
  ASSERT_TRUE(Open(image));

  const auto found = Scan(10);
  ASSERT_EQ(found.size(), 14u);
  EXPECT_EQ(found[13], u"D\\Long name that is cut.txt");

  // A present folder follows its FAT chain only: its entries stop with its
  // one cluster.
  Fat32ImageBuilder live = FullDeletedFolder(14);
  live.set_fat(10, 0x0FFFFFFF);
  DirectoryWriter live_later(live, 25);
  live_later.add(Deleted(ShortEntry(NumberedName(15), kFile, 26, 512)));
  ASSERT_TRUE(Open(live));
  EXPECT_EQ(Scan(10).size(), 14u);
}

}  // namespace
}  // namespace salvor
