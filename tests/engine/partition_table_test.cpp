// Partition tables and the lost-partition search over disks built in code:
// one valid disk per table type, and one mutation per kind of damage.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/volsys/partition_search.h"
#include "engine/volsys/partition_table.h"
#include "tests/fixtures/disk_image_builder.h"
#include "tests/fixtures/fat_image_builder.h"

namespace salvor::engine::volsys {
namespace {

using testing::DiskImageBuilder;

constexpr uint64_t kMiB = 1024 * 1024;

// A FAT32 volume of about 1 MiB (2048 clusters of 512 bytes).
std::vector<std::byte> SmallFat32(uint32_t bytes_per_sector = 512) {
  testing::Fat32Options options;
  options.bytes_per_sector = bytes_per_sector;
  options.cluster_count = bytes_per_sector == 512 ? 1900 : 200;
  return testing::Fat32ImageBuilder(options).image();
}

uint32_t Sectors(const std::vector<std::byte>& volume, uint32_t sector_bytes = 512) {
  return static_cast<uint32_t>(volume.size() / sector_bytes);
}

VolumeSystem Read(DiskImageBuilder& disk) { return ReadVolumeSystem(MemoryDisk(disk.image())); }

// 16 MiB: FAT32 at 1 MiB and 3 MiB (primaries 1, 2), an extended partition
// from 6 MiB holding logicals at 7 MiB and 10 MiB.
DiskImageBuilder MbrDisk() {
  DiskImageBuilder disk(16 * kMiB);
  const auto volume = SmallFat32();
  disk.mbr_entry(0, 0, 0x0C, 2048, Sectors(volume), 0x80);
  disk.mbr_entry(0, 1, 0x0C, 6144, Sectors(volume));
  disk.mbr_entry(0, 2, 0x0F, 12288, 16384);
  disk.put(1 * kMiB, volume);
  disk.put(3 * kMiB, volume);
  // EBR at 6 MiB: logical at +1 MiB; link to the EBR at extended + 3 MiB.
  disk.mbr_entry(12288, 0, 0x0C, 2048, Sectors(volume));
  disk.mbr_entry(12288, 1, 0x05, 6144, 4096);
  disk.put(7 * kMiB, volume);
  disk.mbr_entry(18432, 0, 0x0C, 2048, Sectors(volume));
  disk.put(10 * kMiB, volume);
  return disk;
}

std::vector<uint32_t> Indexes(const VolumeSystem& system) {
  std::vector<uint32_t> out;
  for (const Partition& p : system.partitions) out.push_back(p.index);
  return out;
}

bool HasNote(const VolumeSystem& system, std::u16string_view text) {
  return std::any_of(system.notes.begin(), system.notes.end(),
                     [&](const std::u16string& note) { return note.find(text) != std::u16string::npos; });
}

TEST(MbrTable, PrimariesAndLogicals) {
  auto disk = MbrDisk();
  const VolumeSystem system = Read(disk);
  ASSERT_EQ(system.table, TableType::kMbr);
  EXPECT_EQ(system.sector_bytes, 512u);
  EXPECT_EQ(Indexes(system), (std::vector<uint32_t>{1, 2, 3, 5, 6}));
  EXPECT_TRUE(system.notes.empty()) << system.notes.size();
  const Partition* first = FindPartition(system, 1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->start_bytes, 1 * kMiB);
  EXPECT_EQ(first->mbr_type, 0x0C);
  EXPECT_EQ(first->file_system.type, FileSystemType::kFat32);
  EXPECT_TRUE(FindPartition(system, 3)->extended);
  EXPECT_FALSE(FindPartition(system, 3)->scannable());
  EXPECT_EQ(FindPartition(system, 5)->start_bytes, 7 * kMiB);
  EXPECT_EQ(FindPartition(system, 6)->start_bytes, 10 * kMiB);
  EXPECT_TRUE(FindPartition(system, 6)->scannable());
}

TEST(MbrTable, LoopingChainEnds) {
  auto disk = MbrDisk();
  disk.mbr_entry(18432, 1, 0x05, 0, 4096);  // the second EBR links back to the first
  const VolumeSystem system = Read(disk);
  EXPECT_EQ(Indexes(system), (std::vector<uint32_t>{1, 2, 3, 5, 6}));
  EXPECT_TRUE(HasNote(system, u"loops"));
}

TEST(MbrTable, SelfLinkingEbrEnds) {
  auto disk = MbrDisk();
  disk.mbr_entry(12288, 1, 0x05, 0, 4096);
  const VolumeSystem system = Read(disk);
  EXPECT_EQ(Indexes(system), (std::vector<uint32_t>{1, 2, 3, 5}));
  EXPECT_TRUE(HasNote(system, u"loops"));
}

TEST(MbrTable, EntriesPastTheDiskAreCut) {
  auto disk = MbrDisk();
  disk.mbr_entry(0, 3, 0x07, 30000, 0xFFFFFFF0);  // starts inside, ends far past
  disk.mbr_entry(12288, 1, 0x05, 0xFFFFFF00, 10);  // a link past the disk
  const VolumeSystem system = Read(disk);
  ASSERT_EQ(system.table, TableType::kMbr);
  const Partition* cut = FindPartition(system, 4);
  ASSERT_NE(cut, nullptr);
  EXPECT_TRUE(cut->past_end);
  EXPECT_EQ(cut->start_bytes + cut->length_bytes, 16 * kMiB);
  EXPECT_EQ(FindPartition(system, 6), nullptr);
  EXPECT_TRUE(HasNote(system, u"leaves the extended partition"));
}

TEST(MbrTable, OverlapsAreNoted) {
  auto disk = MbrDisk();
  disk.mbr_entry(0, 1, 0x0C, 2100, 100);
  const VolumeSystem system = Read(disk);
  EXPECT_TRUE(HasNote(system, u"partitions 1 and 2 overlap"));
}

TEST(MbrTable, BadStatusByteIsNoTable) {
  auto disk = MbrDisk();
  disk.image()[446] = std::byte{0x42};
  EXPECT_EQ(Read(disk).table, TableType::kNone);
}

TEST(MbrTable, FourKibSectorsByGeometry) {
  DiskImageBuilder disk(16 * kMiB, 4096);
  const auto volume = SmallFat32(4096);
  disk.mbr_entry(0, 0, 0x0C, 256, Sectors(volume, 4096));
  disk.put(1 * kMiB, volume);
  const VolumeSystem system = Read(disk);
  ASSERT_EQ(system.table, TableType::kMbr);
  EXPECT_EQ(system.sector_bytes, 4096u);
  EXPECT_EQ(FindPartition(system, 1)->start_bytes, 1 * kMiB);
  EXPECT_EQ(FindPartition(system, 1)->file_system.type, FileSystemType::kFat32);
}

TEST(BareVolume, WholeDiskIsOneVolume) {
  DiskImageBuilder disk(2 * kMiB);
  disk.put(0, SmallFat32());
  const VolumeSystem system = Read(disk);
  ASSERT_EQ(system.table, TableType::kVolume);
  ASSERT_EQ(system.partitions.size(), 1u);
  EXPECT_EQ(system.partitions[0].start_bytes, 0u);
  EXPECT_EQ(system.partitions[0].length_bytes, 2 * kMiB);
  EXPECT_TRUE(system.partitions[0].scannable());
}

DiskImageBuilder GptDisk(uint32_t sector_bytes = 512) {
  DiskImageBuilder disk(16 * kMiB, sector_bytes);
  const uint64_t per_mib = kMiB / sector_bytes;
  const auto volume = SmallFat32(sector_bytes);
  disk.gpt({{per_mib, per_mib + Sectors(volume, sector_bytes) - 1, 0xA2, u"first"},
            {5 * per_mib, 5 * per_mib + Sectors(volume, sector_bytes) - 1, 0xA2, u"second"}});
  disk.put(1 * kMiB, volume);
  disk.put(5 * kMiB, volume);
  return disk;
}

TEST(GptTable, Partitions) {
  for (const uint32_t sector_bytes : {512u, 4096u}) {
    auto disk = GptDisk(sector_bytes);
    const VolumeSystem system = Read(disk);
    ASSERT_EQ(system.table, TableType::kGpt) << sector_bytes;
    EXPECT_EQ(system.sector_bytes, sector_bytes);
    EXPECT_EQ(Indexes(system), (std::vector<uint32_t>{1, 2}));
    EXPECT_TRUE(system.notes.empty());
    EXPECT_EQ(system.partitions[1].start_bytes, 5 * kMiB);
    EXPECT_EQ(system.partitions[1].name, u"second");
    EXPECT_EQ(system.partitions[1].origin, PartitionOrigin::kTable);
    EXPECT_EQ(system.partitions[1].file_system.type, FileSystemType::kFat32);
    EXPECT_EQ(GuidText(system.partitions[0].type_guid).substr(0, 9), u"131211A2-");
  }
}

TEST(GptTable, DamagedPrimaryUsesBackupAndSaysSo) {
  struct Damage {
    const char* what;
    void (*apply)(DiskImageBuilder&);
  };
  const Damage damages[] = {
      {"header CRC", [](DiskImageBuilder& d) { d.image()[d.primary_gpt_offset() + 40] ^= std::byte{1}; }},
      {"array CRC", [](DiskImageBuilder& d) { d.image()[2 * 512 + 200] ^= std::byte{1}; }},
      {"2^32 entries",
       [](DiskImageBuilder& d) {
         d.put_u32(d.primary_gpt_offset() + 80, 0xFFFFFFFF);
         d.fix_gpt_header_crc(d.primary_gpt_offset());
       }},
      {"wiped start", [](DiskImageBuilder& d) { d.zero(0, 34 * 512); }},
  };
  for (const Damage& damage : damages) {
    auto disk = GptDisk();
    damage.apply(disk);
    const VolumeSystem system = Read(disk);
    ASSERT_EQ(system.table, TableType::kGpt) << damage.what;
    EXPECT_EQ(Indexes(system), (std::vector<uint32_t>{1, 2})) << damage.what;
    EXPECT_EQ(system.partitions[0].origin, PartitionOrigin::kBackupTable) << damage.what;
    EXPECT_TRUE(HasNote(system, u"backup")) << damage.what;
  }
}

TEST(GptTable, BothHeadersDamagedIsNoTable) {
  auto disk = GptDisk();
  disk.image()[disk.primary_gpt_offset() + 40] ^= std::byte{1};
  disk.image()[disk.backup_gpt_offset() + 40] ^= std::byte{1};
  EXPECT_EQ(Read(disk).table, TableType::kNone);
}

TEST(GptTable, HostileEntries) {
  auto disk = GptDisk();
  // Entry 3: past the disk; entry 4: ends before it starts; entry 5
  // overlaps entry 1. Both copies of the array are changed and re-checked.
  for (const uint64_t array : {uint64_t{2 * 512}, disk.image().size() - 33 * 512}) {
    disk.image()[array + 2 * 128] = std::byte{0xA2};
    disk.put_u64(array + 2 * 128 + 32, 1'000'000);
    disk.put_u64(array + 2 * 128 + 40, 2'000'000);
    disk.image()[array + 3 * 128] = std::byte{0xA2};
    disk.put_u64(array + 3 * 128 + 32, 5000);
    disk.put_u64(array + 3 * 128 + 40, 4000);
    disk.image()[array + 4 * 128] = std::byte{0xA2};
    disk.put_u64(array + 4 * 128 + 32, 2100);
    disk.put_u64(array + 4 * 128 + 40, 2200);
  }
  const uint32_t crc = testing::TestCrc32(disk.image().data() + 2 * 512, 128 * 128);
  for (const uint64_t header : {disk.primary_gpt_offset(), disk.backup_gpt_offset()}) {
    disk.put_u32(header + 88, crc);
    disk.fix_gpt_header_crc(header);
  }
  const VolumeSystem system = Read(disk);
  ASSERT_EQ(system.table, TableType::kGpt);
  EXPECT_EQ(Indexes(system), (std::vector<uint32_t>{1, 2, 3, 5}));
  EXPECT_TRUE(FindPartition(system, 3)->past_end);
  EXPECT_EQ(FindPartition(system, 3)->length_bytes, 0u);
  EXPECT_FALSE(FindPartition(system, 3)->scannable());
  EXPECT_TRUE(HasNote(system, u"entry 4 ends before it starts"));
  EXPECT_TRUE(HasNote(system, u"partitions 1 and 5 overlap"));
}

TEST(Search, FindsTheVolumesOfAWipedMbr) {
  auto disk = MbrDisk();
  disk.zero(0, 512);
  VolumeSystem system = Read(disk);
  EXPECT_EQ(system.table, TableType::kNone);
  const SearchResult result = SearchPartitions(MemoryDisk(disk.image()), SearchDepth::kAligned);
  EXPECT_TRUE(result.complete);
  AddSearchResults(system, result);
  std::vector<uint64_t> starts;
  for (const Partition& p : system.partitions) {
    starts.push_back(p.start_bytes);
    EXPECT_EQ(p.origin, PartitionOrigin::kSearch);
    EXPECT_EQ(p.file_system.type, FileSystemType::kFat32);
  }
  EXPECT_EQ(starts, (std::vector<uint64_t>{1 * kMiB, 3 * kMiB, 7 * kMiB, 10 * kMiB}));
  EXPECT_EQ(Indexes(system), (std::vector<uint32_t>{1, 2, 3, 4}));
}

TEST(Search, BackupBootSectorAndOverlapWithTable) {
  auto disk = MbrDisk();
  // The volume at 3 MiB lost its boot sector; its backup at sector 6 stays.
  const auto boot = std::vector<std::byte>(disk.image().begin() + 3 * kMiB, disk.image().begin() + 3 * kMiB + 512);
  disk.put(3 * kMiB + 6 * 512, boot);
  disk.zero(3 * kMiB, 512);
  // An older volume at 13 MiB that no table entry names.
  const auto volume = SmallFat32();
  disk.put(13 * kMiB, volume);
  VolumeSystem system = Read(disk);
  AddSearchResults(system, SearchPartitions(MemoryDisk(disk.image()), SearchDepth::kAligned));
  const Partition* recovered = nullptr;
  const Partition* older = nullptr;
  for (const Partition& p : system.partitions) {
    if (p.origin != PartitionOrigin::kSearch) continue;
    if (p.start_bytes == 3 * kMiB) recovered = &p;
    if (p.start_bytes == 13 * kMiB) older = &p;
  }
  ASSERT_NE(recovered, nullptr);
  EXPECT_TRUE(recovered->from_backup_boot_sector);
  EXPECT_EQ(recovered->overlaps, (std::vector<uint32_t>{2}));
  ASSERT_NE(older, nullptr);
  EXPECT_EQ(recovered->index, 7u);
  EXPECT_EQ(older->index, 8u);
  EXPECT_EQ(system.partitions.size(), 7u);  // the table's own volumes are not listed twice
}

TEST(Search, InconsistentBootSectorIsDropped) {
  auto disk = MbrDisk();
  disk.zero(0, 512);
  disk.zero(1 * kMiB + 32 * 512, 512);   // the FAT of the volume at 1 MiB
  const SearchResult result = SearchPartitions(MemoryDisk(disk.image()), SearchDepth::kAligned);
  for (const Partition& p : result.found) EXPECT_NE(p.start_bytes, 1 * kMiB);
}

TEST(Search, DeepFindsUnalignedVolumes) {
  DiskImageBuilder disk(8 * kMiB);
  disk.put(2 * kMiB + 63 * 512, SmallFat32());
  EXPECT_TRUE(SearchPartitions(MemoryDisk(disk.image()), SearchDepth::kAligned).found.empty());
  const SearchResult deep = SearchPartitions(MemoryDisk(disk.image()), SearchDepth::kDeep);
  ASSERT_EQ(deep.found.size(), 1u);
  EXPECT_EQ(deep.found[0].start_bytes, 2 * kMiB + 63 * 512);
}

TEST(Search, ProgressCanStop) {
  auto disk = MbrDisk();
  int calls = 0;
  const SearchResult result = SearchPartitions(MemoryDisk(disk.image()), SearchDepth::kDeep,
                                               [&](uint64_t done, uint64_t total) {
                                                 EXPECT_LE(done, total);
                                                 return ++calls < 1;
                                               });
  EXPECT_FALSE(result.complete);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace salvor::engine::volsys
