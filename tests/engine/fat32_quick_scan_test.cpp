// The FAT32 Quick Scan over small images built in code: what each entry
// becomes, folder numbers, long names, chains, and damaged volumes.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/gleaner.h"
#include "engine/volume_access.h"
#include "tests/fixtures/fat_image_builder.h"
#include "tests/fixtures/temp_files.h"

namespace salvor {
namespace {

using engine::CGleaner;
using testing::DirectoryWriter;
using testing::Fat32ImageBuilder;
using testing::LongNameEntries;
using testing::ShortEntry;

constexpr uint8_t kFile = 0x20;
constexpr uint8_t kDir = 0x10;

struct Found {
  std::string path;
  _FileInfoFat record;
};

uint32_t Collect(_FileInfoFat record, void* user) {
  static_cast<std::vector<Found>*>(user)->push_back({text::to_utf8(record.FullPath.view()), record});
  return 0;  // the engine ignores the result: 0 must not stop the scan
}

class Fat32QuickScan : public ::testing::Test {
 protected:
  // Saves the image, mounts it as drive T and opens it as FAT32.
  bool Open(const Fat32ImageBuilder& image, const std::u16string& path = u"T:\\") {
    const std::string file = testing::TempPath("fat32-" + std::to_string(counter_++) + ".img");
    image.save(file);
    engine::MountImage(u'T', text::from_utf8(file));
    return engine_.InitEngine(kVolumeFat32, path);
  }
  std::vector<Found> ScanRoot() {
    std::vector<Found> found;
    result_ = engine_.ScanFatDisk(Collect, &found, 0, nullptr);
    return found;
  }
  std::vector<Found> ScanCluster(uint32_t cluster, const std::u16string& parent = u"T:\\DIR") {
    std::vector<Found> found;
    result_ = engine_.SearchCluster(RcWString(parent), nullptr, cluster, nullptr, Collect, &found);
    return found;
  }
  static const Found* Find(const std::vector<Found>& found, const std::string& path) {
    for (const auto& f : found) {
      if (f.path == path) return &f;
    }
    return nullptr;
  }

