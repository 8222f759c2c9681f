// The drive page's partition rows with the real engine library: a disk
// image with an MBR lists one row per scannable partition, each mapped to
// a letter that scans only that partition; records from the library are
// taken only when they are consistent.
#include <gtest/gtest.h>

#include "app/core/disk_partitions.h"
#include "app/core/drive_list.h"
#include "common/text.h"
#include "tests/fixtures/disk_image_builder.h"
#include "tests/fixtures/fat_image_builder.h"
#include "tests/fixtures/temp_files.h"

namespace salvor::app {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

// 16 MiB: FAT32 primaries at 1 and 3 MiB (the second labelled apart), an
// extended partition from 6 MiB, an unknown partition at 12 MiB.
std::string SaveMbrDisk() {
  testing::Fat32Options options;
  options.cluster_count = 1900;
  const auto volume = testing::Fat32ImageBuilder(options).image();
  const auto sectors = static_cast<uint32_t>(volume.size() / 512);
  testing::DiskImageBuilder disk(16 * kMiB);
  disk.mbr_entry(0, 0, 0x0C, 2048, sectors, 0x80);
  disk.mbr_entry(0, 1, 0x0C, 6144, sectors);
  disk.mbr_entry(0, 2, 0x0F, 12288, 8192);
  disk.mbr_entry(0, 3, 0x83, 24576, 2048);
  disk.put(1 * kMiB, volume);
  disk.put(3 * kMiB, volume);
  const std::string path = testing::TempPath("partitions.img");
  disk.save(path);
  return path;
}

TEST(DiskPartitionRows, AnMbrImageListsItsScannablePartitions) {
  const std::string path = SaveMbrDisk();
  EngineBinding engine;
  ASSERT_TRUE(engine.bind());
  ASSERT_TRUE(engine.ReListPartitions && engine.ReMountImageRange && engine.InitReEngine);
  const auto partitions = ListDiskPartitions(engine, text::from_utf8(path), 0);
  ASSERT_TRUE(partitions);
  ASSERT_EQ(partitions->size(), 2u);
  EXPECT_EQ((*partitions)[0].index, 1u);
  EXPECT_EQ((*partitions)[1].index, 2u);
  EXPECT_EQ((*partitions)[1].start_bytes, 3 * kMiB);
  EXPECT_EQ((*partitions)[1].file_system, u"FAT32");

  // The second partition under a letter of its own is a volume the engine
  // opens on its own.
  const auto letters = FreeLetters(0, {}, partitions->size());
  ASSERT_EQ(letters.size(), 2u);
  const DriveInfo drive = PartitionDrive(letters[1], (*partitions)[1], u"Disk Image");
  EXPECT_EQ(drive.RootPath, u"Y:\\");
  EXPECT_EQ(drive.FileSystem, u"FAT32");
  EXPECT_NEAR(drive.TotalGB * 1073741824.0, static_cast<double>((*partitions)[1].length_bytes), 1.0);
  ASSERT_TRUE(engine.ReMountImageRange(letters[1], text::from_utf8(path).c_str(), (*partitions)[1].start_bytes,
                                       (*partitions)[1].length_bytes));
  EXPECT_TRUE(engine.InitReEngine(VolumeKindOf(drive.FileSystem), drive.RootPath.c_str()));
  engine.ReMountImageRange(letters[1], nullptr, 0, 0);

  EXPECT_FALSE(ListDiskPartitions(engine, text::from_utf8(path + ".missing"), 0));
  EngineBinding unbound;
  EXPECT_FALSE(ListDiskPartitions(unbound, text::from_utf8(path), 0));
}

// The volumes of a disk through the library's ReListPartitionsEx: the rows
// of a GPT by path and through an open volume, and the export's refusal of
// structures of another layout.
TEST(DiskVolumesOfTheEngine, AGptImageByPathAndByHandle) {
  testing::Fat32Options options;
  options.cluster_count = 1900;
  testing::DiskImageBuilder disk(8 * kMiB);
  disk.gpt({{2048, 6143, 0xA2, u"data"}});
  disk.put(1 * kMiB, testing::Fat32ImageBuilder(options).image());
  const std::string path = testing::TempPath("gpt-volumes.img");
  disk.save(path);
  EngineBinding engine;
  ASSERT_TRUE(engine.bind());
  ASSERT_TRUE(engine.ReListPartitionsEx);

  int progress_calls = 0;
  DiskVolumesRequest request;
  request.flags = kReListSearch;
  request.progress = [&](uint64_t done, uint64_t total) {
    ++progress_calls;
    EXPECT_EQ(total, 8 * kMiB);
    EXPECT_LE(done, total);
  };
  const auto volumes = ReadDiskVolumes(engine, text::from_utf8(path), request);
  ASSERT_TRUE(volumes);
  EXPECT_EQ(TableName(volumes->table), u"GPT");
  EXPECT_EQ(volumes->disk_bytes, 8 * kMiB);
  EXPECT_EQ(volumes->status, kReListSearched);
  EXPECT_GT(progress_calls, 0);
  ASSERT_EQ(volumes->partitions.size(), 1u) << "the search finds the table's own volume only";
  const DiskVolume& data = volumes->partitions[0];
  EXPECT_EQ(data.name, u"data");
  EXPECT_EQ(data.file_system, u"FAT32");
  EXPECT_TRUE(data.scannable());
  EXPECT_EQ(OriginName(data), u"table");
  EXPECT_EQ(TypeGuidText(data.type_guid).substr(0, 9), u"131211A2-");
  EXPECT_EQ(FindDiskVolume(*volumes, 1), &data);
  EXPECT_EQ(FindDiskVolume(*volumes, 2), nullptr);

  platform::RawVolume volume;
  ASSERT_TRUE(volume.open(text::from_utf8(path)));
  DiskVolumesRequest by_handle;
  by_handle.native_handle = volume.native_handle();
  const auto through_handle = ReadDiskVolumes(engine, u"", by_handle);
  ASSERT_TRUE(through_handle);
  EXPECT_EQ(through_handle->partitions.size(), 1u);

  RePartitionOptions wrong_options;
  wrong_options.StructSize = sizeof(RePartitionOptions) - 8;
  RePartitionList list;
  EXPECT_FALSE(engine.ReListPartitionsEx(text::from_utf8(path).c_str(), &wrong_options, &list));
  std::array<RePartitionRecord, 2> records{};
  records[0].StructSize = 64;  // a record of an older layout
  list.Records = records.data();
  list.Capacity = 2;
  EXPECT_FALSE(engine.ReListPartitionsEx(text::from_utf8(path).c_str(), nullptr, &list));
  EXPECT_FALSE(engine.ReListPartitions(text::from_utf8(path).c_str(), 0, &list));
  records[0].StructSize = sizeof(RePartitionRecord);
  EXPECT_TRUE(engine.ReListPartitionsEx(text::from_utf8(path).c_str(), nullptr, &list));
  EXPECT_EQ(std::u16string(records[0].Name), u"data");

  EXPECT_FALSE(ReadDiskVolumes(engine, text::from_utf8(path + ".missing"), {}));
  EXPECT_FALSE(ReadDiskVolumes(EngineBinding{}, text::from_utf8(path), {}));
}

TEST(DiskPartitionRows, InconsistentRecordsAreLeftOut) {
  std::array<RePartitionRecord, 5> records{};
  auto name = [](RePartitionRecord& r, std::u16string_view text) {
    std::copy(text.begin(), text.end(), r.FileSystem);
  };
  records[0] = {sizeof(RePartitionRecord), 1, 1 * kMiB, 4 * kMiB, kVolumeNtfs, 0, {}};
  name(records[0], u"NTFS");
  records[1] = {sizeof(RePartitionRecord), 2, 5 * kMiB, 4 * kMiB, kVolumeFat32, 0, {}};
  name(records[1], u"NTFS");  // name and kind disagree
  records[2] = {sizeof(RePartitionRecord), 3, 9 * kMiB, 0, kVolumeFat32, 0, {}};
  name(records[2], u"FAT32");  // empty
  records[3] = {sizeof(RePartitionRecord), 4, 9 * kMiB, 4 * kMiB, kVolumeFat32, kRePartitionExtended, {}};
  name(records[3], u"FAT32");
  records[4] = {sizeof(RePartitionRecord), 5, 13 * kMiB, 1 * kMiB, kVolumeExFat, kRePartitionFound, {}};
  std::fill(std::begin(records[4].FileSystem), std::end(records[4].FileSystem), u'E');  // no 0 at the end
  const auto rows = ScannablePartitions(records);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].index, 1u);
  EXPECT_EQ(rows[0].file_system, u"NTFS");
}

