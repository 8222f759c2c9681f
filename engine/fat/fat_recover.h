// Writing a found FAT16/FAT32 file out. A file whose FAT chain is intact
// (still present) is read along its chain; any other file, a deleted one
// above all, is read as one run of consecutive clusters from its first
// cluster, since deleting it cleared its chain. Such a run ends at the end
// of the volume: a size that reaches past it belongs to a damaged entry,
// and the file is recovered up to the end and reported cut short.
#pragma once

#include <cstdint>

#include "engine/fat/fat_geometry.h"
#include "engine/recovery/recovery_writer.h"
#include "engine/recovery/verdict.h"

namespace salvor::engine::fat {

// Outcome of looking at a file's chain.
enum class ChainState {
  kIntact,      // allocated from the first cluster, exactly as many clusters as the size needs
  kNotIntact,   // freed, shorter, longer, looping or leaving the data clusters
  kUnreadable,  // the FAT could not be read
};
ChainState CheckChain(const platform::RawVolume& volume, const FatGeometry& geometry, uint32_t first_cluster,
                      uint64_t size_bytes);

// FatRecoverData for FAT16 and FAT32: the file's extents handed to `job`.
bool RecoverFatFile(const platform::RawVolume& volume, const FatGeometry& geometry, uint32_t first_cluster,
                    uint64_t size_bytes, recovery::FileJob& job);

// The first FAT read through a block cache, for a pass of verdicts over
// many files.
class FatAllocation {
 public:
  FatAllocation(const platform::RawVolume& volume, const FatGeometry& geometry);
  // How many of the `count` clusters from `first` the FAT gives to a file or
  // folder, or marks bad (clusters past the FAT count as free), and whether
  // `first` is one of them. Nothing when the FAT cannot be read.
  std::optional<uint64_t> claimed(uint64_t first, uint64_t count, bool& first_claimed);
  // Where the volume ends, as RecoverFatFile takes it (asked of the device
  // once, not once a file).
  uint64_t volume_end() const { return volume_end_; }

 private:
  FatGeometry geometry_;
  uint64_t volume_end_ = 0;
  recovery::BlockCache fat_;
};

// The verdict of a deleted file as RecoverFatFile reads it: the clusters
// from its first one for its size, up to the end of the volume, against the
// FAT. Nothing when that cannot be told (no data cluster, the FAT unread).
std::optional<recovery::VerdictTally> JudgeDeletedFatFile(const FatGeometry& geometry, FatAllocation& fat,
                                                          uint32_t first_cluster, uint64_t size_bytes);

}  // namespace salvor::engine::fat
