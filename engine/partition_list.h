// The partition list behind ReListPartitions: a disk's volume system (and,
// when asked or when nothing was recognised, the lost-partition search)
// written into the caller's records, bounded by their capacity.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/gleaner_api.h"
#include "engine/volsys/disk_reader.h"
#include "engine/volsys/partition_table.h"

namespace salvor::engine {

// Reads the volume system of `disk` as `flags` (kReList*) ask.
volsys::VolumeSystem ListVolumes(const volsys::DiskReader& disk, uint32_t flags);

// Writes `system` into `list`: the table, the count of every partition, and
// as many records as its capacity holds.
void FillPartitionList(const volsys::VolumeSystem& system, uint64_t disk_bytes, RePartitionList& list);

// Opens `source_path` read-only and lists it; false when it cannot be
// opened or its size is unknown.
bool ListPartitions(std::u16string_view source_path, uint32_t flags, RePartitionList& list);

}  // namespace salvor::engine
