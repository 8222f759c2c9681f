// The search for lost partitions: boot sectors of FAT12/16/32, exFAT and
// NTFS (and their backups: FAT32 sector 6, exFAT sector 12, NTFS the
// volume's last sector) at every 512-byte sector of the first MiB and
// around every MiB boundary beyond it, or at every sector. A boot sector
// becomes a candidate only when its geometry holds (ProbeBootSector and
// GeometryConsistent). The disk is streamed in large sequential reads.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/volsys/disk_reader.h"
#include "engine/volsys/partition_table.h"

namespace salvor::engine::volsys {

enum class SearchDepth {
  kAligned,  // the first MiB sector by sector, then the sectors at and around each MiB boundary
  kDeep,     // every 512-byte sector of the disk
};

// Called after each read with the bytes searched so far and the disk's
// size; returns false to stop the search (what was found so far is kept).
using SearchProgress = std::function<bool(uint64_t done_bytes, uint64_t total_bytes)>;

struct SearchResult {
  std::vector<Partition> found;  // by start; origin kSearch, index 0 (see AddSearchResults)
  bool complete = true;          // false: stopped, or a read failed (see read_error_at)
  std::optional<uint64_t> read_error_at;
};

// Bytes read per request.
inline constexpr size_t kSearchReadBytes = 8u << 20;

SearchResult SearchPartitions(const DiskReader& disk, SearchDepth depth, const SearchProgress& progress = {});

// Adds what the search found to `system`: a candidate that is a table
// partition (same start, same file system) is dropped; every other one gets
// the next free index and the indexes of the table partitions it overlaps.
void AddSearchResults(VolumeSystem& system, const SearchResult& result);

}  // namespace salvor::engine::volsys
