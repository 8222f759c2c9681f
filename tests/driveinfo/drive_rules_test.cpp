// Which drives Surveyor lists and what it says about them, decided over
// probes as the OS would answer them.
#include "driveinfo/drive_rules.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace salvor::driveinfo {
namespace {

constexpr uint64_t kGiB = uint64_t{1} << 30;

VolumeProbe Fixed(std::u16string root, std::u16string fs, uint64_t total, uint64_t available) {
  VolumeProbe probe;
  probe.root = std::move(root);
  probe.type = DriveType::kFixed;
  probe.file_system = std::move(fs);
  probe.capacity_bytes = total;
  probe.available_bytes = available;
  return probe;
}

VolumeProbe UsbStick(std::u16string root, std::u16string fs) {
  VolumeProbe probe = Fixed(std::move(root), std::move(fs), 8 * kGiB, 2 * kGiB);
  probe.type = DriveType::kRemovable;
  probe.usb = true;
  return probe;
}

const SurveyRules kWindows{};

TEST(DriveRulesTest, AFixedNtfsDriveIsOneEntry) {
  const auto drives = SelectDrives({Fixed(u"C:\\", u"NTFS", 100 * kGiB, 25 * kGiB)}, kWindows);
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].RootPath, u"C:\\");
  EXPECT_EQ(drives[0].TypeText, u"Fixed Storage Device");
  EXPECT_EQ(drives[0].FileSystem, u"NTFS");
  EXPECT_DOUBLE_EQ(drives[0].TotalGB, 100.0);
  EXPECT_DOUBLE_EQ(drives[0].FreeGB, 25.0);
  EXPECT_DOUBLE_EQ(drives[0].UsedGB, 75.0);
  EXPECT_TRUE(drives[0].SpaceKnown);
}

TEST(DriveRulesTest, AUsbStickReportingExFatInMixedCaseIsListedUpperCased) {
  const auto drives = SelectDrives({UsbStick(u"Z:\\", u"exFAT")}, kWindows);
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].FileSystem, u"EXFAT");
  EXPECT_EQ(drives[0].TypeText, u"Removable Storage Device");
  EXPECT_EQ(drives[0].RootPath, u"Z:\\");
}

TEST(DriveRulesTest, DrivesThatAreNotListed) {
  VolumeProbe card_reader = UsbStick(u"E:\\", u"FAT32");
  card_reader.usb = false;  // removable on another bus
  VolumeProbe cd = Fixed(u"F:\\", u"FAT32", kGiB, 0);
  cd.type = DriveType::kOther;
  VolumeProbe unformatted = UsbStick(u"G:\\", u"");
  unformatted.capacity_bytes = unformatted.available_bytes = std::nullopt;
  VolumeProbe no_free_space = Fixed(u"H:\\", u"NTFS", kGiB, 0);
  no_free_space.available_bytes = std::nullopt;  // the free-space query failed
  VolumeProbe empty_medium = UsbStick(u"I:\\", u"FAT");
  empty_medium.capacity_bytes = 0;
  VolumeProbe loop = Fixed(u"/dev/loop0", u"FAT32", kGiB, kGiB);
  loop.type = DriveType::kLoop;

  const auto drives = SelectDrives({card_reader, cd, unformatted, no_free_space, empty_medium, loop,
                                    Fixed(u"J:\\", u"CDFS", kGiB, 0), Fixed(u"K:\\", u"UDF", kGiB, 0),
                                    Fixed(u"L:\\", u"ReFS", kGiB, kGiB), Fixed(u"M:\\", u"FAT16", kGiB, kGiB)},
                                   kWindows);
  EXPECT_TRUE(drives.empty());
}

