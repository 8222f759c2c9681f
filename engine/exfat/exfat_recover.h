// Writing a found exFAT file out: the data is taken either as one run of
// consecutive clusters from the first cluster (NoFatChain files, and
// deleted or formatted-over files whose chain is gone) or along the FAT
// chain of a present, fragmented file when that chain fits the size.
//
// Data is read and written in batches of up to 32 MiB; progress is reported
// once per recovery chunk (64 KiB, or one cluster when clusters are larger).
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/exfat/exfat_geometry.h"
#include "engine/gleaner_api.h"

namespace salvor::engine::exfat {

inline constexpr uint64_t kRecoverBatchBytes = 32ull << 20;
inline constexpr uint32_t kRecoverChunkBytes = 64 * 1024;

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

// Creates (or replaces) `output_path` and writes the file into it. Progress:
// the bytes still to write after each chunk that does not finish the file,
// then 0 once it is complete and flushed. A run that reaches past the end of
// the volume stops there: the output keeps what the volume holds. False when
// the output cannot be created, the first cluster is not in the heap,
// nothing of a non-empty file lies on the volume, or a read or write fails;
// then no output file is left behind. A size of 0 gives an empty file.
bool RecoverFile(const platform::RawVolume& volume, const ExFatGeometry& geometry, std::u16string_view output_path,
                 const RecoveryPlan& plan, ProgressCallback progress, void* user);

}  // namespace salvor::engine::exfat