  CGleaner engine_;
  bool result_ = false;
  int counter_ = 0;
};

TEST_F(Fat32QuickScan, NamesOfPresentAndDeletedEntries) {
  Fat32ImageBuilder image;
  DirectoryWriter root(image, 2);
  root.add(ShortEntry("SALVORTEST ", 0x08, 0));                          // volume label: not reported
  root.add(ShortEntry("README  TXT", kFile, 10, 5));                     // plain 8.3
  root.add(ShortEntry("NOEXT      ", kFile, 11, 6));                     // all-space extension: no dot
  root.add(testing::Deleted(ShortEntry("ABC     TXT", kFile, 12, 7)));   // lost first byte
  root.add(LongNameEntries(u"Présent long name.txt", "PRSENT~1TXT"));
  root.add(ShortEntry("PRSENT~1TXT", kFile, 13, 8));
  for (auto part : LongNameEntries(u"Deleted long name.doc", "DELETE~1DOC")) root.add(testing::Deleted(part));
  root.add(testing::Deleted(ShortEntry("DELETE~1DOC", kFile, 14, 9)));
  ASSERT_TRUE(Open(image));

  const auto found = ScanRoot();
  EXPECT_TRUE(result_);
  ASSERT_EQ(found.size(), 5u);
  EXPECT_EQ(found[0].path, "T:\\\\README.TXT");  // the engine path ends in "\", so it doubles
  EXPECT_EQ(found[1].path, "T:\\\\NOEXT");
  EXPECT_EQ(found[2].path, "T:\\\\_BC.TXT");
  EXPECT_EQ(found[2].record.DeleteState, kDeleted);
  EXPECT_EQ(found[3].path, "T:\\\\Présent long name.txt");
  EXPECT_EQ(found[3].record.DeleteState, kPresent);
  EXPECT_EQ(found[4].path, "T:\\\\Deleted long name.doc");
  EXPECT_EQ(found[4].record.DeleteState, kDeleted);
  EXPECT_EQ(found[4].record.FirstCluster, 14u);
  EXPECT_EQ(uint64_t{found[4].record.FileSize}, 9u);  // a copy: the record is packed
}

TEST_F(Fat32QuickScan, FolderNumbersAndDotEntries) {
  Fat32ImageBuilder image;
  image.chain({3});
  image.chain({4});
  DirectoryWriter(image, 2).add(ShortEntry("DIR        ", kDir, 3)).add(ShortEntry("ROOT    TXT", kFile, 0));
  DirectoryWriter(image, 3)
      .add(testing::DotEntry(false, 3))
      .add(testing::DotEntry(true, 0))
      .add(ShortEntry("SUB        ", kDir, 4))
      .add(ShortEntry("IN_DIR  TXT", kFile, 0));
  DirectoryWriter(image, 4)
      .add(testing::DotEntry(false, 4))
      .add(testing::DotEntry(true, 3))
      .add(ShortEntry("DEEP    TXT", kFile, 0));
  ASSERT_TRUE(Open(image));

  const auto root = ScanRoot();
  ASSERT_EQ(root.size(), 2u);
  EXPECT_EQ(root[0].record.ParentFolder, 0u);
  EXPECT_EQ(root[0].record.Folder, 0u);
  EXPECT_EQ(root[0].record.EntryType, kEntryFolder);

  const auto dir = ScanCluster(3);
  ASSERT_EQ(dir.size(), 2u) << "\".\" and \"..\" are not reported";
  EXPECT_EQ(dir[0].path, "T:\\DIR\\SUB");
  EXPECT_EQ(dir[0].record.ParentFolder, 0u);
  EXPECT_EQ(dir[0].record.Folder, 3u);

  const auto sub = ScanCluster(4, u"T:\\DIR\\SUB");
  ASSERT_EQ(sub.size(), 1u);
  EXPECT_EQ(sub[0].path, "T:\\DIR\\SUB\\DEEP.TXT");
  EXPECT_EQ(sub[0].record.ParentFolder, 3u);
  EXPECT_EQ(sub[0].record.Folder, 4u);

  EXPECT_TRUE(engine_.FatDirectory(3, nullptr));
  EXPECT_TRUE(engine_.FatDirectory(4, &dir[0].record)) << "its \"..\" names folder 3";
  EXPECT_FALSE(engine_.FatDirectory(4, &root[0].record));
  EXPECT_FALSE(engine_.FatDirectory(5, nullptr)) << "a free cluster without the dot pair";
}

TEST_F(Fat32QuickScan, CreationStampFillsTheTimeFields) {
  Fat32ImageBuilder image;
  DirectoryWriter(image, 2)
      .add(ShortEntry("STAMP   TXT", kFile, 0, 0, testing::FatTime(10, 20, 30), testing::FatDate(2009, 3, 14)));
  ASSERT_TRUE(Open(image));
  const auto found = ScanRoot();
  ASSERT_EQ(found.size(), 1u);
  const _FileInfoFat& r = found[0].record;
  EXPECT_EQ(uint16_t{r.Year}, 2009);  // a copy: the record is packed
  EXPECT_EQ(r.Month, 3);
  EXPECT_EQ(r.Day, 14);
  EXPECT_EQ(r.Hour, 10);
  EXPECT_EQ(r.Minute, 20);
  EXPECT_EQ(r.Second, 30);
}

TEST_F(Fat32QuickScan, EmptyDirectoryAndEndMarker) {
  Fat32ImageBuilder image;
  // Entries after the end marker are never looked at.
  DirectoryWriter(image, 2).add(testing::RawEntry{}).add(ShortEntry("HIDDEN  TXT", kFile, 0));
  ASSERT_TRUE(Open(image));
  EXPECT_TRUE(ScanRoot().empty());
  EXPECT_TRUE(result_);
}

TEST_F(Fat32QuickScan, DirectoryChainsAcrossClustersAndStopsOnLoops) {
  Fat32ImageBuilder image;
  const uint32_t per_cluster = image.cluster_size() / 32;
  for (uint32_t i = 0; i < per_cluster; ++i) image.put_entry(2, i, ShortEntry("FIRST   TXT", kFile, 0));
  image.put_entry(7, 0, ShortEntry("SECOND  TXT", kFile, 0));
  image.set_fat(2, 7);
  image.set_fat(7, 2);  // back to the first cluster: a loop
  ASSERT_TRUE(Open(image));
  const auto found = ScanRoot();
  EXPECT_TRUE(result_);
  EXPECT_EQ(found.size(), per_cluster + 1) << "each cluster of a looping chain is read once";
  EXPECT_EQ(found.back().path, "T:\\\\SECOND.TXT");
}

TEST_F(Fat32QuickScan, ChainEndsAtEndMarkerValues) {
  for (uint32_t end_value : {0x0FFFFFF7u, 0x0FFFFFF8u, 0x0FFFFFFFu, 0xFFFFFFFFu, 0u}) {
    Fat32ImageBuilder image;
    const uint32_t per_cluster = image.cluster_size() / 32;
    for (uint32_t i = 0; i < per_cluster; ++i) image.put_entry(2, i, ShortEntry("A       TXT", kFile, 0));
    image.set_fat(2, end_value);
    ASSERT_TRUE(Open(image));
    EXPECT_EQ(ScanRoot().size(), per_cluster) << std::hex << end_value;
  }
}

TEST_F(Fat32QuickScan, LocateFolderFollowsLongAndShortNames) {
  Fat32ImageBuilder image;
  image.chain({3});
  image.chain({4});
  DirectoryWriter(image, 2).add(LongNameEntries(u"Mes Documents", "MESDOC~1   ")).add(ShortEntry("MESDOC~1   ", kDir, 3));
  DirectoryWriter(image, 3)
      .add(testing::DotEntry(false, 3))
      .add(testing::DotEntry(true, 0))
      .add(ShortEntry("PHOTOS     ", kDir, 4));
  DirectoryWriter(image, 4).add(testing::DotEntry(false, 4)).add(testing::DotEntry(true, 3)).add(ShortEntry("IMG     JPG", kFile, 0));
  ASSERT_TRUE(Open(image, u"T:\\mes documents\\photos"));
  EXPECT_EQ(engine_.path(), u"T:\\mes documents\\photos") << "the whole path is kept; only T: is opened";

  engine::CFat32 scanner;
  engine::MountImage(u'U', text::from_utf8(testing::TempPath("fat32-" + std::to_string(counter_ - 1) + ".img")));
  ASSERT_TRUE(scanner.OpenVolume(u"U:"));
  EXPECT_EQ(scanner.LocateFolder(u"U:\\"), 2u);
  EXPECT_EQ(scanner.LocateFolder(u"U:\\MES DOCUMENTS"), 3u);
  EXPECT_EQ(scanner.LocateFolder(u"U:\\Mes Documents\\PHOTOS\\"), 4u);
  EXPECT_EQ(scanner.LocateFolder(u"U:\\Nowhere"), 0u);
  EXPECT_EQ(scanner.LocateFolder(u"U:\\Mes Documents\\Nowhere"), 0u);

  const auto found = ScanRoot();
  EXPECT_TRUE(result_);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].path, "T:\\mes documents\\photos\\IMG.JPG");

