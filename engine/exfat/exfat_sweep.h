// The exFAT unformat sweep: after a quick format the FAT, the bitmap and the
// root directory are new, but the old folders' entry sets still lie in the
// cluster heap. The sweep reads the volume window by window and takes every
// free cluster (as the new allocation bitmap says) that holds a set: one
// that a 512-byte unit opens with (a File entry, a stream extension and a
// name entry of one state), or one at any slot whose name matches its
// stream extension's name hash. Such a cluster is read from its start and
// all its sets are reported, once each.
//
// A set cut off by its cluster's end is joined with the bytes that follow
// when the joined name matches its hash, else with the first entries of
// another free cluster for which that holds (the directory went on
// elsewhere); failing both, it is reported with the part of its name that
// its cluster holds.
#pragma once

#include <cstdint>
#include <functional>

#include "common/byte_reader.h"
#include "engine/exfat/exfat_directory.h"
#include "engine/exfat/exfat_geometry.h"
#include "engine/gleaner_api.h"
#include "engine/sweep_windows.h"

namespace salvor::engine::exfat {

struct SweepTarget {
  ScanCallback callback = nullptr;
  void* user = nullptr;
  std::function<void(const EntrySet&)> observe;  // sees every reported set first
};

// True when the unit's entries at bytes 0, 32 and 64 are a File entry, a
// stream extension and a name entry, all present or all deleted.
bool IsCandidateUnit(Bytes unit);

// Sweeps the first `volume_size_bytes` of the volume (no further than the
// device reaches). Each set is reported once, with the bare name,
// ParentFolder 0 and Folder the number of the cluster it begins in; clusters
// the allocation bitmap marks in use are passed over (without a bitmap every
// cluster counts). False when a buffer cannot be had, the bitmap or a window
// or cluster cannot be read, or the device ends before the size given; the
// sweep goes on past such failures and the records reported stand.
bool SweepFormatted(const platform::RawVolume& volume, const ExFatGeometry& geometry, uint64_t volume_size_bytes,
                    const SweepTarget& target);

}  // namespace salvor::engine::exfat
