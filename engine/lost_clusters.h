// The search for the later clusters of a deleted folder, shared by the FAT
// and exFAT scanners. Deleting a folder frees its clusters (the FAT chain,
// or the allocation bitmap and often the chain too), so only the first
// cluster (named by the folder's entry) is known; the later ones still hold
// their entries until they are reused. A folder grows while files are
// written into it, so the next cluster of a full one lies right after it (a
// folder of entries without data) or after the data of the last file whose
// entry filled it: each new cluster is allocated when the next entry is
// made, behind the data written before, or behind that next file's own
// data. Each candidate is confirmed by what it holds (the file system says
// how), and must be free and not taken by another deleted folder during the
// scan.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "common/byte_reader.h"
#include "engine/gleaner_api.h"
#include "platform/platform.h"

namespace salvor::engine {

// The searches read at most this far past their start: enough to pass the
// data of the files written between two clusters of a folder (a folder of
// photos on 512-byte clusters included), little next to a volume.
inline constexpr uint32_t kMaxSearchClusters = 65536;
inline constexpr uint64_t kMaxSearchBytes = 32ull << 20;
// All searches of one scan together read at most this much more than the
// volume's clusters hold.
inline constexpr uint64_t kSearchBudgetSlackBytes = 256ull << 20;

// The clusters taken by deleted folders during one scan of a volume, so that
// a cluster is joined to one folder only, and those that looked like a
// folder's but were not taken, for the lost-entries folder.
class LostClusterClaims {
 public:
  // Bounds the memory of both sets on a hostile volume.
  static constexpr size_t kMaxClusters = 1u << 20;

  // Forgets every claim; the searches of the next scan may read
  // `volume_bytes` plus kSearchBudgetSlackBytes.
  void reset(uint64_t volume_bytes);
  bool claimed(uint32_t cluster) const { return claimed_.count(cluster) != 0; }
  void claim(uint32_t cluster);
  // A cluster that looked like a later directory cluster during a search.
  void saw(uint32_t cluster);
  // The clusters seen and never claimed, in ascending order.
  std::vector<uint32_t> unclaimed() const;
  // Bytes the searches may still read during this scan.
  uint64_t budget_bytes = 0;

 private:
  std::unordered_set<uint32_t> claimed_;
  std::unordered_set<uint32_t> seen_;
};

// The parent path of lost entries under the scanned root ("E:\" gives
// "E:\$LostEntries").
std::u16string LostEntriesPath(std::u16string_view root_path);

// How one file system's clusters are laid out and told apart.
struct ClusterSpace {
  uint32_t cluster_bytes = 0;
  uint32_t end_cluster = 0;  // one past the last cluster number
  std::function<bool(uint32_t)> is_data_cluster;
  std::function<uint64_t(uint32_t)> offset_bytes;
  // Free in the file system's allocation data (nothing known counts as used).
  std::function<bool(uint32_t)> is_free;
  // The cluster's content reads as a later cluster of a directory.
  std::function<bool(Bytes)> looks_like_directory;
  // Optional: for a directory cluster that its last entry fills, the
  // cluster right after that entry's data (where its folder went on when the
  // next file written was its own).
  std::function<std::optional<uint32_t>(Bytes)> full_cluster_goes_on_at;
};

// What the full cluster just read says about the one that follows it.
struct ClusterFollowing {
  // The cluster after the data of its last entry that has data.
  std::optional<uint32_t> after_last_data;
  // True for a cluster that can follow it: one that goes on with an entry
  // (set) cut off at its end, or starts a new one when none was.
  std::function<bool(Bytes)> continues;
  // When set, a cluster is joined only if it lies where the folder's
  // growth puts it: right after the data of the folder's own last file (or
  // right after the cluster, for a folder without data), or where this says
  // its content places it (the file whose entry needed it has its data
  // right behind it). Another folder deleted at the same time leaves
  // clusters that read just as well; they are left for their own folder or
  // the lost-entries folder.
  std::function<bool(uint32_t cluster, Bytes)> anchored;
};

// The next cluster of the deleted folder whose full cluster `cluster` (it
// has no end entry) was just read: `cluster` + 1, else the first cluster
// from `after_last_data` on that holds directory entries and continues it.
// With `following.anchored`, only a cluster that lies where the folder's
// growth puts it is taken (see there); the others read are remembered. One
// away from the end of the folder's own data is also refused when, with
// `space.full_cluster_goes_on_at`, a full directory cluster of another
// folder (free, unclaimed) within kMaxContestBytes before it says its
// folder went on there: the other folder grew right behind its own file.
inline constexpr uint32_t kMaxContestBytes = 512u << 10;
// Clusters in `visited` (the folder's own) and claimed ones are passed over;
// so are clusters in use, without being read. Nothing when no cluster within
// the bounds fits.
std::optional<uint32_t> FindNextLostCluster(const platform::RawVolume& volume, const ClusterSpace& space,
                                            uint32_t cluster, const ClusterFollowing& following,
                                            const std::unordered_set<uint32_t>& visited, LostClusterClaims& claims);

}  // namespace salvor::engine
