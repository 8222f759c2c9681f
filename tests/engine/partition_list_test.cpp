// The partition list of ReListPartitions over disks built in code: what a
// record says of each partition, the caller's capacity, and when the
// search runs.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/text.h"
#include "engine/partition_list.h"
#include "tests/fixtures/disk_image_builder.h"
#include "tests/fixtures/fat_image_builder.h"

namespace salvor::engine {
namespace {

using testing::DiskImageBuilder;
constexpr uint64_t kMiB = 1024 * 1024;

std::vector<std::byte> SmallFat32() {
  testing::Fat32Options options;
  options.cluster_count = 1900;
  return testing::Fat32ImageBuilder(options).image();
}

// 16 MiB: FAT32 primaries at 1 and 3 MiB, an extended partition from 6 MiB
// with one FAT32 logical at 7 MiB.
DiskImageBuilder MbrDisk() {
  DiskImageBuilder disk(16 * kMiB);
  const auto volume = SmallFat32();
  const auto sectors = static_cast<uint32_t>(volume.size() / 512);
  disk.mbr_entry(0, 0, 0x0C, 2048, sectors, 0x80);
  disk.mbr_entry(0, 1, 0x0C, 6144, sectors);
  disk.mbr_entry(0, 2, 0x0F, 12288, 16384);
  disk.mbr_entry(12288, 0, 0x0C, 2048, sectors);
  disk.put(1 * kMiB, volume);
  disk.put(3 * kMiB, volume);
  disk.put(7 * kMiB, volume);
  return disk;
}

std::u16string Name(const RePartitionRecord& record) { return record.FileSystem; }

TEST(PartitionList, RecordsOfAnMbrDisk) {
  auto disk = MbrDisk();
  const volsys::MemoryDisk reader(disk.image());
  std::array<RePartitionRecord, 8> records{};
  RePartitionList list;
  list.Records = records.data();
  list.Capacity = static_cast<uint32_t>(records.size());
  FillPartitionList(ListVolumes(reader, 0), disk.image().size(), list);
  EXPECT_EQ(list.Table, kReTableMbr);
  EXPECT_EQ(list.SectorBytes, 512u);
  EXPECT_EQ(list.DiskBytes, 16 * kMiB);
  ASSERT_EQ(list.Count, 4u);
  EXPECT_EQ(records[0].Index, 1u);
  EXPECT_EQ(records[0].StartBytes, 1 * kMiB);
  EXPECT_EQ(records[0].Kind, kVolumeFat32);
  EXPECT_EQ(Name(records[0]), u"FAT32");
  EXPECT_EQ(records[2].Index, 3u);
  EXPECT_EQ(records[2].Flags, kRePartitionExtended);
  EXPECT_EQ(records[2].Kind, 0);
  EXPECT_EQ(Name(records[2]), u"extended");
  EXPECT_EQ(records[3].Index, 5u);
  EXPECT_EQ(records[3].StartBytes, 7 * kMiB);
  EXPECT_EQ(records[3].Flags, 0u);
  EXPECT_EQ(records[4].StructSize, sizeof(RePartitionRecord));
  EXPECT_EQ(records[4].Index, 0u) << "a record past the count was written";
}

TEST(PartitionList, OnlyTheCapacityIsWritten) {
  auto disk = MbrDisk();
  const volsys::MemoryDisk reader(disk.image());
  std::array<RePartitionRecord, 3> records{};
  records[2].Index = 77;  // the guard past the capacity
  RePartitionList list;
  list.Records = records.data();
  list.Capacity = 2;
  FillPartitionList(ListVolumes(reader, 0), disk.image().size(), list);
  EXPECT_EQ(list.Count, 4u);
  EXPECT_EQ(records[1].Index, 2u);
  EXPECT_EQ(records[2].Index, 77u);
  // No records at all: the count alone.
  RePartitionList count_only;
  FillPartitionList(ListVolumes(reader, 0), disk.image().size(), count_only);
  EXPECT_EQ(count_only.Count, 4u);
}

TEST(PartitionList, SearchRunsWhenNothingIsRecognisedOrWhenAsked) {
  auto disk = MbrDisk();
  disk.zero(0, 512);  // the MBR wiped: the volumes are still there
  const volsys::MemoryDisk reader(disk.image());
  std::array<RePartitionRecord, 8> records{};
  RePartitionList list;
  list.Records = records.data();
  list.Capacity = static_cast<uint32_t>(records.size());
  FillPartitionList(ListVolumes(reader, 0), disk.image().size(), list);
  EXPECT_EQ(list.Table, kReTableNone);
  ASSERT_EQ(list.Count, 3u);
  for (uint32_t i = 0; i < list.Count; ++i) {
    EXPECT_EQ(records[i].Flags, kRePartitionFound);
    EXPECT_EQ(records[i].Kind, kVolumeFat32);
  }
  EXPECT_EQ(records[2].StartBytes, 7 * kMiB);

  RePartitionList quick;
  FillPartitionList(ListVolumes(reader, kReListNoSearch), disk.image().size(), quick);
  EXPECT_EQ(quick.Count, 0u);

  // A table that lists only the first volume: the others only by search,
  // and only when asked.
  auto partial = MbrDisk();
  partial.zero(446 + 16, 48);
  partial.mbr_entry(0, 3, 0x00, 0, 0);
  const volsys::MemoryDisk partial_reader(partial.image());
  RePartitionList table_only;
  FillPartitionList(ListVolumes(partial_reader, 0), partial.image().size(), table_only);
  EXPECT_EQ(table_only.Count, 1u);
  std::array<RePartitionRecord, 8> searched{};
  RePartitionList with_search;
  with_search.Records = searched.data();
  with_search.Capacity = static_cast<uint32_t>(searched.size());
  FillPartitionList(ListVolumes(partial_reader, kReListSearch), partial.image().size(), with_search);
  ASSERT_EQ(with_search.Count, 3u);
  EXPECT_EQ(searched[0].Flags, 0u);
  EXPECT_EQ(searched[1].Flags, kRePartitionFound);
  EXPECT_EQ(searched[1].StartBytes, 3 * kMiB);
}

TEST(PartitionList, FromAFileAndFromNothing) {
  const auto path = std::filesystem::temp_directory_path() / "salvor-partition-list.img";
  MbrDisk().save(path.string());
  RePartitionList list;
  EXPECT_TRUE(ListPartitions(text::from_utf8(path.string()), 0, list));
  EXPECT_EQ(list.Count, 4u);
  EXPECT_EQ(list.DiskBytes, 16 * kMiB);
  std::filesystem::remove(path);
  RePartitionList missing;
  EXPECT_FALSE(ListPartitions(text::from_utf8(path.string()), 0, missing));
  EXPECT_FALSE(ListPartitions(u"", 0, missing));
}

}  // namespace
}  // namespace salvor::engine
