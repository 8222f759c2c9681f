// The drive page's rules: row texts, the selected record, the file system a
// drive is scanned as, drives listed from their boot sector, and the
// program's switches.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdio>

#include "app/core/command_line.h"
#include "app/core/drive_list.h"
#include "app/core/volume_probe.h"
#include "engine/gleaner_api.h"
#include "common/text.h"
#include "tests/fixtures/temp_files.h"

namespace salvor::app {
namespace {

DriveInfo drive(std::u16string root, double total, double free, std::u16string fs) {
  DriveInfo d;
  d.RootPath = std::move(root);
  d.TotalGB = total;
  d.FreeGB = free;
  d.FileSystem = std::move(fs);
  return d;
}

TEST(DriveList, RowsNameTheDriveAndRoundSizesToTwoPlaces) {
  const DriveRowTexts row = DriveRow(drive(u"E:\\", 14.9149, 3.265, u"FAT32"));
  EXPECT_EQ(row.name, u"E:");
  EXPECT_EQ(row.capacity, u"14.91 GB");
  EXPECT_EQ(row.free_space, u"3.27 GB");  // %.02f rounds
  EXPECT_EQ(row.format, u"FAT32");
  EXPECT_EQ(GigabytesText(0), u"0.00 GB");

  const DriveInfoList drives{drive(u"E:\\", 1, 1, u"FAT32"), drive(u"F:\\", 2, 2, u"NTFS"),
                             drive(u"F:\\", 3, 3, u"EXFAT")};
  ASSERT_NE(FindDriveByName(drives, u"F:"), nullptr);
  EXPECT_EQ(FindDriveByName(drives, u"F:")->FileSystem, u"NTFS");  // the first of equal names
  EXPECT_EQ(FindDriveByName(drives, u"f:"), nullptr);               // exact comparison
  EXPECT_EQ(FindDriveByName(drives, u"G:"), nullptr);
  EXPECT_EQ(FindDriveByName({}, u"E:"), nullptr);
}

TEST(DriveList, FileSystemFlagsAndKinds) {
  EXPECT_EQ(FatFamilyFlag(u"NTFS"), 0);
  EXPECT_EQ(FatFamilyFlag(u"EXFAT"), 0);
  EXPECT_EQ(FatFamilyFlag(u"FAT32"), 1);
  EXPECT_EQ(FatFamilyFlag(u"FAT"), 1);
  EXPECT_EQ(VolumeKindOf(u"FAT"), kVolumeFat16);
  EXPECT_EQ(VolumeKindOf(u"FAT32"), kVolumeFat32);
  EXPECT_EQ(VolumeKindOf(u"EXFAT"), kVolumeExFat);
  EXPECT_EQ(VolumeKindOf(u"NTFS"), kVolumeNtfs);
  EXPECT_EQ(VolumeKindOf(u"exFAT"), 0);  // names as the list shows them, upper-cased
  EXPECT_EQ(VolumeKindOf(u"RAW"), 0);
}

// A FAT32 boot sector, just enough for the engine to tell it and its size.
std::array<std::byte, 512> fat32_boot(uint32_t total_sectors) {
  std::array<std::byte, 512> b{};
  auto put16 = [&](size_t at, uint16_t v) { b[at] = std::byte(v & 0xFF); b[at + 1] = std::byte(v >> 8); };
  auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF); put16(at + 2, v >> 16); };
  put16(11, 512);
  b[13] = std::byte{8};
  put16(14, 32);
  b[16] = std::byte{2};
  put32(32, total_sectors);
  b[21] = std::byte{0xF8};  // media
  put32(36, 1000);
  put32(44, 2);  // root cluster
  b[510] = std::byte{0x55};
  b[511] = std::byte{0xAA};
  return b;
}