TEST(DiskPartitionRows, LettersNamesAndPhysicalDrives) {
  // Z: used by the system, Y: by a listed drive.
  DriveInfo listed;
  listed.RootPath = u"Y:\\";
  const auto letters = FreeLetters(1u << 25, {listed}, 3);
  EXPECT_EQ(letters, (std::vector<char16_t>{u'X', u'W', u'V'}));
  EXPECT_EQ(FreeLetters(0xFFFFFFFFu, {}, 2).size(), 0u);
  EXPECT_EQ(FreeLetters(0, {}, 40).size(), 23u);  // Z: to D:

  DiskPartition partition{2, kMiB, kMiB, u"NTFS"};
  const DriveInfo drive = PartitionDrive(u'X', partition, u"Disk Image");
  EXPECT_EQ(PartitionRowName(drive, 2), u"X: partition 2");
  EXPECT_EQ(PartitionRowName(drive, 12, u"disk 1"), u"X: disk 1 #12");
  EXPECT_EQ(DriveNameOfRow(PartitionRowName(drive, 2)), u"X:");
  EXPECT_EQ(DriveNameOfRow(u"E:"), u"E:");

  EXPECT_EQ(PhysicalDriveNumber(u"\\\\.\\PhysicalDrive0"), 0u);
  EXPECT_EQ(PhysicalDriveNumber(u"\\\\.\\physicaldrive12"), 12u);
  EXPECT_FALSE(PhysicalDriveNumber(u"\\\\.\\PhysicalDrive"));
  EXPECT_FALSE(PhysicalDriveNumber(u"\\\\.\\PhysicalDrive1x"));
  EXPECT_FALSE(PhysicalDriveNumber(u"E:\\"));
}

}  // namespace
}  // namespace salvor::app
