// Geometry of a FAT16 or FAT32 volume, decoded from its boot sector, and the
// reads that follow from it (FAT entries, clusters).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/byte_reader.h"
#include "platform/platform.h"

namespace salvor::engine::fat {

enum class FatWidth { k16, k32 };

struct FatGeometry {
  FatWidth width = FatWidth::k32;
  uint32_t bytes_per_sector = 0;
  uint32_t sectors_per_cluster = 0;
  uint32_t reserved_sectors = 0;
  uint32_t fat_count = 0;
  uint32_t sectors_per_fat = 0;
  uint32_t root_cluster = 0;      // FAT32: first cluster of the root directory
  uint32_t root_entry_count = 0;  // FAT16: entries in the fixed root region
  uint32_t root_dir_sectors = 0;  // FAT16: sectors of the fixed root region
  uint64_t total_sectors = 0;     // as the boot sector says; 0 when it says nothing

  uint64_t root_dir_start_sector = 0;  // FAT16: first sector of the root region
  uint64_t data_start_sector = 0;      // first sector of cluster 2
  uint32_t cluster_size_bytes = 0;
  // Entries the first FAT can hold. No chain can visit more distinct
  // clusters than this, so it bounds every walk along a chain.
  uint32_t fat_entry_count = 0;

  // Decodes and sanity-checks the fields that the arithmetic depends on.
  // Nothing else is validated: the caller's kind decides the file system.
  static std::optional<FatGeometry> parse_fat32(Bytes boot_sector);
  static std::optional<FatGeometry> parse_fat16(Bytes boot_sector);

  uint64_t sector_offset_bytes(uint64_t sector) const { return sector * bytes_per_sector; }
  // Byte offset of cluster N (N >= 2) on the volume.
  uint64_t cluster_offset_bytes(uint32_t cluster) const {
    return sector_offset_bytes(data_start_sector + static_cast<uint64_t>(cluster - 2) * sectors_per_cluster);
  }
  uint64_t data_start_bytes() const { return sector_offset_bytes(data_start_sector); }
  bool is_data_cluster(uint32_t cluster) const { return cluster >= 2 && cluster < fat_entry_count; }
  // The cluster number just past the volume's last data cluster: the data
  // region's end as the sector count gives it, and never past the FAT.
  uint64_t end_cluster() const;
  // The most bytes a file that starts at `first_cluster` can hold: the
  // clusters from there to the volume's end (0 for no data cluster). A
  // recorded size beyond it is damage, and no recovery writes more.
  uint64_t max_file_bytes_from(uint32_t first_cluster) const;
  bool ends_chain(uint32_t fat_value) const;
  // True for the values that mark a chain's last cluster (0x0FFFFFF8 or
  // more; FAT16 0xFFF8 or more), unlike 0 (free) or the bad-cluster mark.
  bool is_end_of_chain_mark(uint32_t fat_value) const;
  // Clusters a directory can span: FAT directories hold at most 65536
  // entries of 32 bytes (2 MiB), so a longer chain is damage, usually a loop.
  uint32_t max_directory_clusters() const { return (kMaxDirectoryBytes + cluster_size_bytes - 1) / cluster_size_bytes; }
  static constexpr uint32_t kMaxDirectoryBytes = 65536 * 32;
};

// Reads FAT entries through a cache of one block of the first FAT, for walks
// that visit many entries (a file's chain during recovery).
class FatCache {
 public:
  FatCache(const platform::RawVolume& volume, const FatGeometry& geometry) : volume_(volume), geometry_(geometry) {}
  // Nothing on a failed read or a cluster outside the FAT.
  std::optional<uint32_t> entry(uint32_t cluster);

 private:
  static constexpr uint64_t kBlockBytes = 64 * 1024;
  const platform::RawVolume& volume_;
  const FatGeometry& geometry_;
  std::vector<std::byte> block_;
  uint64_t block_start_ = 0;  // byte offset of block_ inside the FAT
};

// Reads the first FAT's entry for `cluster` (one FAT sector). Nothing on a
// failed read or a cluster outside the FAT.
std::optional<uint32_t> ReadFatEntry(const platform::RawVolume& volume, const FatGeometry& geometry,
                                     uint32_t cluster);

// Walks the chain that starts at `first_cluster`, handing each cluster to
// `visit` (which returns false to stop). Ends at an end-of-chain value, a
// value outside the data clusters, a failed FAT read, or after
// `max_clusters` clusters (never more than fat_entry_count, which only a
// chain that loops can reach). Returns false only when a FAT read failed.
template <typename Visit>
bool WalkChain(const platform::RawVolume& volume, const FatGeometry& geometry, uint32_t first_cluster,
               uint32_t max_clusters, Visit&& visit) {
  uint32_t cluster = first_cluster;
  const uint32_t bound = max_clusters < geometry.fat_entry_count ? max_clusters : geometry.fat_entry_count;
  for (uint32_t walked = 0; walked < bound; ++walked) {
    if (!visit(cluster)) return true;
    const auto next = ReadFatEntry(volume, geometry, cluster);
    if (!next) return false;
    if (geometry.ends_chain(*next) || !geometry.is_data_cluster(*next)) return true;
    cluster = *next;
  }
  return true;
}

}  // namespace salvor::engine::fat
