// The partition list of ReListPartitions and ReListPartitionsEx over disks
// built in code: what a record says of each partition, the caller's
// capacity, the callbacks, and when and how the search runs and ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

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

// What the callbacks of RePartitionOptions were handed.
struct Reported {
  std::vector<RePartitionRecord> records;
  std::vector<std::vector<uint32_t>> overlaps;
  std::vector<std::u16string> notes;
  uint64_t last_done = 0;  // Progress
  int asked = 0;           // StopRequested
};

RePartitionOptions Reporting(Reported& reported) {
  RePartitionOptions options;
  options.Partition = [](const RePartitionRecord* record, const uint32_t* overlaps, uint32_t count, void* user) {
    auto& out = *static_cast<Reported*>(user);
    out.records.push_back(*record);
    out.overlaps.emplace_back(overlaps, overlaps + count);
    return 0u;
  };
  options.Note = [](const char16_t* text, void* user) {
    static_cast<Reported*>(user)->notes.emplace_back(text);
    return 0u;
  };
  options.User = &reported;
  return options;
}

TEST(PartitionList, RecordsCarryTypesNamesAndWhatTheSearchSaw) {
  // GPT: the type GUID as stored and the name.
  DiskImageBuilder gpt(8 * kMiB);
  gpt.gpt({{2048, 4095, 0xA2, u"first"}, {4096, 8191, 0xAF, std::u16string(36, u'n')}});
  const RePartitionRecord named = PartitionRecord(ListVolumes(volsys::MemoryDisk(gpt.image()), 0).system.partitions[0]);
  EXPECT_EQ(named.TypeGuid[0], 0xA2);
  EXPECT_EQ(std::u16string(named.Name), u"first");
  EXPECT_EQ(named.MbrType, 0u);
  const RePartitionRecord longest = PartitionRecord(ListVolumes(volsys::MemoryDisk(gpt.image()), 0).system.partitions[1]);
  EXPECT_EQ(std::u16string(longest.Name), std::u16string(36, u'n')) << "the longest GPT name fits whole";
  EXPECT_EQ(longest.TypeGuid[0], 0xAF);

  // MBR: the type codes. The volume at 3 MiB lost its boot sector (its
  // backup at sector 6 stays), and an older volume at 13 MiB is in no
  // table (inside the extended container, which is no volume).
  auto disk = MbrDisk();
  const auto boot = std::vector<std::byte>(disk.image().begin() + 3 * kMiB, disk.image().begin() + 3 * kMiB + 512);
  disk.put(3 * kMiB + 6 * 512, boot);
  disk.zero(3 * kMiB, 512);
  disk.put(13 * kMiB, SmallFat32());
  const volsys::MemoryDisk reader(disk.image());
  const VolumeListing listing = ListVolumes(reader, kReListSearch);
  EXPECT_EQ(listing.status, kReListSearched);
  Reported reported;
  ReportPartitions(listing.system, Reporting(reported));
  ASSERT_EQ(reported.records.size(), 6u);
  EXPECT_EQ(reported.records[0].MbrType, 0x0Cu);
  EXPECT_EQ(reported.records[2].MbrType, 0x0Fu);
  EXPECT_EQ(reported.records[1].Kind, 0) << "no boot sector where the table says";
  const RePartitionRecord& backup = reported.records[4];
  EXPECT_EQ(backup.StartBytes, 3 * kMiB);
  EXPECT_EQ(backup.Flags, kRePartitionFound | kRePartitionOverlaps | kRePartitionBackupBootSector);
  EXPECT_EQ(backup.Kind, kVolumeFat32);
  EXPECT_EQ(reported.overlaps[4], (std::vector<uint32_t>{2}));
  EXPECT_EQ(reported.records[5].StartBytes, 13 * kMiB);
  EXPECT_EQ(reported.records[5].Flags, kRePartitionFound);
  EXPECT_TRUE(reported.overlaps[5].empty());
  EXPECT_TRUE(reported.overlaps[0].empty());
}

// A disk whose reads fail from `bad_from` on.
class FailingDisk final : public volsys::DiskReader {
 public:
  FailingDisk(Bytes data, uint64_t bad_from) : data_(data), bad_from_(bad_from) {}
  uint64_t size_bytes() const override { return data_.size(); }
  bool read_at(uint64_t offset, MutableBytes out) const override {
    if (offset + out.size() > bad_from_) return false;
    return volsys::MemoryDisk(data_).read_at(offset, out);
  }

 private:
  Bytes data_;
  uint64_t bad_from_;
};

