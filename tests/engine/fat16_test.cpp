// The FAT16 scanner over small images built in code: the fixed root region,
// folder chains with 16-bit FAT entries, folder numbers (none in the Quick
// Scan, from the dot pair in the unformat sweep) and recovery positions.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
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
using testing::DotEntry;
using testing::LongNameEntries;
using testing::RawEntry;
using testing::ShortEntry;

constexpr uint8_t kFile = 0x20;
constexpr uint8_t kDir = 0x10;

// A FAT16 volume: 1 reserved sector, two FATs, a root region of
// `root_entries` entries, then `cluster_count` data clusters.
class Fat16Image {
 public:
  Fat16Image(uint32_t sectors_per_cluster, uint32_t cluster_count, uint32_t root_entries = 512)
      : spc_(sectors_per_cluster), root_entries_(root_entries) {
    sectors_per_fat_ = ((cluster_count + 2) * 2 + 511) / 512;
    root_sectors_ = (root_entries * 32 + 511) / 512;
    const uint64_t total = 1 + 2ull * sectors_per_fat_ + root_sectors_ + uint64_t(cluster_count) * spc_;
    image_.assign(total * 512, std::byte{0});
    std::byte* boot = image_.data();
    boot[0] = std::byte{0xEB}, boot[1] = std::byte{0x3C}, boot[2] = std::byte{0x90};
    std::memcpy(boot + 3, "SALVORTS", 8);
    put16(11, 512);
    boot[13] = std::byte(spc_);
    put16(14, 1);
    boot[16] = std::byte{2};
    put16(17, static_cast<uint16_t>(root_entries));
    boot[21] = std::byte{0xF8};
    put16(22, static_cast<uint16_t>(sectors_per_fat_));
    put32(32, static_cast<uint32_t>(total));
    std::memcpy(boot + 54, "FAT16   ", 8);
    boot[510] = std::byte{0x55}, boot[511] = std::byte{0xAA};
    set_fat(0, 0xFFF8);
    set_fat(1, 0xFFFF);
  }

  void set_fat(uint32_t cluster, uint16_t value) {
    for (uint32_t fat = 0; fat < 2; ++fat) put16((1 + fat * sectors_per_fat_) * 512ull + cluster * 2ull, value);
  }
  void chain(const std::vector<uint32_t>& clusters) {
    for (size_t i = 0; i < clusters.size(); ++i) {
      set_fat(clusters[i], i + 1 < clusters.size() ? static_cast<uint16_t>(clusters[i + 1]) : 0xFFFF);
    }
  }
  uint64_t root_offset() const { return (1 + 2ull * sectors_per_fat_) * 512; }
  uint64_t cluster_offset(uint32_t cluster) const {
    return root_offset() + root_sectors_ * 512ull + uint64_t(cluster - 2) * spc_ * 512;
  }
  uint32_t cluster_size() const { return spc_ * 512; }
  void put(uint64_t offset, const void* data, size_t size) { std::memcpy(image_.data() + offset, data, size); }
  void root_entry(uint32_t index, const RawEntry& e) { put(root_offset() + index * 32ull, e.data(), 32); }
  void entry(uint32_t cluster, uint32_t index, const RawEntry& e) { put(cluster_offset(cluster) + index * 32ull, e.data(), 32); }
  void save(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image_.data()), static_cast<std::streamsize>(image_.size()));
  }
  uint64_t size() const { return image_.size(); }

 private:
  void put16(uint64_t at, uint16_t v) {
    image_[at] = std::byte(v & 0xFF);
    image_[at + 1] = std::byte(v >> 8);
  }
  void put32(uint64_t at, uint32_t v) {
    put16(at, static_cast<uint16_t>(v));
    put16(at + 2, static_cast<uint16_t>(v >> 16));
  }
  uint32_t spc_;
  uint32_t root_entries_;
  uint32_t sectors_per_fat_ = 0;
  uint32_t root_sectors_ = 0;
  std::vector<std::byte> image_;
};

struct Found {
  std::string path;
  _FileInfoFat record;
};

uint32_t Collect(_FileInfoFat record, void* user) {
  static_cast<std::vector<Found>*>(user)->push_back({text::to_utf8(record.FullPath.view()), record});
  return 1;
}

class Fat16Scan : public ::testing::Test {
 protected:
  bool Open(const Fat16Image& image, const std::u16string& path = u"V:\\") {
    const std::string file = testing::TempPath("fat16-" + std::to_string(counter_++) + ".img");
    image.save(file);
    engine::MountImage(u'V', text::from_utf8(file));
    return engine_.InitEngine(kVolumeFat16, path);
  }
  std::vector<Found> ScanRoot() {
    std::vector<Found> found;
    result_ = engine_.ScanFatDisk(Collect, &found, 0, nullptr);
    return found;
  }
  std::vector<Found> ScanCluster(uint32_t cluster) {
    std::vector<Found> found;
    result_ = engine_.SearchCluster(RcWString(u"V:\\DIR"), nullptr, cluster, nullptr, Collect, &found);
    return found;
  }

