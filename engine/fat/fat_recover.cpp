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

}  // namespace salvor::engine::fat
