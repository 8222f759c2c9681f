// Writing a found exFAT file out: the data is taken either as one run of
// consecutive clusters from the first cluster (NoFatChain files, and
// deleted or formatted-over files whose chain is gone) or along the FAT
// chain of a present, fragmented file when that chain fits the size.
//
#pragma once

#include <cstdint>
#include "engine/exfat/exfat_geometry.h"
#include "engine/recovery/recovery_writer.h"
#include "engine/recovery/verdict.h"

namespace salvor::engine::exfat {

// What is known of the file's data beyond its first cluster and size.
enum class DataLayout {
  kUnknown,     // nothing: the chain is followed when it fits the size
  kContiguous,  // NoFatChain, or the chain is gone (deleted, formatted over)
  kChain,       // a present file with a FAT chain: followed when it fits
};

struct RecoveryPlan {
  uint32_t first_cluster = 0;
  uint64_t size_bytes = 0;
  // Bytes from here on were never written and read as zeros (the stream's
  // valid data length); the size when unknown.
  uint64_t valid_bytes = UINT64_MAX;
  DataLayout layout = DataLayout::kUnknown;
};

enum class ChainState {
  kFits,        // exactly the clusters the size needs, then an end-of-chain mark
  kDoesNotFit,  // shorter, longer, looping, leaving the heap, or no end mark
  kUnreadable,  // the FAT could not be read
};
ChainState CheckChain(const platform::RawVolume& volume, const ExFatGeometry& geometry, uint32_t first_cluster,
                      uint64_t size_bytes);

// Whether a deleted file's FAT chain still describes its data: deleting
// frees the allocation bitmap but usually leaves the chain of a file that
// had one. True when the chain from `first_cluster` has exactly the clusters
// `size_bytes` needs, ends with an end mark, and every one of them is free
// in `bitmap` (no later file took it).
bool DeletedChainIsIntact(const platform::RawVolume& volume, const ExFatGeometry& geometry,
                          const AllocationBitmap& bitmap, uint32_t first_cluster, uint64_t size_bytes);

// Hands the file's extents to `job`: the chain when it fits the size, else
// one run from the first cluster, bounded by the end of the volume (the
// heap's end when the device cannot tell its size); bytes past the valid
// data length read as zeros. A run that reaches past the end of the volume
// stops there: the output keeps what the volume holds. Refused (no file)
// when the first cluster is not in the heap. A size of 0 gives an empty
// file.
bool RecoverFile(const platform::RawVolume& volume, const ExFatGeometry& geometry, const RecoveryPlan& plan,
                 recovery::FileJob& job);

// The clusters RecoverFile reads for `plan`, against the allocation bitmap;
// `volume_end` is where RecoverFile takes the volume to end. Nothing when
// the first cluster is not in the heap or the FAT cannot be read.
std::optional<recovery::VerdictTally> JudgeFile(const platform::RawVolume& volume, const ExFatGeometry& geometry,
                                                const AllocationBitmap& bitmap, const RecoveryPlan& plan,
                                                uint64_t volume_end);

}  // namespace salvor::engine::exfat
