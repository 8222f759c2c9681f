#include "engine/fat/fat_geometry.h"

#include <algorithm>
#include <vector>

#include "engine/fat/fat_layout.h"

namespace salvor::engine::fat {
namespace {

bool is_power_of_two(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

// The fields both widths share; false when a value would make the derived
// geometry divide by zero or overflow.
bool parse_common(ByteReader& reader, FatGeometry& g) {
  g.bytes_per_sector = reader.u16(boot::kBytesPerSector);
  g.sectors_per_cluster = reader.u8(boot::kSectorsPerCluster);
  g.reserved_sectors = reader.u16(boot::kReservedSectors);
  g.fat_count = reader.u8(boot::kFatCount);
  const uint32_t total16 = reader.u16(boot::kTotalSectors16);
  const uint32_t total32 = reader.u32(boot::kTotalSectors32);
  g.total_sectors = total16 != 0 ? total16 : total32;
  if (!reader.ok()) return false;
  if (g.bytes_per_sector < 512 || g.bytes_per_sector > 4096 || !is_power_of_two(g.bytes_per_sector)) return false;
  if (!is_power_of_two(g.sectors_per_cluster)) return false;
  if (g.reserved_sectors == 0 || g.fat_count == 0) return false;
  g.cluster_size_bytes = g.bytes_per_sector * g.sectors_per_cluster;
  return true;
}

}  // namespace

std::optional<FatGeometry> FatGeometry::parse_fat32(Bytes boot_sector) {
  ByteReader reader(boot_sector);
  FatGeometry g;
  g.width = FatWidth::k32;
  if (!parse_common(reader, g)) return std::nullopt;
  g.sectors_per_fat = reader.u32(boot::kSectorsPerFat32);
  g.root_cluster = reader.u32(boot::kRootCluster32);
  if (!reader.ok() || g.sectors_per_fat == 0) return std::nullopt;
  g.data_start_sector = g.reserved_sectors + static_cast<uint64_t>(g.fat_count) * g.sectors_per_fat;
  const uint64_t entries = static_cast<uint64_t>(g.sectors_per_fat) * g.bytes_per_sector / 4;
  g.fat_entry_count = static_cast<uint32_t>(std::min<uint64_t>(entries, kFat32EndOfChain));
  return g;
}

std::optional<FatGeometry> FatGeometry::parse_fat16(Bytes boot_sector) {
  ByteReader reader(boot_sector);
  FatGeometry g;
  g.width = FatWidth::k16;
  if (!parse_common(reader, g)) return std::nullopt;
  g.sectors_per_fat = reader.u16(boot::kSectorsPerFat16);
  g.root_entry_count = reader.u16(boot::kRootEntryCount);
  if (!reader.ok() || g.sectors_per_fat == 0) return std::nullopt;
  g.root_dir_sectors = (g.root_entry_count * entry::kSize + g.bytes_per_sector - 1) / g.bytes_per_sector;
  g.root_dir_start_sector = g.reserved_sectors + static_cast<uint64_t>(g.fat_count) * g.sectors_per_fat;
  g.data_start_sector = g.root_dir_start_sector + g.root_dir_sectors;
  const uint64_t entries = static_cast<uint64_t>(g.sectors_per_fat) * g.bytes_per_sector / 2;
  g.fat_entry_count = static_cast<uint32_t>(std::min<uint64_t>(entries, kFat16EndOfChain));
  return g;
}

uint64_t FatGeometry::end_cluster() const {
  uint64_t end = fat_entry_count;
  if (total_sectors > data_start_sector && sectors_per_cluster != 0) {
    end = std::min<uint64_t>(end, 2 + (total_sectors - data_start_sector) / sectors_per_cluster);
  }
  return end;
}

uint64_t FatGeometry::max_file_bytes_from(uint32_t first_cluster) const {
  const uint64_t end = end_cluster();
  if (first_cluster < 2 || first_cluster >= end) return 0;
  return (end - first_cluster) * cluster_size_bytes;
}

bool FatGeometry::ends_chain(uint32_t fat_value) const {
  if (fat_value == 0) return true;
  return fat_value >= (width == FatWidth::k32 ? kFat32EndOfChain : kFat16EndOfChain);
}

bool FatGeometry::is_end_of_chain_mark(uint32_t fat_value) const {
  return fat_value > (width == FatWidth::k32 ? kFat32EndOfChain : kFat16EndOfChain);
}

std::optional<uint32_t> FatCache::entry(uint32_t cluster) {
  if (cluster >= geometry_.fat_entry_count) return std::nullopt;
  const uint64_t entry_bytes = geometry_.width == FatWidth::k32 ? 4 : 2;
  const uint64_t byte_in_fat = static_cast<uint64_t>(cluster) * entry_bytes;
  if (block_.empty() || byte_in_fat < block_start_ || byte_in_fat - block_start_ + entry_bytes > block_.size()) {
    const uint64_t fat_bytes = static_cast<uint64_t>(geometry_.sectors_per_fat) * geometry_.bytes_per_sector;
    const uint64_t start = byte_in_fat - byte_in_fat % kBlockBytes;
    if (start >= fat_bytes) return std::nullopt;
    block_.assign(static_cast<size_t>(std::min(kBlockBytes, fat_bytes - start)), std::byte{0});
    if (!volume_.read_at(geometry_.sector_offset_bytes(geometry_.reserved_sectors) + start, block_)) {
      block_.clear();
      return std::nullopt;
    }
    block_start_ = start;
  }
  ByteReader reader(block_);
  const size_t at = static_cast<size_t>(byte_in_fat - block_start_);
  const uint32_t value = entry_bytes == 4 ? reader.u32(at) : reader.u16(at);
  if (!reader.ok()) return std::nullopt;
  return value;
}

std::optional<uint32_t> ReadFatEntry(const platform::RawVolume& volume, const FatGeometry& geometry,
                                     uint32_t cluster) {
  if (cluster >= geometry.fat_entry_count) return std::nullopt;
  const uint64_t entry_bytes = geometry.width == FatWidth::k32 ? 4 : 2;
  const uint64_t byte_in_fat = static_cast<uint64_t>(cluster) * entry_bytes;
  const uint64_t sector = geometry.reserved_sectors + byte_in_fat / geometry.bytes_per_sector;
  // One FAT sector, as the directory walk reads it; entries never straddle
  // sectors since sector sizes are multiples of the entry width.
  std::vector<std::byte> buffer(geometry.bytes_per_sector);
  if (!volume.read_at(geometry.sector_offset_bytes(sector), buffer)) return std::nullopt;
  ByteReader reader(buffer);
  const size_t at = static_cast<size_t>(byte_in_fat % geometry.bytes_per_sector);
  const uint32_t value = entry_bytes == 4 ? reader.u32(at) : reader.u16(at);
  if (!reader.ok()) return std::nullopt;
  return value;
}

}  // namespace salvor::engine::fat