  ASSERT_TRUE(Open(image, u"T:\\Nowhere"));
  EXPECT_TRUE(ScanRoot().empty());
  EXPECT_FALSE(result_) << "a path that names no folder reports nothing and fails";
}

TEST_F(Fat32QuickScan, LookupGivesTheFoundCluster) {
  Fat32ImageBuilder image;
  DirectoryWriter(image, 2).add(ShortEntry("ONE     TXT", kFile, 9)).add(ShortEntry("TWO     TXT", kFile, 11));
  ASSERT_TRUE(Open(image));
  uint32_t found = 1234;
  EXPECT_TRUE(engine_.SearchCluster(RcWString(u""), u"two.txt", 2, &found, nullptr, nullptr));
  EXPECT_EQ(found, 11u);
  EXPECT_TRUE(engine_.SearchCluster(RcWString(u""), u"three.txt", 2, &found, nullptr, nullptr));
  EXPECT_EQ(found, 0u);
}

// A FAT value just below the end-of-chain range is a cluster number. Only a
// FAT with that many entries can hold it, so the image is a sparse file.
TEST_F(Fat32QuickScan, ValueBelowEndOfChainIsFollowed) {
  constexpr uint32_t kBytesPerSector = 512;
  constexpr uint32_t kReserved = 32;
  constexpr uint32_t kSectorsPerFat = 0x0FFFFFF8 / (kBytesPerSector / 4) + 1;
  constexpr uint32_t kFarCluster = 0x0FFFFFF6;
  Fat32ImageBuilder header;  // borrow a valid boot sector, then patch the FAT size
  std::vector<std::byte> boot(header.image().begin(), header.image().begin() + 512);
  auto put32 = [](std::vector<std::byte>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::byte((v >> (8 * i)) & 0xFF);
  };
  put32(boot, 36, kSectorsPerFat);
  boot[16] = std::byte{1};  // one FAT
  const std::string file = testing::TempPath("fat32-sparse.img");
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(boot.data()), 512);
    auto at = [&](uint64_t offset, const void* data, size_t size) {
      out.seekp(static_cast<std::streamoff>(offset));
      out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    };
    const uint64_t fat = uint64_t{kReserved} * kBytesPerSector;
    const uint64_t data = (uint64_t{kReserved} + kSectorsPerFat) * kBytesPerSector;
    const uint32_t to_far = kFarCluster, end = 0x0FFFFFF7;
    at(fat + 2 * 4, &to_far, 4);
    at(fat + uint64_t{kFarCluster} * 4, &end, 4);
    const auto near_entry = ShortEntry("NEAR    TXT", kFile, 0);
    const auto far_entry = ShortEntry("FAR     TXT", kFile, 0);
    for (uint32_t i = 0; i < kBytesPerSector / 32; ++i) at(data + i * 32, near_entry.data(), 32);
    std::vector<std::byte> far_cluster(kBytesPerSector);
    std::copy(far_entry.begin(), far_entry.end(), far_cluster.begin());
    at(data + uint64_t{kFarCluster - 2} * kBytesPerSector, far_cluster.data(), far_cluster.size());
  }
  engine::MountImage(u'T', text::from_utf8(file));
  ASSERT_TRUE(engine_.InitEngine(kVolumeFat32, u"T:\\"));
  const auto found = ScanRoot();
  EXPECT_TRUE(result_);
  ASSERT_EQ(found.size(), kBytesPerSector / 32 + 1);
  EXPECT_EQ(found.back().path, "T:\\\\FAR.TXT");
}

