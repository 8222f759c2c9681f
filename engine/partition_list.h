// The partition list behind ReListPartitions and ReListPartitionsEx: a
// disk's volume system (and, when asked or when nothing was recognised, the
// lost-partition search) written into the caller's records, bounded by
// their capacity, and handed to the caller's callbacks.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/gleaner_api.h"
#include "engine/volsys/disk_reader.h"
#include "engine/volsys/partition_search.h"
#include "engine/volsys/partition_table.h"

namespace salvor::engine {

struct VolumeListing {
  volsys::VolumeSystem system;
  uint32_t status = 0;  // kReListSearched, kReListSearchStopped, kReListSearchIncomplete
};

// Reads the volume system of `disk` as `flags` (kReList*) ask. `progress`
// sees the search after each read; false from it stops the search.
VolumeListing ListVolumes(const volsys::DiskReader& disk, uint32_t flags, const volsys::SearchProgress& progress = {});

// One partition as its record says it.
RePartitionRecord PartitionRecord(const volsys::Partition& partition);

// Writes `listing` into `list`: the table, the status, the count of every
// partition, and as many records as its capacity holds.
void FillPartitionList(const VolumeListing& listing, uint64_t disk_bytes, RePartitionList& list);

// Hands every partition and note of `system` to the callbacks of `options`.
void ReportPartitions(const volsys::VolumeSystem& system, const RePartitionOptions& options);

// Lists the volume `options` names (its native handle, else `source_path`,
// opened read-only) into `list` and to the callbacks; false when it cannot
// be opened or its size is unknown.
bool ListPartitions(std::u16string_view source_path, const RePartitionOptions& options, RePartitionList& list);

// ReListPartitions: the same by path with `flags` alone; a disk of 0 bytes
// is refused too.
bool ListPartitions(std::u16string_view source_path, uint32_t flags, RePartitionList& list);

}  // namespace salvor::engine
