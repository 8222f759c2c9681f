#include "engine/volsys/fs_probe.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "engine/exfat/exfat_geometry.h"
#include "engine/exfat/exfat_layout.h"
#include "engine/fat/fat_geometry.h"
#include "engine/fat/fat_layout.h"
#include "engine/ntfs/ntfs_record.h"
#include "engine/volsys/volsys_layout.h"

namespace salvor::engine::volsys {
namespace {

// FAT12 and FAT16 are told apart by their cluster count alone.
constexpr uint64_t kMinFat16Clusters = 4085;

bool has_text(Bytes data, size_t offset, std::string_view expected) {
  const auto field = slice(data, offset, expected.size());
  return field && std::memcmp(field->data(), expected.data(), expected.size()) == 0;
}

bool is_media_byte(uint32_t media) { return media == 0xF0 || media >= 0xF8; }

DetectedFileSystem probe_fat(Bytes boot) {
  DetectedFileSystem found;
  ByteReader reader(boot);
  const uint32_t media = reader.u8(fat::boot::kMedia);
  const uint32_t sectors_per_fat16 = reader.u16(fat::boot::kSectorsPerFat16);
  if (!reader.ok() || !is_media_byte(media)) return found;
  if (sectors_per_fat16 == 0) {
    const auto g = fat::FatGeometry::parse_fat32(boot);
    if (!g || g->total_sectors <= g->data_start_sector || g->root_cluster < 2) return found;
    found.type = FileSystemType::kFat32;
    found.kind = 32;
    found.bytes_per_sector = g->bytes_per_sector;
    found.volume_size_bytes = g->total_sectors * g->bytes_per_sector;
    return found;
  }
  const auto g = fat::FatGeometry::parse_fat16(boot);
  if (!g || g->total_sectors <= g->data_start_sector || g->root_entry_count == 0) return found;
  const uint64_t clusters = (g->total_sectors - g->data_start_sector) / g->sectors_per_cluster;
  found.type = clusters < kMinFat16Clusters ? FileSystemType::kFat12 : FileSystemType::kFat16;
  found.kind = clusters < kMinFat16Clusters ? 0 : 16;
  found.bytes_per_sector = g->bytes_per_sector;
  found.volume_size_bytes = g->total_sectors * g->bytes_per_sector;
  return found;
}

// Reads `length` bytes at `offset` of the volume that starts at `start`.
bool read_volume(const DiskReader& disk, uint64_t start, uint64_t offset, std::vector<std::byte>& out,
                 size_t length) {
  if (offset > UINT64_MAX - start) return false;
  out.assign(length, std::byte{0});
  return disk.read_at(start + offset, out);
}

bool fat_consistent(const DiskReader& disk, uint64_t start, Bytes boot, const DetectedFileSystem& detected) {
  const auto g = detected.type == FileSystemType::kFat32 ? fat::FatGeometry::parse_fat32(boot)
                                                         : fat::FatGeometry::parse_fat16(boot);
  if (!g) return false;
  std::vector<std::byte> fat_start;
  if (!read_volume(disk, start, g->sector_offset_bytes(g->reserved_sectors), fat_start, 8)) return false;
  ByteReader reader(fat_start);
  const uint32_t media = ByteReader(boot).u8(fat::boot::kMedia);
  // FAT[0] holds the media byte in its low byte, the rest of its bits set;
  // FAT[1] is an end-of-chain value (its top bits may carry the clean and
  // error flags, so only the low byte is compared).
  switch (detected.type) {
    case FileSystemType::kFat32:
      return (reader.u32(0) & 0x0FFFFFFF) == (0x0FFFFF00u | media) && (reader.u32(4) & 0xFF) == 0xFF;
    case FileSystemType::kFat16:
      return reader.u16(0) == (0xFF00u | media) && (reader.u16(2) & 0xFF) == 0xFF;
    case FileSystemType::kFat12:
      return reader.u8(0) == media && reader.u8(1) == 0xFF && reader.u8(2) == 0xFF;
    default:
      return false;
  }
}

bool exfat_consistent(const DiskReader& disk, uint64_t start, Bytes boot) {
  const auto g = exfat::ExFatGeometry::parse(boot);
  if (!g) return false;
  std::vector<std::byte> fat_start;
  if (!read_volume(disk, start, g->fat_offset_bytes, fat_start, 8)) return false;
  ByteReader reader(fat_start);
  // FAT[0] is the media value 0xFFFFFFF8, FAT[1] 0xFFFFFFFF.
  return reader.u32(0) == 0xFFFFFFF8u && reader.u32(4) == 0xFFFFFFFFu;
}

bool ntfs_consistent(const DiskReader& disk, uint64_t start, Bytes boot) {
  const auto g = ntfs::ParseBootSector(boot);
  if (!g || g->mft_cluster > UINT64_MAX / g->cluster_size_bytes) return false;
  std::vector<std::byte> record;
  if (!read_volume(disk, start, g->cluster_offset_bytes(g->mft_cluster), record, 4)) return false;
  return ByteReader(record).u32(0) == ntfs::record::kFileMagic;
}

}  // namespace

DetectedFileSystem ProbeBootSector(Bytes boot) {
  DetectedFileSystem found;
  const auto sector = slice(boot, 0, kSmallSectorBytes);
  if (!sector) return found;
  if (std::all_of(sector->begin(), sector->end(), [](std::byte b) { return b == std::byte{0}; })) {
    found.type = FileSystemType::kBlank;
    return found;
  }
  if (ByteReader(*sector).u16(mbr::kSignature) != mbr::kSignatureValue) return found;
  if (has_text(*sector, exfat::boot::kFileSystemName, "EXFAT   ")) {
    const auto g = exfat::ExFatGeometry::parse(*sector);
    if (!g) return found;
    const uint64_t sectors = ByteReader(*sector).u64(exfat::boot::kVolumeLength);
    found.type = FileSystemType::kExFat;
    found.kind = 88;
    found.bytes_per_sector = g->bytes_per_sector;
    found.volume_size_bytes = sectors <= UINT64_MAX / g->bytes_per_sector ? sectors * g->bytes_per_sector : 0;
    return found;
  }
  if (has_text(*sector, ntfs::boot::kOemName, "NTFS    ")) {
    const auto g = ntfs::ParseBootSector(*sector);
    if (!g || g->volume_size_bytes > UINT64_MAX - g->bytes_per_sector) return found;
    found.type = FileSystemType::kNtfs;
    found.kind = 99;
    found.bytes_per_sector = g->bytes_per_sector;
    found.volume_size_bytes = g->volume_size_bytes + g->bytes_per_sector;
    return found;
  }
  return probe_fat(*sector);
}

std::u16string_view FileSystemName(FileSystemType type) {
  switch (type) {
    case FileSystemType::kBlank: return u"blank";
    case FileSystemType::kUnknown: return u"unknown";
    case FileSystemType::kFat12: return u"FAT12";
    case FileSystemType::kFat16: return u"FAT";
    case FileSystemType::kFat32: return u"FAT32";
    case FileSystemType::kExFat: return u"EXFAT";
    case FileSystemType::kNtfs: return u"NTFS";
  }
  return u"unknown";
}

bool GeometryConsistent(const DiskReader& disk, uint64_t volume_start, Bytes boot,
                        const DetectedFileSystem& detected) {
  const uint64_t disk_size = disk.size_bytes();
  if (volume_start >= disk_size || detected.volume_size_bytes == 0 ||
      detected.volume_size_bytes > disk_size - volume_start) {
    return false;
  }
  switch (detected.type) {
    case FileSystemType::kFat12:
    case FileSystemType::kFat16:
    case FileSystemType::kFat32: return fat_consistent(disk, volume_start, boot, detected);
    case FileSystemType::kExFat: return exfat_consistent(disk, volume_start, boot);
    case FileSystemType::kNtfs: return ntfs_consistent(disk, volume_start, boot);
    default: return false;
  }
}

}  // namespace salvor::engine::volsys