TEST(DriveRulesTest, EveryFamilyNameIsListedInProbeOrder) {
  const auto drives = SelectDrives({Fixed(u"D:\\", u"fat", kGiB, 0), Fixed(u"E:\\", u"Fat32", kGiB, 0),
                                    UsbStick(u"F:\\", u"EXFAT"), Fixed(u"G:\\", u"ntfs", kGiB, 0)},
                                   kWindows);
  ASSERT_EQ(drives.size(), 4u);
  EXPECT_EQ(drives[0].FileSystem, u"FAT");
  EXPECT_EQ(drives[1].FileSystem, u"FAT32");
  EXPECT_EQ(drives[2].FileSystem, u"EXFAT");
  EXPECT_EQ(drives[3].FileSystem, u"NTFS");
}

TEST(DriveRulesTest, UsedSpaceNeverWrapsAround) {
  const auto info = MakeDriveInfo(Fixed(u"C:\\", u"NTFS", kGiB, 2 * kGiB), kWindows);
  ASSERT_TRUE(info);
  EXPECT_DOUBLE_EQ(info->UsedGB, 0.0);
}

TEST(DriveRulesTest, LinuxListsUnmountedVolumesWithTheirFreeSpaceUnknown) {
  SurveyRules linux_rules;
  linux_rules.list_without_free_space = true;
  VolumeProbe unmounted = Fixed(u"/dev/sdb1", u"FAT32", 4 * kGiB, 0);
  unmounted.available_bytes = std::nullopt;
  const auto info = MakeDriveInfo(unmounted, linux_rules);
  ASSERT_TRUE(info);
  EXPECT_FALSE(info->SpaceKnown);
  EXPECT_DOUBLE_EQ(info->TotalGB, 4.0);
  EXPECT_DOUBLE_EQ(info->FreeGB, 0.0);
  EXPECT_DOUBLE_EQ(info->UsedGB, 0.0);

  // Still not listed: unreadable, or no size.
  VolumeProbe unreadable = unmounted;
  unreadable.file_system.clear();
  EXPECT_FALSE(MakeDriveInfo(unreadable, linux_rules));
  VolumeProbe no_size = unmounted;
  no_size.capacity_bytes = std::nullopt;
  EXPECT_FALSE(MakeDriveInfo(no_size, linux_rules));
  // Windows keeps dropping it.
  EXPECT_FALSE(MakeDriveInfo(unmounted, kWindows));
}

// drives --all: whole disks, blank and foreign volumes are listed with what
// the system said (the caller reads their sectors); a drive that is no
// candidate or has no size still is not.
TEST(DriveRulesTest, EveryVolumeOnRequestWhateverItsFileSystem) {
  SurveyRules rules;
  rules.list_without_free_space = true;
  VolumeProbe disk = Fixed(u"/dev/sdb", u"", 4 * kGiB, 0);
  disk.available_bytes = std::nullopt;
  VolumeProbe ext4 = disk;
  ext4.root = u"/dev/sdb2";
  ext4.file_system = u"ext4";
  EXPECT_FALSE(MakeDriveInfo(disk, rules));
  EXPECT_FALSE(MakeDriveInfo(ext4, rules));
  rules.list_every_volume = true;
  const auto listed_disk = MakeDriveInfo(disk, rules);
  ASSERT_TRUE(listed_disk);
  EXPECT_EQ(listed_disk->FileSystem, u"");
  EXPECT_DOUBLE_EQ(listed_disk->TotalGB, 4.0);
  EXPECT_FALSE(listed_disk->SpaceKnown);
  const auto listed_ext4 = MakeDriveInfo(ext4, rules);
  ASSERT_TRUE(listed_ext4);
  EXPECT_EQ(listed_ext4->FileSystem, u"EXT4");

  VolumeProbe no_size = disk;
  no_size.capacity_bytes = std::nullopt;
  EXPECT_FALSE(MakeDriveInfo(no_size, rules));
  VolumeProbe virtual_device = disk;
  virtual_device.type = DriveType::kOther;
  EXPECT_FALSE(MakeDriveInfo(virtual_device, rules));
}

