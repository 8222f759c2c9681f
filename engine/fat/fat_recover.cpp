#include "engine/fat/fat_recover.h"

#include <algorithm>

#include "engine/recovery/chain_extents.h"

namespace salvor::engine::fat {
namespace {

uint64_t clusters_for(uint64_t size_bytes, uint32_t cluster_size_bytes) {
  return size_bytes / cluster_size_bytes + (size_bytes % cluster_size_bytes != 0 ? 1 : 0);
}

}  // namespace

ChainState CheckChain(const platform::RawVolume& volume, const FatGeometry& geometry, uint32_t first_cluster,
                      uint64_t size_bytes) {
  if (size_bytes == 0 || !geometry.is_data_cluster(first_cluster)) return ChainState::kNotIntact;
  const uint64_t needed = clusters_for(size_bytes, geometry.cluster_size_bytes);
  if (needed > geometry.fat_entry_count) return ChainState::kNotIntact;
  FatCache fat(volume, geometry);
  uint32_t cluster = first_cluster;
  // At most `needed` entries: a chain that loops never reaches its end mark
  // within that many.
  for (uint64_t position = 1;; ++position) {
    const auto value = fat.entry(cluster);
    if (!value) return ChainState::kUnreadable;
    if (position == needed) return geometry.is_end_of_chain_mark(*value) ? ChainState::kIntact : ChainState::kNotIntact;
    if (!geometry.is_data_cluster(*value)) return ChainState::kNotIntact;
    cluster = *value;
  }
}

bool RecoverFatFile(const platform::RawVolume& volume, const FatGeometry& geometry, uint32_t first_cluster,
                    uint64_t size_bytes, recovery::FileJob& job) {
  recovery::FileRequest& request = job.request;
  request.chunk_bytes = std::max(recovery::kProgressChunkBytes, geometry.cluster_size_bytes);
  // The device's size when it tells, else the file system's own: clusters
  // beyond the FAT are allowed, as a file found after a format may lie past
  // the new file system's end.
  const uint64_t volume_end =
      volume.size_bytes().value_or(geometry.sector_offset_bytes(geometry.total_sectors));
  request.volume_bytes = volume_end;
  request.size_bytes = size_bytes;
  if (size_bytes == 0) {
    recovery::ExtentList nothing;
    return job.run(volume, nothing);
  }

  const ChainState chain = CheckChain(volume, geometry, first_cluster, size_bytes);
  if (chain == ChainState::kUnreadable) return job.refuse(u"the FAT could not be read");
  if (chain == ChainState::kIntact) {
    request.data_bytes_at_most = size_bytes;
    recovery::ChainExtents<FatCache, FatGeometry> extents(volume, geometry, first_cluster, clusters_for(size_bytes, geometry.cluster_size_bytes));
    return job.run(volume, extents);
  }

  // A deleted file's chain is gone: its data is taken as the clusters that
  // follow its first one, up to the end of the volume at most.
  if (first_cluster < 2) return job.refuse(u"its first cluster is no data cluster");
  const uint64_t start = geometry.cluster_offset_bytes(first_cluster);
  if (volume_end != 0 && start >= volume_end) return job.refuse(u"its first cluster lies past the end of the volume");
  const uint64_t room = volume_end != 0 ? volume_end - start : size_bytes;
  if (size_bytes > room) {
    request.damage = u"damaged entry: its size reaches past the end of the volume; recovered up to the end";
  }
  request.data_bytes_at_most = std::min(size_bytes, room);
  request.output_bytes_at_most = room;
  recovery::ExtentList extents;
  extents.add_volume(start, std::min(size_bytes, room));
  return job.run(volume, extents);
}

FatAllocation::FatAllocation(const platform::RawVolume& volume, const FatGeometry& geometry)
    : geometry_(geometry),
      volume_end_(volume.size_bytes().value_or(geometry.sector_offset_bytes(geometry.total_sectors))),
      fat_(static_cast<uint64_t>(geometry.sectors_per_fat) * geometry.bytes_per_sector,
           [&volume, start = geometry.sector_offset_bytes(geometry.reserved_sectors)](uint64_t offset, MutableBytes out) {
             return volume.read_at(start + offset, out);
           }) {}

std::optional<uint64_t> FatAllocation::claimed(uint64_t first, uint64_t count, bool& first_claimed) {
  first_claimed = false;
  const uint64_t entry_bytes = geometry_.width == FatWidth::k32 ? 4 : 2;
  const uint64_t end = std::min<uint64_t>(first + count, geometry_.fat_entry_count);
  uint64_t claimed = 0;
  // One entry per cluster, at most `count`; clusters past the FAT are free.
  for (uint64_t cluster = first; cluster < end; ++cluster) {
    uint64_t block_start = 0;
    const uint64_t at = cluster * entry_bytes;
    const auto block = fat_.block(at, block_start);
    if (!block) return std::nullopt;
    ByteReader reader(*block);
    const size_t in_block = static_cast<size_t>(at - block_start);
    uint32_t value = entry_bytes == 4 ? reader.u32(in_block) & 0x0FFFFFFF : reader.u16(in_block);
    if (!reader.ok()) return std::nullopt;
    if (value != 0) {
      ++claimed;
      if (cluster == first) first_claimed = true;
    }
  }
  return claimed;
}

std::optional<recovery::VerdictTally> JudgeDeletedFatFile(const FatGeometry& geometry, FatAllocation& fat,
                                                          uint32_t first_cluster, uint64_t size_bytes) {
  recovery::VerdictTally tally;
  if (size_bytes == 0) return tally;
  if (first_cluster < 2) return std::nullopt;
  const uint64_t volume_end = fat.volume_end();
  const uint64_t start = geometry.cluster_offset_bytes(first_cluster);
  if (volume_end != 0 && start >= volume_end) return std::nullopt;
  const uint64_t room = volume_end != 0 ? volume_end - start : size_bytes;
  const uint64_t clusters = clusters_for(std::min(size_bytes, room), geometry.cluster_size_bytes);
  bool first_claimed = false;
  const auto claimed = fat.claimed(first_cluster, clusters, first_claimed);
  if (!claimed) return std::nullopt;
  tally.add_run(clusters, *claimed, first_claimed);
  return tally;
}

}  // namespace salvor::engine::fat
