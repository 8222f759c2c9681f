// Writing a found FAT16/FAT32 file to a new file. A file whose FAT chain is
// intact (still present) is read along its chain; any other file, a deleted
// one above all, is read as one run of consecutive clusters from its first
// cluster, since deleting it cleared its chain.
//
// The data is read and written in batches of up to 32 MiB (small writes are
// what makes recovery slow), while progress is still reported once per
// recovery chunk: 64 KiB, or one cluster when clusters are larger.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "engine/fat/fat_geometry.h"
#include "engine/gleaner_api.h"

namespace salvor::engine::fat {

inline constexpr uint64_t kRecoverBatchBytes = 32ull * 1024 * 1024;
inline constexpr uint32_t kRecoverChunkBytes = 64 * 1024;

// A piece of a file's data on the volume.
struct ByteRun {
  uint64_t offset_bytes = 0;
  uint64_t length_bytes = 0;
};

// Hands out a file's runs in order.
enum class RunStatus { kRun, kEnd, kError };
using NextRun = std::function<RunStatus(ByteRun& run)>;

// Copies `size_bytes` gathered from the runs into a new file at
// `output_path`, replacing a file that exists. Stops early, keeping what was
// written, when the runs reach past the end of the volume. Progress: the
// bytes still to write after each chunk, then 0 once the file is complete
// and flushed. False when the file cannot be created, nothing of a non-empty
// file lies on the volume, or a read or write fails; in those cases no
// output file is left behind.
bool CopyRunsToFile(const platform::RawVolume& volume, NextRun next_run, uint64_t size_bytes, uint32_t chunk_bytes,
                    std::u16string_view output_path, ProgressCallback progress, void* user);

// Outcome of looking at a file's chain.
enum class ChainState {
  kIntact,      // allocated from the first cluster, exactly as many clusters as the size needs
  kNotIntact,   // freed, shorter, longer, looping or leaving the data clusters
  kUnreadable,  // the FAT could not be read
};
ChainState CheckChain(const platform::RawVolume& volume, const FatGeometry& geometry, uint32_t first_cluster,
                      uint64_t size_bytes);

// FatRecoverData for FAT16 and FAT32.
bool RecoverFatFile(const platform::RawVolume& volume, const FatGeometry& geometry, std::u16string_view output_path,
                    uint32_t first_cluster, uint64_t size_bytes, ProgressCallback progress, void* user);

}  // namespace salvor::engine::fat