TEST(DriveRulesTest, LoopDevicesOnlyOnRequestAndAsFixed) {
  VolumeProbe loop = Fixed(u"/dev/loop3", u"FAT32", kGiB, kGiB);
  loop.type = DriveType::kLoop;
  SurveyRules rules;
  EXPECT_FALSE(MakeDriveInfo(loop, rules));
  rules.include_loop = true;
  const auto info = MakeDriveInfo(loop, rules);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->TypeText, u"Fixed Storage Device");
}

// A readable physical drive is offered for its partitions, whatever its
// first sector holds; one whose size the system does not tell is not.
TEST(DriveRulesTest, PhysicalDrivesWithASizeAreListedWithoutAFileSystem) {
  VolumeProbe disk;
  disk.root = PhysicalDrivePath(1);
  disk.type = DriveType::kPhysicalDisk;
  disk.capacity_bytes = 64 * kGiB;
  VolumeProbe sizeless = disk;
  sizeless.root = PhysicalDrivePath(12);
  sizeless.capacity_bytes = std::nullopt;
  const auto drives = SelectDrives({Fixed(u"C:\\", u"NTFS", 100 * kGiB, 25 * kGiB), disk, sizeless}, kWindows);
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives[1].RootPath, u"\\\\.\\PhysicalDrive1");
  EXPECT_EQ(drives[1].TypeText, u"Physical Disk");
  EXPECT_EQ(drives[1].FileSystem, u"");
  EXPECT_DOUBLE_EQ(drives[1].TotalGB, 64.0);
  EXPECT_FALSE(drives[1].SpaceKnown);
  EXPECT_EQ(PhysicalDrivePath(12), u"\\\\.\\PhysicalDrive12");
}

TEST(DriveRulesTest, RootsSkipTheFloppyLettersAndKeepZ) {
  EXPECT_EQ(RootsFromDriveMask(0x3FFFFFFu).size(), 24u);
  EXPECT_EQ(RootsFromDriveMask(0x3FFFFFFu).front(), u"C:\\");
  EXPECT_EQ(RootsFromDriveMask(0x3FFFFFFu).back(), u"Z:\\");
  EXPECT_EQ(RootsFromDriveMask((1u << 0) | (1u << 1) | (1u << 4)), (std::vector<std::u16string>{u"E:\\"}));
  EXPECT_TRUE(RootsFromDriveMask(0xFC000000u).empty());  // bits past Z mean nothing
}

TEST(DriveRulesTest, BusTypeComesFromItsPlaceInTheDescriptor) {
  std::array<std::byte, 551> descriptor{};
  const uint32_t usb = 7;
  std::memcpy(descriptor.data() + 28, &usb, sizeof usb);
  EXPECT_EQ(BusTypeFromDescriptor(descriptor), std::optional<uint32_t>(kBusTypeUsb));
  EXPECT_EQ(BusTypeFromDescriptor(Bytes(descriptor.data(), 32)), std::optional<uint32_t>(kBusTypeUsb));
  EXPECT_FALSE(BusTypeFromDescriptor(Bytes(descriptor.data(), 31)));  // the query returned too little
  descriptor[28] = std::byte{11};                                        // SATA
  EXPECT_EQ(BusTypeFromDescriptor(descriptor), std::optional<uint32_t>(11));
}

TEST(DriveRulesTest, BlkidNamesBecomeWhatWindowsReports) {
  EXPECT_EQ(FileSystemFromBlkid("vfat", "FAT32"), u"FAT32");
  EXPECT_EQ(FileSystemFromBlkid("vfat", "FAT16"), u"FAT");
  EXPECT_EQ(FileSystemFromBlkid("vfat", "FAT12"), u"FAT");
  EXPECT_EQ(FileSystemFromBlkid("exfat", "1.0"), u"exFAT");
  EXPECT_EQ(FileSystemFromBlkid("ntfs", ""), u"NTFS");
  EXPECT_EQ(FileSystemFromBlkid("ext4", "1.0"), u"ext4");
}

}  // namespace
}  // namespace salvor::driveinfo