  CGleaner engine_;
  bool result_ = false;
  int counter_ = 0;
};

TEST_F(Fat16Scan, WholeRootRegionIsRead) {
  Fat16Image image(4, 5000);  // 2 KiB clusters, 512 root entries (16 KiB)
  image.root_entry(0, ShortEntry("FIRST   TXT", kFile, 3, 10));
  for (uint32_t i = 1; i < 511; ++i) image.root_entry(i, testing::Deleted(ShortEntry("FILLER  BIN", kFile, 0)));
  image.root_entry(511, ShortEntry("LAST    TXT", kFile, 4, 20));
  ASSERT_TRUE(Open(image));
  const auto found = ScanRoot();
  EXPECT_TRUE(result_);
  ASSERT_EQ(found.size(), 512u);
  EXPECT_EQ(found.back().path, "V:\\\\LAST.TXT");
  // Quick Scan records of FAT16 carry no folder numbers.
  EXPECT_EQ(found.back().record.ParentFolder, 0u);
  EXPECT_EQ(found.back().record.Folder, 0u);
}

TEST_F(Fat16Scan, FolderChainsAndTheirEnds) {
  Fat16Image image(4, 5000);
  image.root_entry(0, ShortEntry("DIR        ", kDir, 3));
  // Folder 3 goes on at 0x0123 whatever FAT entry 4 holds; 0x0123 ends.
  image.set_fat(3, 0x0123);
  image.set_fat(4, 0x0200);
  image.set_fat(0x0123, 0xFFFF);
  image.entry(3, 0, DotEntry(false, 3));
  image.entry(3, 1, DotEntry(true, 0));
  for (uint32_t i = 2; i < 64; ++i) image.entry(3, i, ShortEntry("FILL" + std::to_string(1000 + i).substr(1) + " BIN", kFile, 0));
  image.entry(4, 0, ShortEntry("NOT     TXT", kFile, 0));
  // The second cluster is full, so only its FAT entry can end the folder.
  image.entry(0x0123, 0, ShortEntry("SECOND  TXT", kFile, 0));
  for (uint32_t i = 1; i < 64; ++i) image.entry(0x0123, i, testing::Deleted(ShortEntry("XFILLER BIN", kFile, 0)));
  image.entry(0x0124, 0, ShortEntry("BEYOND  TXT", kFile, 0));
  ASSERT_TRUE(Open(image));

  const auto found = ScanCluster(3);
  EXPECT_TRUE(result_);
  ASSERT_EQ(found.size(), 62u + 64u);
  EXPECT_EQ(found[62].path, "V:\\DIR\\SECOND.TXT");
  EXPECT_EQ(found[62].record.Folder, 0u) << "Quick Scan records of FAT16 carry no folder numbers";
  EXPECT_EQ(found[62].record.ParentFolder, 0u);
  for (const auto& f : found) EXPECT_TRUE(f.path != "V:\\DIR\\NOT.TXT" && f.path != "V:\\DIR\\BEYOND.TXT");

  // A loop in the FAT ends the folder.
  image.set_fat(0x0123, 3);
  ASSERT_TRUE(Open(image));
  EXPECT_EQ(ScanCluster(3).size(), 62u + 64u);

  // ScanFatDisk with a folder path looks it up from the root region.
  ASSERT_TRUE(Open(image, u"V:\\DIR"));
  const auto by_path = ScanRoot();
  EXPECT_TRUE(result_);
  ASSERT_EQ(by_path.size(), 62u + 64u);
  EXPECT_EQ(by_path.front().path, "V:\\DIR\\FILL002.BIN");
  ASSERT_TRUE(Open(image, u"V:\\NOPE"));
  ScanRoot();
  EXPECT_FALSE(result_);

  EXPECT_TRUE(engine_.FatDirectory(3, nullptr));
  EXPECT_FALSE(engine_.FatDirectory(4, nullptr));
  EXPECT_FALSE(engine_.FatDirectory(0, nullptr));
}

