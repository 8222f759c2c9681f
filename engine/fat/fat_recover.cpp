#include "engine/fat/fat_recover.h"

#include <algorithm>

#include "platform/platform.h"

namespace salvor::engine::fat {
namespace {

uint64_t clusters_for(uint64_t size_bytes, uint32_t cluster_size_bytes) {
  return size_bytes / cluster_size_bytes + (size_bytes % cluster_size_bytes != 0 ? 1 : 0);
}

}  // namespace

bool CopyRunsToFile(const platform::RawVolume& volume, NextRun next_run, uint64_t size_bytes, uint32_t chunk_bytes,
                    std::u16string_view output_path, ProgressCallback progress, void* user) {
  if (chunk_bytes == 0) return false;
  // A small file gets a buffer of its own size (in whole chunks), not 32 MiB.
  const uint64_t capacity =
      size_bytes >= kRecoverBatchBytes ? kRecoverBatchBytes : clusters_for(size_bytes, chunk_bytes) * chunk_bytes;
  platform::AnonymousBuffer buffer;
  if (capacity > 0 && !buffer.allocate(static_cast<size_t>(capacity))) return false;

  platform::OutputFile output;
  if (!output.create(output_path)) return false;
  // A file cut short by a failed read or write is removed rather than left
  // looking like a recovered file: the caller is told false and the volume
  // still holds the data for another try (to another disk when this one is
  // full), while a partial file would be taken for the real one.
  auto fail = [&]() {
    output.close();
    platform::remove_file(output_path);
    return false;
  };

  uint64_t written = 0;
  uint64_t chunks_reported = 0;
  ByteRun run;
  bool end_of_data = false;
  while (written < size_bytes && !end_of_data) {
    const uint64_t batch = std::min(capacity, size_bytes - written);
    uint64_t filled = 0;
    while (filled < batch) {
      if (run.length_bytes == 0) {
        const RunStatus status = next_run(run);
        if (status == RunStatus::kError) return fail();
        if (status == RunStatus::kEnd || run.length_bytes == 0) {
          end_of_data = true;
          break;
        }
      }
      const uint64_t take = std::min(run.length_bytes, batch - filled);
      const auto got = volume.read_some_at(
          run.offset_bytes, buffer.bytes().subspan(static_cast<size_t>(filled), static_cast<size_t>(take)));
      if (!got) return fail();
      filled += *got;
      run.offset_bytes += *got;
      run.length_bytes -= *got;
      // The end of the volume: what lies before it is all there is.
      if (*got < take) {
        end_of_data = true;
        break;
      }
    }
    if (filled > 0 && !output.write(buffer.bytes().first(static_cast<size_t>(filled)))) return fail();
    written += filled;
    // One report per chunk, as if the file had been copied chunk by chunk:
    // the bytes left after each chunk that does not finish the file.
    while (progress) {
      const uint64_t chunk_end = (chunks_reported + 1) * chunk_bytes;
      if (chunk_end > written || chunk_end >= size_bytes) break;
      ++chunks_reported;
      progress(size_bytes - chunk_end, user);
    }
  }
  // Nothing of a non-empty file lies on the volume: there is no file.
  if (size_bytes > 0 && written == 0) return fail();
  if (!output.set_size(written) || !output.flush()) return fail();
  output.close();
  if (progress) progress(0, user);
  return true;
}

ChainState CheckChain(const platform::RawVolume& volume, const FatGeometry& geometry, uint32_t first_cluster,
                      uint64_t size_bytes) {
  if (size_bytes == 0 || !geometry.is_data_cluster(first_cluster)) return ChainState::kNotIntact;
  const uint64_t needed = clusters_for(size_bytes, geometry.cluster_size_bytes);
  if (needed > geometry.fat_entry_count) return ChainState::kNotIntact;
  FatCache fat(volume, geometry);
  uint32_t cluster = first_cluster;
  // At most `needed` entries: a chain that loops never reaches its end mark
  // within that many.
  for (uint64_t position = 1;; ++position) {
    const auto value = fat.entry(cluster);
    if (!value) return ChainState::kUnreadable;
    if (position == needed) return geometry.is_end_of_chain_mark(*value) ? ChainState::kIntact : ChainState::kNotIntact;
    if (!geometry.is_data_cluster(*value)) return ChainState::kNotIntact;
    cluster = *value;
  }
}

bool RecoverFatFile(const platform::RawVolume& volume, const FatGeometry& geometry, std::u16string_view output_path,
                    uint32_t first_cluster, uint64_t size_bytes, ProgressCallback progress, void* user) {
  const uint32_t chunk_bytes = std::max(kRecoverChunkBytes, geometry.cluster_size_bytes);
  if (size_bytes == 0) {
    return CopyRunsToFile(volume, [](ByteRun&) { return RunStatus::kEnd; }, 0, chunk_bytes, output_path, progress,
                          user);
  }

  const ChainState chain = CheckChain(volume, geometry, first_cluster, size_bytes);
  if (chain == ChainState::kUnreadable) return false;
  if (chain == ChainState::kIntact) {
    // The chain was checked; it is walked again run by run (consecutive
    // clusters joined into one read) rather than kept, which could take much
    // memory for a large file in many pieces.
    FatCache fat(volume, geometry);
    uint32_t cluster = first_cluster;
    uint64_t clusters_left = clusters_for(size_bytes, geometry.cluster_size_bytes);
    NextRun next = [&](ByteRun& run) {
      if (clusters_left == 0) return RunStatus::kEnd;
      run.offset_bytes = geometry.cluster_offset_bytes(cluster);
      run.length_bytes = 0;
      while (clusters_left > 0) {
        run.length_bytes += geometry.cluster_size_bytes;
        --clusters_left;
        const auto value = fat.entry(cluster);
        if (!value) return RunStatus::kError;
        const bool follows = *value == cluster + 1;
        cluster = *value;
        if (!follows) break;
      }
      return RunStatus::kRun;
    };
    return CopyRunsToFile(volume, next, size_bytes, chunk_bytes, output_path, progress, user);
  }

  // A deleted file's chain is gone: its data is taken as the clusters that
  // follow its first one. Clusters beyond the FAT are allowed, as a file
  // found after a format may lie past the new file system's end.
  if (first_cluster < 2) return false;
  bool handed_out = false;
  NextRun next = [&](ByteRun& run) {
    if (handed_out) return RunStatus::kEnd;
    handed_out = true;
    run.offset_bytes = geometry.cluster_offset_bytes(first_cluster);
    run.length_bytes = size_bytes;
    return RunStatus::kRun;
  };
  return CopyRunsToFile(volume, next, size_bytes, chunk_bytes, output_path, progress, user);
}

}  // namespace salvor::engine::fat
