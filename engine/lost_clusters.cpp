#include "engine/lost_clusters.h"

#include <algorithm>

namespace salvor::engine {

std::u16string LostEntriesPath(std::u16string_view root_path) {
  std::u16string path(root_path);
  if (!path.empty() && path.back() != u'\\') path += u'\\';
  return path + kLostEntriesFolder;
}

void LostClusterClaims::reset(uint64_t volume_bytes) {
  claimed_.clear();
  seen_.clear();
  budget_bytes = volume_bytes + kSearchBudgetSlackBytes;
}

void LostClusterClaims::claim(uint32_t cluster) {
  seen_.erase(cluster);
  if (claimed_.size() < kMaxClusters) claimed_.insert(cluster);
}

void LostClusterClaims::saw(uint32_t cluster) {
  if (!claimed(cluster) && seen_.size() < kMaxClusters) seen_.insert(cluster);
}

std::vector<uint32_t> LostClusterClaims::unclaimed() const {
  std::vector<uint32_t> out(seen_.begin(), seen_.end());
  std::sort(out.begin(), out.end());
  return out;
}

namespace {

// Whether a free, unclaimed directory cluster of another folder, within
// kMaxContestBytes before `candidate`, is full and says its folder went
// on at `candidate`. Reads backwards in batches of up to 128 KiB, within the
// scan's budget.
bool contested(const platform::RawVolume& volume, const ClusterSpace& space, uint32_t candidate,
               const std::unordered_set<uint32_t>& visited, LostClusterClaims& claims) {
  if (!space.full_cluster_goes_on_at) return false;
  const uint32_t cluster_bytes = space.cluster_bytes;
  // The other folder's cluster usually lies close: the batches start small.
  uint32_t batch_clusters = std::max<uint32_t>(1, (16u << 10) / cluster_bytes);
  const uint32_t max_batch_clusters = std::max<uint32_t>(1, (128u << 10) / cluster_bytes);
  const uint32_t reach = std::max<uint32_t>(1, kMaxContestBytes / cluster_bytes);
  std::vector<std::byte> buffer;
  uint32_t end = candidate;  // one past the batch
  const uint32_t floor = candidate > reach ? candidate - reach : 0;
  while (end > floor) {
    uint32_t first = std::max(floor, end > batch_clusters ? end - batch_clusters : 0);
    // The data clusters begin at a small number (2 on FAT and exFAT).
    while (first < end && !space.is_data_cluster(first)) ++first;
    if (first == end) return false;
    const uint64_t bytes = static_cast<uint64_t>(end - first) * cluster_bytes;
    if (claims.budget_bytes < bytes) return false;
    buffer.resize(static_cast<size_t>(bytes));
    if (!volume.read_at(space.offset_bytes(first), buffer)) return false;
    claims.budget_bytes -= bytes;
    for (uint32_t at = end; at-- > first;) {
      if (visited.count(at) != 0 || claims.claimed(at) || !space.is_free(at)) continue;
      const Bytes data = Bytes(buffer).subspan(static_cast<size_t>(at - first) * cluster_bytes, cluster_bytes);
      if (!space.looks_like_directory(data)) continue;
      const auto goes_on = space.full_cluster_goes_on_at(data);
      if (goes_on && *goes_on == candidate) return true;
    }
    end = first;
    batch_clusters = std::min(batch_clusters * 2, max_batch_clusters);
  }
  return false;
}

}  // namespace

std::optional<uint32_t> FindNextLostCluster(const platform::RawVolume& volume, const ClusterSpace& space,
                                            uint32_t cluster, const ClusterFollowing& following,
                                            const std::unordered_set<uint32_t>& visited, LostClusterClaims& claims) {
  const uint32_t cluster_bytes = space.cluster_bytes;
  if (cluster_bytes == 0) return std::nullopt;
  auto available = [&](uint32_t candidate) {
    return space.is_data_cluster(candidate) && visited.count(candidate) == 0 && !claims.claimed(candidate) &&
           space.is_free(candidate);
  };

  // The search starts after the last file's data; a folder of entries
  // without data went on in the very next cluster.
  const uint32_t next = cluster + 1;
  uint32_t start = next;
  if (following.after_last_data && *following.after_last_data > next) start = *following.after_last_data;
  auto placed = [&](uint32_t candidate, Bytes data) {
    if (!following.anchored || candidate == start) return true;
    return following.anchored(candidate, data) && !contested(volume, space, candidate, visited, claims);
  };
  auto fits = [&](uint32_t candidate, Bytes data) {
    return space.looks_like_directory(data) && (!following.continues || following.continues(data)) &&
           placed(candidate, data);
  };

  std::vector<std::byte> buffer;
  if (start != next && available(next) && claims.budget_bytes >= cluster_bytes) {
    buffer.resize(cluster_bytes);
    claims.budget_bytes -= cluster_bytes;
    if (volume.read_at(space.offset_bytes(next), buffer) && fits(next, buffer)) return next;
  }

  // Reads go in batches of consecutive clusters, from 16 KiB (the cluster
  // sought is usually close) doubling up to 1 MiB; clusters in use are
  // passed over without being read.
  const uint32_t max_batch_clusters = std::max<uint32_t>(1, (1u << 20) / cluster_bytes);
  uint32_t batch_clusters = std::max<uint32_t>(1, (16u << 10) / cluster_bytes);
  buffer.resize(static_cast<size_t>(max_batch_clusters) * cluster_bytes);
  uint64_t read_bytes = 0;
  uint32_t examined = 0;

  uint32_t at = start;
  while (examined < kMaxSearchClusters && at < space.end_cluster && space.is_data_cluster(at)) {
    if (!available(at)) {
      ++at, ++examined;
      continue;
    }
    uint64_t count = std::min<uint64_t>({batch_clusters, space.end_cluster - at, kMaxSearchClusters - examined});
    count = std::min(count, std::min(kMaxSearchBytes - read_bytes, claims.budget_bytes) / cluster_bytes);
    if (count == 0) return std::nullopt;
    const MutableBytes batch = MutableBytes(buffer).first(static_cast<size_t>(count * cluster_bytes));
    const auto got = volume.read_some_at(space.offset_bytes(at), batch);
    if (!got || *got < cluster_bytes) return std::nullopt;
    const auto read_clusters = static_cast<uint32_t>(*got / cluster_bytes);
    read_bytes += static_cast<uint64_t>(read_clusters) * cluster_bytes;
    claims.budget_bytes -= static_cast<uint64_t>(read_clusters) * cluster_bytes;
    std::optional<uint32_t> found;
    for (uint32_t k = 0; k < read_clusters; ++k) {
      const uint32_t candidate = at + k;
      const Bytes data = Bytes(batch).subspan(static_cast<size_t>(k) * cluster_bytes, cluster_bytes);
      if (!available(candidate) || !space.looks_like_directory(data)) continue;
      // The first one that fits is taken; the others read with it are
      // remembered for the lost-entries folder, should no folder take them.
      if (found || (following.continues && !following.continues(data)) || !placed(candidate, data)) {
        claims.saw(candidate);
        continue;
      }
      found = candidate;
    }
    if (found) return found;
    at += read_clusters;
    examined += read_clusters;
    batch_clusters = std::min(batch_clusters * 2, max_batch_clusters);
  }
  return std::nullopt;
}

}  // namespace salvor::engine