TEST_F(Fat16Scan, UnformatSweepNumbersFoldersByTheirDotEntries) {
  Fat16Image image(4, 5000);
  // Folder 300 under the root, free in the new FAT.
  image.entry(300, 0, DotEntry(false, 300));
  image.entry(300, 1, DotEntry(true, 0));
  const auto long_name = LongNameEntries(u"Holiday photo.jpg", "HOLIDA~1JPG");
  for (size_t i = 0; i < long_name.size(); ++i) image.entry(300, static_cast<uint32_t>(2 + i), long_name[i]);
  image.entry(300, static_cast<uint32_t>(2 + long_name.size()), ShortEntry("HOLIDA~1JPG", kFile, 400, 5555));
  // Folder 310 inside it.
  image.entry(310, 0, DotEntry(false, 310));
  image.entry(310, 1, DotEntry(true, 300));
  image.entry(310, 2, ShortEntry("DEEP    TXT", kFile, 401, 7));
  // A folder the new file system uses: skipped.
  image.chain({320});
  image.entry(320, 0, DotEntry(false, 320));
  image.entry(320, 1, DotEntry(true, 0));
  image.entry(320, 2, ShortEntry("NEW     TXT", kFile, 0));
  // A long name at a cluster start: a later cluster of an old folder, whose
  // parent is not known.
  image.entry(330, 0, LongNameEntries(u"Orphan.txt", "ORPHAN  TXT")[0]);
  image.entry(330, 1, ShortEntry("ORPHAN  TXT", kFile, 0));
  ASSERT_TRUE(Open(image));

  std::vector<Found> found;
  EXPECT_TRUE(engine_.ScanFatFormatDisk(image.size(), Collect, &found));
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].path, "Holiday photo.jpg");
  EXPECT_EQ(found[0].record.ParentFolder, 0u);
  EXPECT_EQ(found[0].record.Folder, 300u);
  EXPECT_EQ(uint64_t{found[0].record.FileSize}, 5555u);
  EXPECT_EQ(found[1].path, "DEEP.TXT");
  EXPECT_EQ(found[1].record.ParentFolder, 300u);
  EXPECT_EQ(found[1].record.Folder, 310u);
  EXPECT_EQ(found[2].path, "Orphan.txt");
  EXPECT_EQ(found[2].record.ParentFolder, 0u);
  EXPECT_EQ(found[2].record.Folder, 330u);
}

TEST_F(Fat16Scan, RecoveryStartsAfterTheRootRegion) {
  Fat16Image image(4, 5000);
  const uint32_t cluster_bytes = image.cluster_size();
  std::string expected;
  // A present file in clusters 10, 20 and 11; a deleted one from 50 on.
  const std::vector<uint32_t> chain = {10, 20, 11};
  for (uint32_t c : chain) {
    std::string piece(cluster_bytes, static_cast<char>('a' + c % 26));
    image.put(image.cluster_offset(c), piece.data(), piece.size());
    expected += piece;
  }
  expected.resize(expected.size() - 100);
  image.chain(chain);
  std::string deleted(3 * cluster_bytes + 5, 'z');
  for (size_t i = 0; i < deleted.size(); ++i) deleted[i] = static_cast<char>(i * 7);
  image.put(image.cluster_offset(50), deleted.data(), deleted.size());
  ASSERT_TRUE(Open(image));

  const std::string out = testing::TempPath("fat16-out.bin");
  const std::string second = testing::TempPath("fat16-out (1).bin");
  std::filesystem::remove(out);
  std::filesystem::remove(second);
  EXPECT_TRUE(engine_.FatRecoverData(text::from_utf8(out).c_str(), 10, expected.size(), nullptr, nullptr));
  EXPECT_EQ(testing::ReadFileBytes(out), expected);
  // The name is taken now: the second file is numbered, the first kept.
  EXPECT_TRUE(engine_.FatRecoverData(text::from_utf8(out).c_str(), 50, deleted.size(), nullptr, nullptr));
  EXPECT_EQ(testing::ReadFileBytes(out), expected);
  EXPECT_EQ(testing::ReadFileBytes(second), deleted);
}

TEST_F(Fat16Scan, BootValuesThatWouldDivideByZeroGiveFalse) {
  // Zero bytes per sector, then zero sectors per cluster.
  for (size_t field : {size_t{11}, size_t{13}}) {
    Fat16Image broken(4, 5000);
    const uint16_t zero = 0;
    broken.put(field, &zero, field == 11 ? 2 : 1);
    ASSERT_TRUE(Open(broken));
    std::vector<Found> found;
    EXPECT_FALSE(engine_.ScanFatDisk(Collect, &found, 0, nullptr));
    EXPECT_FALSE(engine_.ScanFatFormatDisk(broken.size(), Collect, &found));
    EXPECT_FALSE(engine_.SearchCluster(RcWString(u"V:"), nullptr, 3, nullptr, Collect, &found));
    EXPECT_FALSE(engine_.FatDirectory(3, nullptr));
    EXPECT_FALSE(engine_.FatRecoverData(text::from_utf8(testing::TempPath("never.bin")).c_str(), 3, 10, nullptr, nullptr));
    EXPECT_TRUE(found.empty());
  }
  // The deleted-folder search always asks the FAT32 scanner, which has no
  // volume here.
  _FileInfoFat record;
  record.FirstCluster = 5;
  EXPECT_FALSE(engine_.IsDirectory32(1ull << 30, &record, Collect, nullptr));
}

}  // namespace
}  // namespace salvor