TEST(PartitionList, HowTheSearchRanIsSaid) {
  // A volume off every MiB boundary: found by the deep search only.
  DiskImageBuilder unaligned(24 * kMiB);
  unaligned.put(2 * kMiB + 63 * 512, SmallFat32());
  const volsys::MemoryDisk reader(unaligned.image());
  EXPECT_TRUE(ListVolumes(reader, 0).system.partitions.empty());
  const VolumeListing deep = ListVolumes(reader, kReListDeepSearch);
  EXPECT_EQ(deep.status, kReListSearched);
  ASSERT_EQ(deep.system.partitions.size(), 1u);
  EXPECT_EQ(deep.system.partitions[0].start_bytes, 2 * kMiB + 63 * 512);
  EXPECT_TRUE(deep.system.notes.empty());
  EXPECT_EQ(ListVolumes(reader, kReListDeepSearch | kReListNoSearch).status, 0u);

  // Stopped after the first read (8 MiB): what it found is kept.
  int reads = 0;
  const VolumeListing stopped = ListVolumes(reader, kReListDeepSearch, [&](uint64_t done, uint64_t total) {
    EXPECT_EQ(total, 24 * kMiB);
    EXPECT_EQ(done, 8 * kMiB);
    return ++reads < 1;
  });
  EXPECT_EQ(stopped.status, kReListSearched | kReListSearchStopped);
  EXPECT_EQ(stopped.system.partitions.size(), 1u);
  ASSERT_EQ(stopped.system.notes.size(), 1u);
  EXPECT_EQ(stopped.system.notes[0], u"the search was stopped before the end of the disk");

  // A read error is no stop.
  const FailingDisk failing(unaligned.image(), 8 * kMiB);
  const VolumeListing broken = ListVolumes(failing, kReListSearch, [](uint64_t, uint64_t) { return true; });
  EXPECT_EQ(broken.status, kReListSearched | kReListSearchIncomplete);
  ASSERT_EQ(broken.system.notes.size(), 1u);
  EXPECT_EQ(broken.system.notes[0], u"the search stopped at a read error at byte 8388608");
  RePartitionList list;
  FillPartitionList(broken, failing.size_bytes(), list);
  EXPECT_EQ(list.Status, kReListSearched | kReListSearchIncomplete);
}

TEST(PartitionList, OptionsOfAFileAndOfAnOpenVolume) {
  const auto path = std::filesystem::temp_directory_path() / "salvor-partition-options.img";
  auto disk = MbrDisk();
  disk.zero(0, 512);
  disk.save(path.string());
  Reported seen;
  RePartitionOptions options = Reporting(seen);
  options.Progress = [](uint64_t done, uint64_t, void* user) {
    static_cast<Reported*>(user)->last_done = done;
    return 0u;
  };
  options.StopRequested = [](void* user) { return static_cast<uint32_t>(++static_cast<Reported*>(user)->asked > 2); };
  RePartitionList list;
  ASSERT_TRUE(ListPartitions(text::from_utf8(path.string()), options, list));
  EXPECT_EQ(list.Status, kReListSearched);  // two reads of 8 MiB: asked twice, not stopped
  EXPECT_EQ(seen.asked, 2);
  EXPECT_EQ(seen.last_done, 16 * kMiB);
  EXPECT_EQ(list.Count, 3u);
  EXPECT_EQ(seen.records.size(), 3u);

  // Through the handle of a volume opened here, the path unused.
  platform::RawVolume volume;
  ASSERT_TRUE(volume.open(text::from_utf8(path.string())));
  Reported by_handle;
  RePartitionOptions handle_options = Reporting(by_handle);
  handle_options.NativeHandle = volume.native_handle();
  RePartitionList handle_list;
  ASSERT_TRUE(ListPartitions(u"", handle_options, handle_list));
  EXPECT_EQ(handle_list.Count, 3u);
  EXPECT_EQ(by_handle.records.size(), 3u);
  volume.close();  // Windows neither shortens nor removes an open file

  // An empty file is a disk of nothing here, refused by ReListPartitions.
  std::filesystem::resize_file(path, 0);
  RePartitionList empty;
  Reported nothing;
  ASSERT_TRUE(ListPartitions(text::from_utf8(path.string()), Reporting(nothing), empty));
  EXPECT_EQ(empty.Count, 0u);
  EXPECT_EQ(nothing.notes, (std::vector<std::u16string>{u"the disk is smaller than one sector"}));
  EXPECT_FALSE(ListPartitions(text::from_utf8(path.string()), 0u, empty));
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace salvor::engine