TEST(DriveList, TheBootSectorNamesTheFileSystemAndListsRawDrives) {
  const auto boot = fat32_boot(2 * 1024 * 1024);  // 1 GiB
  EngineBinding engine;
  ASSERT_TRUE(engine.bind());
  const BootSectorFacts decoded = DetectFileSystem(engine, boot);
  const VolumeFacts facts{decoded.file_system, decoded.size_bytes};
  ASSERT_TRUE(facts.file_system);
  EXPECT_EQ(facts.size_bytes, 1073741824u);

  // The system said NTFS; the sectors say FAT32. Its sizes fit the device
  // and stay.
  DriveInfo reported = drive(u"E:\\", 0.75, 0.5, u"NTFS");
  reported.SpaceKnown = true;
  ApplyVolumeFacts(reported, facts);
  EXPECT_EQ(reported.FileSystem, u"FAT32");
  EXPECT_DOUBLE_EQ(reported.TotalGB, 0.75);
  EXPECT_TRUE(reported.SpaceKnown);
  // A capacity beyond the device is not the volume's: the device's size,
  // free space unknown.
  DriveInfo host_sized = drive(u"E:\\", 250, 60, u"NTFS");
  host_sized.SpaceKnown = true;
  ApplyVolumeFacts(host_sized, facts);
  EXPECT_DOUBLE_EQ(host_sized.TotalGB, 1.0);
  EXPECT_DOUBLE_EQ(host_sized.FreeGB, 0);
  EXPECT_FALSE(host_sized.SpaceKnown);
  // Unreadable or unrecognised sectors leave the system's name.
  DriveInfo unread = drive(u"E:\\", 1, 1, u"NTFS");
  ApplyVolumeFacts(unread, std::nullopt);
  ApplyVolumeFacts(unread, VolumeFacts{std::nullopt, 0});
  EXPECT_EQ(unread.FileSystem, u"NTFS");

  // A RAW drive: listed from its boot sector, sized by it when the system
  // knows no size, with the free space unknown.
  const auto raw = DriveFromBootSector(u"F:\\", kRemovableDriveText, facts, std::nullopt, std::nullopt);
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->FileSystem, u"FAT32");
  EXPECT_DOUBLE_EQ(raw->TotalGB, 1.0);
  EXPECT_FALSE(raw->SpaceKnown);
  EXPECT_EQ(DriveRow(*raw).free_space, u"0.00 GB");
  const auto sized = DriveFromBootSector(u"F:\\", kFixedDriveText, facts, 2147483648ull, 536870912ull);
  ASSERT_TRUE(sized);
  EXPECT_DOUBLE_EQ(sized->TotalGB, 2.0);
  EXPECT_DOUBLE_EQ(sized->FreeGB, 0.5);
  EXPECT_TRUE(sized->SpaceKnown);
  // Nothing recognisable, or no size at all: not listed.
  EXPECT_FALSE(DriveFromBootSector(u"F:\\", kFixedDriveText, VolumeFacts{std::nullopt, 100}, 100, 0));
  EXPECT_FALSE(DriveFromBootSector(u"F:\\", kFixedDriveText, std::nullopt, 100, 0));
  EXPECT_FALSE(DriveFromBootSector(u"F:\\", kFixedDriveText, VolumeFacts{facts.file_system, 0}, 0, 0));
}

std::u16string write_file(const std::string& name, const std::string& bytes) {
  const std::string path = testing::TempPath(name);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f != nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return text::from_utf8(path);
}

TEST(VolumeProbe, ReadsTheBootSectorOfAnImageFile) {
  const auto boot = fat32_boot(4096);
  EngineBinding engine;
  ASSERT_TRUE(engine.bind());
  EXPECT_FALSE(ProbeVolume(EngineBinding{}, write_file("stick.img", std::string(512, 'x')))->file_system)
      << "without the engine nothing is recognised";
  const auto facts = ProbeVolume(engine, write_file("stick.img", std::string(reinterpret_cast<const char*>(boot.data()), boot.size())));
  ASSERT_TRUE(facts);
  ASSERT_TRUE(facts->file_system);
  EXPECT_EQ(std::u16string(facts->file_system->name), u"FAT32");
  EXPECT_EQ(facts->size_bytes, 512u);  // the file's own size comes first
  EXPECT_FALSE(ProbeVolume(engine, write_file("short.img", std::string(100, 'x'))));
  EXPECT_FALSE(ProbeVolume(engine, text::from_utf8(testing::TempPath("missing.img"))));
}

TEST(CommandLine, SwitchesInEveryWritingAndTheDoValue) {
  const auto none = ParseSwitches({});
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->setup_cache || none->safe_monitor || none->uninstall || none->install_local_engine ||
               none->elevated);
  const auto all = ParseSwitches({u"/setupcache", u"-SafeMonitor", u"--uninstall", u"/installlocalengine",
                                  u"/elevated", u"/do=scan"});
  ASSERT_TRUE(all);
  EXPECT_TRUE(all->setup_cache && all->safe_monitor && all->uninstall && all->install_local_engine && all->elevated);
  EXPECT_EQ(all->do_value, u"scan");
  EXPECT_EQ(ParseSwitches({u"-do:x"})->do_value, u"x");
  EXPECT_EQ(ParseSwitches({u"/do", u"next"})->do_value, u"next");
  EXPECT_FALSE(ParseSwitches({u"/do"}));          // no value
  EXPECT_FALSE(ParseSwitches({u"/bogus"}));
  EXPECT_FALSE(ParseSwitches({u"setupcache"}));   // not written as a switch
  EXPECT_FALSE(ParseSwitches({u"/uninstall=1"}));  // takes no value
  EXPECT_FALSE(ParseSwitches({u"---do=x"}));
}

}  // namespace
}  // namespace salvor::app
