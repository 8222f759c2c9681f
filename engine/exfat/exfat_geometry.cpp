#include "engine/exfat/exfat_geometry.h"

#include "engine/recovery/verdict.h"

#include <algorithm>
#include <unordered_set>

#include "engine/exfat/exfat_layout.h"

namespace salvor::engine::exfat {

std::optional<ExFatGeometry> ExFatGeometry::parse(Bytes boot_sector, std::optional<uint64_t> device_size_bytes) {
  ByteReader reader(boot_sector);
  const uint32_t sector_shift = reader.u8(boot::kBytesPerSectorShift);
  const uint32_t cluster_shift = reader.u8(boot::kSectorsPerClusterShift);
  const uint32_t fat_offset = reader.u32(boot::kFatOffset);
  const uint32_t fat_length = reader.u32(boot::kFatLength);
  const uint32_t heap_offset = reader.u32(boot::kClusterHeapOffset);
  const uint32_t cluster_count = reader.u32(boot::kClusterCount);
  const uint32_t root_cluster = reader.u32(boot::kRootCluster);
  if (!reader.ok()) return std::nullopt;
  // Shifts are checked before they are used, so no shift is ever wider
  // than the type or yields clusters over 32 MiB.
  if (sector_shift < boot::kMinSectorShift || sector_shift > boot::kMaxSectorShift) return std::nullopt;
  if (cluster_shift > boot::kMaxClusterShift - sector_shift) return std::nullopt;
  if (fat_offset == 0 || fat_length == 0 || heap_offset == 0 || cluster_count == 0) return std::nullopt;

  ExFatGeometry g;
  g.bytes_per_sector = 1u << sector_shift;
  g.sectors_per_cluster = 1u << cluster_shift;
  g.cluster_size_bytes = 1u << (sector_shift + cluster_shift);
  g.fat_offset_bytes = static_cast<uint64_t>(fat_offset) << sector_shift;
  g.fat_length_bytes = static_cast<uint64_t>(fat_length) << sector_shift;
  g.heap_offset_sectors = heap_offset;
  g.heap_offset_bytes = static_cast<uint64_t>(heap_offset) << sector_shift;
  g.root_cluster = root_cluster;

  // The FAT has an entry for cluster 0 and 1 before the heap's first.
  uint64_t clusters = std::min<uint64_t>(cluster_count, exfat::kMaxClusterCount);
  const uint64_t fat_entries = g.fat_length_bytes / 4;
  clusters = std::min<uint64_t>(clusters, fat_entries > 2 ? fat_entries - 2 : 0);
  if (device_size_bytes) {
    const uint64_t heap_bytes = *device_size_bytes > g.heap_offset_bytes ? *device_size_bytes - g.heap_offset_bytes : 0;
    clusters = std::min<uint64_t>(clusters, heap_bytes / g.cluster_size_bytes);
  }
  if (clusters == 0) return std::nullopt;
  g.cluster_count = static_cast<uint32_t>(clusters);
  return g;
}

std::optional<uint32_t> FatReader::entry(uint32_t cluster) {
  const uint64_t byte_in_fat = static_cast<uint64_t>(cluster) * 4;
  if (byte_in_fat + 4 > geometry_.fat_length_bytes) return std::nullopt;
  const uint64_t start = byte_in_fat - byte_in_fat % kBlockBytes;
  if (start != block_start_) {
    const uint64_t length = std::min<uint64_t>(kBlockBytes, geometry_.fat_length_bytes - start);
    block_.assign(static_cast<size_t>(length), std::byte{0});
    if (!volume_.read_at(geometry_.fat_offset_bytes + start, block_)) {
      block_start_ = UINT64_MAX;
      return std::nullopt;
    }
    block_start_ = start;
  }
  ByteReader reader(block_);
  const uint32_t value = reader.u32(static_cast<size_t>(byte_in_fat - start));
  if (!reader.ok()) return std::nullopt;
  return value;
}

ChainEnd CollectChain(const platform::RawVolume& volume, const ExFatGeometry& geometry, uint32_t first_cluster,
                      uint64_t max_clusters, std::vector<uint32_t>& clusters) {
  std::unordered_set<uint32_t> seen;
  return WalkChain(volume, geometry, first_cluster, max_clusters, [&](uint32_t cluster) {
    if (!seen.insert(cluster).second) return false;
    clusters.push_back(cluster);
    return true;
  });
}

bool AllocationBitmap::is_allocated(uint32_t cluster) const {
  if (cluster < 2) return true;  // clusters 0 and 1 do not exist; never report them as free
  const uint64_t index = cluster - 2;
  if (index / 8 >= length_bytes_) return false;
  return (std::to_integer<uint8_t>(bits_.bytes()[static_cast<size_t>(index / 8)]) >> (index % 8)) & 1;
}

uint64_t AllocationBitmap::count_allocated(uint32_t first_cluster, uint64_t count) const {
  if (first_cluster < 2) return count;
  const Bytes bits = bits_.bytes().first(static_cast<size_t>(std::min<uint64_t>(length_bytes_, bits_.bytes().size())));
  return recovery::CountSetBits(bits, first_cluster - 2, count);
}

BitmapLoad LoadAllocationBitmap(const platform::RawVolume& volume, const ExFatGeometry& geometry,
                                AllocationBitmap& bitmap) {
  if (!geometry.is_data_cluster(geometry.root_cluster)) return BitmapLoad::kReadFailed;
  ByteBuffer root;
  if (!root.allocate(geometry.cluster_size_bytes)) return BitmapLoad::kReadFailed;
  if (!volume.read_at(geometry.cluster_offset_bytes(geometry.root_cluster), root.bytes())) {
    return BitmapLoad::kReadFailed;
  }

  for (size_t at = 0; at + entry::kSize <= root.size(); at += entry::kSize) {
    ByteReader reader(Bytes(root.bytes()).subspan(at, entry::kSize));
    if (reader.u8(entry::kType) != entry::kAllocationBitmap) continue;
    const uint32_t first_cluster = reader.u32(bitmap::kFirstCluster);
    const uint64_t data_length = reader.u64(bitmap::kDataLength);
    if (!geometry.is_data_cluster(first_cluster)) return BitmapLoad::kReadFailed;
    // One bit per cluster is all the volume can use; a larger length is
    // not believed. Rounded up to whole 512-byte units, as it is read.
    const uint64_t needed = (static_cast<uint64_t>(geometry.cluster_count) + 7) / 8;
    uint64_t length = std::min(data_length, needed);
    length = (length + 511) / 512 * 512;
    // The run may not leave the heap.
    const uint64_t start = geometry.cluster_offset_bytes(first_cluster);
    if (length > geometry.heap_end_bytes() - start) length = geometry.heap_end_bytes() - start;
    ByteBuffer bits;
    if (!bits.allocate(static_cast<size_t>(length))) return BitmapLoad::kReadFailed;
    if (!volume.read_at(start, bits.bytes())) return BitmapLoad::kReadFailed;
    bitmap = AllocationBitmap(std::move(bits), std::min({data_length, needed, length}));
    return BitmapLoad::kLoaded;
  }
  return BitmapLoad::kNoEntry;
}

}  // namespace salvor::engine::exfat
