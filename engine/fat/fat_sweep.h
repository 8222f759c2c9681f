// The unformat sweep of the FAT16 and FAT32 scanners: the volume is read
// window by window (SweepWindows) and looked at in 512-byte units; units
// that begin an old directory cluster have their cluster's entries reported
// with bare names under one long-name state that lasts the whole sweep.
#pragma once

#include <cstdint>
#include <functional>

#include "common/byte_reader.h"
#include "engine/fat/fat_directory.h"
#include "engine/sweep_windows.h"
#include "platform/platform.h"

namespace salvor::engine::fat {

// Copies the cluster that starts at byte `offset` into `cluster` (sized by
// the caller): from the window when it lies inside it, else from the volume.
// Bytes past the end of the volume read as zero. False on an I/O error.
bool ReadSweepCluster(const platform::RawVolume& volume, const SweepWindow& window, uint64_t offset,
                      MutableBytes cluster);

// A quick first test of a 512-byte unit: false when it can begin no
// directory cluster (its first byte is no "." and, with long-name units,
// its first entry has no long-name attribute). Sweeps call it for every unit.
inline bool MayBeginDirectory(Bytes unit, bool long_name_units) {
  return unit.size() >= kSweepUnitBytes &&
         (unit[0] == std::byte{'.'} || (long_name_units && unit[11] == std::byte{0x0F}));
}

// True when a unit's first entry looks like a long-name part of a directory
// (attribute 0x0F, entry type 0, cluster field 0): a free cluster that
// begins so is a later cluster of an old directory, or a first cluster whose
// dot pair was overwritten.
bool BeginsWithLongName(Bytes unit);

// Reports the entries of one directory cluster found by a sweep: the first
// entry always, each following one while its first byte is not 0. Records
// carry the bare name and `folders`. Long-name parts left pending at the end
// of one cluster carry into the next cluster reported, which is how a name
// split across a folder's clusters is joined; a folder's first cluster
// (`first_of_folder`, the one with the dot pair) continues no name, so it
// starts without them.
// Files whose size runs past the end of `geometry`'s volume are marked
// damaged.
void ReportSweepCluster(Bytes cluster, bool first_of_folder, LongNameState& long_name, const FolderPair& folders,
                        ScanCallback callback, void* user, const FatGeometry* geometry = nullptr);

// What tells the FAT16 and FAT32 sweeps apart.
struct SweepRules {
  // The folder number of a dot-pair cluster: the cluster named by its "."
  // entry (FAT16), or the cluster that holds it (FAT32).
  bool folder_from_dot_entry = false;
};

// The whole sweep over `volume_size_bytes` of the volume. An old directory
// cluster is one with the dot pair (a folder's first cluster), or, at a
// cluster boundary, one that begins with a long-name part (a later cluster,
// whose parent is not known); either must be free in the new FAT (clusters
// past it are free). Its entries go to `callback` with the folder numbers
// they were found under. False when a window, a cluster or the FAT could
// not be read (what was found before stands).
bool SweepOldDirectories(const platform::RawVolume& volume, const FatGeometry& geometry, uint64_t volume_size_bytes,
                         const SweepRules& rules, ScanCallback callback, void* user);

}  // namespace salvor::engine::fat
