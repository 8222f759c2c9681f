#include "engine/exfat/exfat_recover.h"

#include <algorithm>

#include "engine/recovery/chain_extents.h"

namespace salvor::engine::exfat {
ChainState CheckChain(const platform::RawVolume& volume, const ExFatGeometry& geometry, uint32_t first_cluster,
                      uint64_t size_bytes) {
  const uint64_t needed = geometry.clusters_for(size_bytes);
  if (needed == 0 || needed > geometry.cluster_count) return ChainState::kDoesNotFit;
  // At most `needed` clusters are visited: a chain that loops never reaches
  // its end mark within that many.
  uint64_t visited = 0;
  const ChainEnd end = WalkChain(volume, geometry, first_cluster, needed, [&](uint32_t) {
    ++visited;
    return true;
  });
  if (end == ChainEnd::kReadFailed) return ChainState::kUnreadable;
  return end == ChainEnd::kEndMark && visited == needed ? ChainState::kFits : ChainState::kDoesNotFit;
}

bool DeletedChainIsIntact(const platform::RawVolume& volume, const ExFatGeometry& geometry,
                          const AllocationBitmap& bitmap, uint32_t first_cluster, uint64_t size_bytes) {
  if (CheckChain(volume, geometry, first_cluster, size_bytes) != ChainState::kFits) return false;
  bool all_free = true;
  WalkChain(volume, geometry, first_cluster, geometry.clusters_for(size_bytes), [&](uint32_t cluster) {
    all_free = !bitmap.is_allocated(cluster);
    return all_free;
  });
  return all_free;
}

bool RecoverFile(const platform::RawVolume& volume, const ExFatGeometry& geometry, const RecoveryPlan& plan,
                 recovery::FileJob& job) {
  const uint64_t size = plan.size_bytes;
  if (size > 0 && !geometry.is_data_cluster(plan.first_cluster)) {
    return job.refuse(u"its first cluster is not in the cluster heap");
  }
  recovery::FileRequest& request = job.request;
  request.chunk_bytes = std::max(recovery::kProgressChunkBytes, geometry.cluster_size_bytes);
  const uint64_t end = volume.size_bytes().value_or(geometry.heap_end_bytes());
  request.volume_bytes = end;
  request.size_bytes = size;
  const uint64_t valid = std::min(plan.valid_bytes, size);
  if (size == 0) {
    recovery::ExtentList nothing;
    return job.run(volume, nothing);
  }

  bool follow_chain = false;
  if (plan.layout != DataLayout::kContiguous) {
    const ChainState chain = CheckChain(volume, geometry, plan.first_cluster, size);
    if (chain == ChainState::kUnreadable) return job.refuse(u"the FAT could not be read");
    follow_chain = chain == ChainState::kFits;
  }
  request.data_bytes_at_most = valid;
  if (follow_chain) {
    recovery::ChainExtents<FatReader, ExFatGeometry> chain(volume, geometry, plan.first_cluster, geometry.clusters_for(size));
    recovery::ValidLength extents(chain, valid);
    return job.run(volume, extents);
  }
  // One run from the first cluster, up to the end of the volume. The bound
  // holds for the zeros past the valid data length too: a file has no more
  // bytes than the clusters it can occupy.
  const uint64_t start = geometry.cluster_offset_bytes(plan.first_cluster);
  const uint64_t room = end > start ? end - start : 0;
  if (size > room) request.damage = u"damaged entry: its size reaches past the end of the volume; recovered up to the end";
  request.data_bytes_at_most = std::min(valid, room);
  request.output_bytes_at_most = room;
  recovery::ExtentList extents;
  extents.add_volume(start, std::min(valid, room));
  extents.add_zeros(std::min(size, room) - std::min(valid, room));
  return job.run(volume, extents);
}

std::optional<recovery::VerdictTally> JudgeFile(const platform::RawVolume& volume, const ExFatGeometry& geometry,
                                                const AllocationBitmap& bitmap, const RecoveryPlan& plan,
                                                uint64_t volume_end) {
  recovery::VerdictTally tally;
  const uint64_t size = plan.size_bytes;
  if (size == 0) return tally;
  if (!geometry.is_data_cluster(plan.first_cluster)) return std::nullopt;
  if (plan.layout != DataLayout::kContiguous) {
    const ChainState chain = CheckChain(volume, geometry, plan.first_cluster, size);
    if (chain == ChainState::kUnreadable) return std::nullopt;
    if (chain == ChainState::kFits) {
      // Along the chain, at most the clusters the size needs.
      WalkChain(volume, geometry, plan.first_cluster, geometry.clusters_for(size), [&](uint32_t cluster) {
        const bool taken = bitmap.is_allocated(cluster);
        tally.add_run(1, taken ? 1 : 0, taken);
        return true;
      });
      return tally;
    }
  }
  // One run from the first cluster, as far as the bytes read from the
  // volume go (the valid length, the end of the volume).
  const uint64_t start = geometry.cluster_offset_bytes(plan.first_cluster);
  const uint64_t room = volume_end > start ? volume_end - start : 0;
  const uint64_t clusters = geometry.clusters_for(std::min({plan.valid_bytes, size, room}));
  tally.add_run(clusters, bitmap.count_allocated(plan.first_cluster, clusters), bitmap.is_allocated(plan.first_cluster));
  return tally;
}

}  // namespace salvor::engine::exfat