TEST_F(Fat32QuickScan, DamagedVolumesFailCleanly) {
  Fat32ImageBuilder good;
  DirectoryWriter(good, 2).add(ShortEntry("A       TXT", kFile, 0));
  struct Case {
    const char* what;
    size_t offset;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"0 bytes per sector", 11, {0, 0}},
      {"0 sectors per cluster", 13, {0}},
      {"sectors per cluster not a power of two", 13, {3}},
      {"0 sectors per FAT", 36, {0, 0, 0, 0}},
      {"0 FATs", 16, {0}},
      {"root cluster 0", 44, {0, 0, 0, 0}},
      {"root cluster past the FAT", 44, {0xFF, 0xFF, 0xFF, 0x0F}},
      {"data region past the end", 36, {0xFF, 0xFF, 0xFF, 0x00}},
  };
  for (const Case& c : cases) {
    Fat32ImageBuilder image = good;
    image.put_bytes(c.offset, c.bytes.data(), c.bytes.size());
    ASSERT_TRUE(Open(image)) << c.what << ": the boot sector itself is readable";
    EXPECT_TRUE(ScanRoot().empty()) << c.what;
    EXPECT_FALSE(result_) << c.what;
    EXPECT_FALSE(engine_.FatDirectory(2, nullptr)) << c.what;
  }
}

TEST_F(Fat32QuickScan, TruncatedImages) {
  Fat32ImageBuilder image;
  DirectoryWriter(image, 2).add(ShortEntry("A       TXT", kFile, 0));
  image.image().resize(512);  // the boot sector alone
  ASSERT_TRUE(Open(image));
  EXPECT_TRUE(ScanRoot().empty());
  EXPECT_FALSE(result_);

  image.image().resize(100);  // not even a sector
  EXPECT_FALSE(Open(image));
  EXPECT_FALSE(engine_.ScanFatDisk(Collect, nullptr, 0, nullptr));
}

TEST_F(Fat32QuickScan, KindsAndPaths) {
  Fat32ImageBuilder image;
  ASSERT_TRUE(Open(image, u"T:\\A\\B"));
  EXPECT_EQ(engine_.kind(), kVolumeFat32);
  EXPECT_FALSE(engine_.InitEngine(7, u"T:\\"));
  EXPECT_EQ(engine_.kind(), kVolumeFat32) << "an unknown kind leaves kind and path as they were";
  EXPECT_EQ(engine_.path(), u"T:\\A\\B");

  engine::MountImage(u'Q', u"");
  CGleaner fresh;
  EXPECT_FALSE(fresh.InitEngine(kVolumeFat32, u"Q:\\")) << "no such drive or image";
  EXPECT_FALSE(fresh.ScanFatDisk(Collect, nullptr, 0, nullptr));
}

}  // namespace
}  // namespace salvor
