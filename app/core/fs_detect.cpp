#include "app/core/fs_detect.h"

#include <cstring>

#include "common/text.h"
#include "engine/gleaner_api.h"

namespace salvor::app {
namespace {

constexpr FileSystemInfo kFat16Info{FileSystem::kFat16, kVolumeFat16, u"FAT"};
constexpr FileSystemInfo kFat32Info{FileSystem::kFat32, kVolumeFat32, u"FAT32"};
constexpr FileSystemInfo kExFatInfo{FileSystem::kExFat, kVolumeExFat, u"EXFAT"};
constexpr FileSystemInfo kNtfsInfo{FileSystem::kNtfs, kVolumeNtfs, u"NTFS"};

bool has_text(Bytes data, size_t offset, const char* expected) {
  const size_t length = std::strlen(expected);
  const auto field = slice(data, offset, length);
  return field && std::memcmp(field->data(), expected, length) == 0;
}

}  // namespace

std::optional<FileSystemInfo> DetectFileSystem(Bytes boot) {
  if (boot.size() < 512) return std::nullopt;
  // OEM names at offset 3 identify exFAT and NTFS.
  if (has_text(boot, 3, "EXFAT   ")) return kExFatInfo;
  if (has_text(boot, 3, "NTFS    ")) return kNtfsInfo;

  ByteReader reader(boot);
  const uint32_t bytes_per_sector = reader.u16(11);
  const uint32_t sectors_per_cluster = reader.u8(13);
  const uint32_t fat_count = reader.u8(16);
  const uint32_t sectors_per_fat16 = reader.u16(22);
  const uint32_t sectors_per_fat32 = reader.u32(36);
  const bool plausible_bpb = (bytes_per_sector == 512 || bytes_per_sector == 1024 || bytes_per_sector == 2048 ||
                              bytes_per_sector == 4096) &&
                             sectors_per_cluster != 0 && (sectors_per_cluster & (sectors_per_cluster - 1)) == 0 &&
                             fat_count != 0;
  if (!plausible_bpb) return std::nullopt;
  if (sectors_per_fat16 == 0 && sectors_per_fat32 != 0) return kFat32Info;
  if (sectors_per_fat16 == 0) return std::nullopt;
  // FAT12 shares the FAT16 boot sector; only its cluster count (below 4085)
  // tells it apart, and its 12-bit FAT is not read by the FAT16 scanner.
  const uint64_t reserved = reader.u16(14);
  const uint64_t root_entries = reader.u16(17);
  const uint64_t total16 = reader.u16(19);
  const uint64_t total = total16 != 0 ? total16 : reader.u32(32);
  const uint64_t root_sectors = (root_entries * 32 + bytes_per_sector - 1) / bytes_per_sector;
  const uint64_t data_start = reserved + static_cast<uint64_t>(fat_count) * sectors_per_fat16 + root_sectors;
  if (total <= data_start || (total - data_start) / sectors_per_cluster < 4085) return std::nullopt;
  return kFat16Info;
}

std::optional<FileSystemInfo> FileSystemByName(std::u16string_view name) {
  if (text::equals_ignore_case(name, u"fat32")) return kFat32Info;
  if (text::equals_ignore_case(name, u"fat16") || text::equals_ignore_case(name, u"fat")) return kFat16Info;
  if (text::equals_ignore_case(name, u"exfat")) return kExFatInfo;
  if (text::equals_ignore_case(name, u"ntfs")) return kNtfsInfo;
  return std::nullopt;
}

}  // namespace salvor::app
