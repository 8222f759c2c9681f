#include "engine/exfat/exfat_recover.h"

#include <algorithm>
#include <cstring>

namespace salvor::engine::exfat {
namespace {

// Gathers the file's bytes in a batch buffer, writes each full batch, and
// reports progress per chunk.
class BatchWriter {
 public:
  enum class Status { kMore, kDone, kVolumeEnded, kFailed };

  BatchWriter(const platform::RawVolume& volume, platform::OutputFile& output, MutableBytes batch, uint32_t chunk_bytes,
              const RecoveryPlan& plan, ProgressCallback progress, void* user)
      : volume_(volume),
        output_(output),
        batch_(batch),
        chunk_bytes_(chunk_bytes),
        plan_(plan),
        progress_(progress),
        user_(user) {}

  // Copies the bytes of one run of the volume, as many as the file still
  // needs.
  Status copy(uint64_t volume_offset, uint64_t length) {
    while (length > 0 && gathered_total() < plan_.size_bytes) {
      const uint64_t due = plan_.size_bytes - gathered_total();
      const size_t take = static_cast<size_t>(std::min<uint64_t>({length, due, batch_.size() - fill_}));
      // Bytes past the valid data length were never written: zeros.
      const uint64_t position = gathered_total();
      const uint64_t valid_left = plan_.valid_bytes > position ? plan_.valid_bytes - position : 0;
      const size_t from_volume = static_cast<size_t>(std::min<uint64_t>(take, valid_left));
      if (from_volume > 0) {
        const auto got = volume_.read_some_at(volume_offset, batch_.subspan(fill_, from_volume));
        if (!got) return Status::kFailed;
        if (*got < from_volume) {  // the end of the volume: what lies before it is all there is
          fill_ += *got;
          return Status::kVolumeEnded;
        }
      }
      std::memset(batch_.data() + fill_ + from_volume, 0, take - from_volume);
      fill_ += take;
      volume_offset += take;
      length -= take;
      if (fill_ == batch_.size() && !write_batch()) return Status::kFailed;
    }
    return gathered_total() == plan_.size_bytes ? Status::kDone : Status::kMore;
  }

  bool write_batch() {
    if (fill_ > 0 && !output_.write(batch_.first(fill_))) return false;
    written_ += fill_;
    fill_ = 0;
    // One report per chunk, as if the file were copied chunk by chunk: the
    // bytes left after each chunk that does not finish the file.
    while (progress_) {
      const uint64_t chunk_end = (chunks_reported_ + 1) * chunk_bytes_;
      if (chunk_end > written_ || chunk_end >= plan_.size_bytes) break;
      ++chunks_reported_;
      progress_(plan_.size_bytes - chunk_end, user_);
    }
    return true;
  }

  uint64_t written() const { return written_; }

 private:
  uint64_t gathered_total() const { return written_ + fill_; }

  const platform::RawVolume& volume_;
  platform::OutputFile& output_;
  MutableBytes batch_;
  uint32_t chunk_bytes_;
  const RecoveryPlan& plan_;
  ProgressCallback progress_;
  void* user_;
  uint64_t written_ = 0;
  size_t fill_ = 0;
  uint64_t chunks_reported_ = 0;
};

// Copies the chain as runs of consecutive clusters. The chain was checked
// against the size before; a FAT that cannot be read now is a read failure.
BatchWriter::Status copy_chain(const platform::RawVolume& volume, const ExFatGeometry& geometry, uint32_t first_cluster,
                               uint64_t cluster_total, BatchWriter& writer) {
  BatchWriter::Status status = BatchWriter::Status::kMore;
  uint32_t run_start = 0;
  uint64_t run_length = 0;
  auto emit = [&]() {
    if (run_length > 0 && status == BatchWriter::Status::kMore) {
      status = writer.copy(geometry.cluster_offset_bytes(run_start), run_length * geometry.cluster_size_bytes);
    }
    run_length = 0;
  };
  const ChainEnd end = WalkChain(volume, geometry, first_cluster, cluster_total, [&](uint32_t cluster) {
    if (run_length > 0 && static_cast<uint64_t>(run_start) + run_length == cluster) {
      ++run_length;
      return true;
    }
    emit();
    run_start = cluster;
    run_length = 1;
    return status == BatchWriter::Status::kMore;
  });
  emit();
  if (end == ChainEnd::kReadFailed) return BatchWriter::Status::kFailed;
  return status;
}

}  // namespace

ChainState CheckChain(const platform::RawVolume& volume, const ExFatGeometry& geometry, uint32_t first_cluster,
                      uint64_t size_bytes) {
  const uint64_t needed = geometry.clusters_for(size_bytes);
  if (needed == 0 || needed > geometry.cluster_count) return ChainState::kDoesNotFit;
  // At most `needed` clusters are visited: a chain that loops never reaches
  // its end mark within that many.
  uint64_t visited = 0;
  const ChainEnd end = WalkChain(volume, geometry, first_cluster, needed, [&](uint32_t) {
    ++visited;
    return true;
  });
  if (end == ChainEnd::kReadFailed) return ChainState::kUnreadable;
  return end == ChainEnd::kEndMark && visited == needed ? ChainState::kFits : ChainState::kDoesNotFit;
}

bool DeletedChainIsIntact(const platform::RawVolume& volume, const ExFatGeometry& geometry,
                          const AllocationBitmap& bitmap, uint32_t first_cluster, uint64_t size_bytes) {
  if (CheckChain(volume, geometry, first_cluster, size_bytes) != ChainState::kFits) return false;
  bool all_free = true;
  WalkChain(volume, geometry, first_cluster, geometry.clusters_for(size_bytes), [&](uint32_t cluster) {
    all_free = !bitmap.is_allocated(cluster);
    return all_free;
  });
  return all_free;
}

bool RecoverFile(const platform::RawVolume& volume, const ExFatGeometry& geometry, std::u16string_view output_path,
                 const RecoveryPlan& plan, ProgressCallback progress, void* user) {
  const uint64_t size = plan.size_bytes;
  if (size > 0 && !geometry.is_data_cluster(plan.first_cluster)) return false;

  bool follow_chain = false;
  if (size > 0 && plan.layout != DataLayout::kContiguous) {
    const ChainState chain = CheckChain(volume, geometry, plan.first_cluster, size);
    if (chain == ChainState::kUnreadable) return false;
    follow_chain = chain == ChainState::kFits;
  }

  const uint32_t chunk_bytes = std::max(kRecoverChunkBytes, geometry.cluster_size_bytes);
  // A small file gets a buffer of its own size (in whole chunks), not 32 MiB.
  const uint64_t capacity =
      size >= kRecoverBatchBytes ? kRecoverBatchBytes : (size + chunk_bytes - 1) / chunk_bytes * chunk_bytes;
  platform::AnonymousBuffer batch;
  if (capacity > 0 && !batch.allocate(static_cast<size_t>(capacity))) return false;

  platform::OutputFile output;
  if (!output.create(output_path)) return false;
  // A file cut short by a failed read or write is removed rather than left
  // looking like a recovered file: the caller is told false and the volume
  // still holds the data for another try.
  auto fail = [&]() {
    output.close();
    platform::remove_file(output_path);
    return false;
  };

  BatchWriter writer(volume, output, batch.bytes(), chunk_bytes, plan, progress, user);
  BatchWriter::Status status = BatchWriter::Status::kDone;
  if (size > 0) {
    if (follow_chain) {
      status = copy_chain(volume, geometry, plan.first_cluster, geometry.clusters_for(size), writer);
    } else {
      // One run from the first cluster, up to the end of the volume (the
      // heap's end when the device cannot tell its size). The bound holds
      // for the zeros past the valid data length too: a file has no more
      // bytes than the clusters it can occupy.
      const uint64_t start = geometry.cluster_offset_bytes(plan.first_cluster);
      const uint64_t end = volume.size_bytes().value_or(geometry.heap_end_bytes());
      status = end > start ? writer.copy(start, end - start) : BatchWriter::Status::kVolumeEnded;
      if (status == BatchWriter::Status::kMore) status = BatchWriter::Status::kVolumeEnded;
    }
  }
  if (status == BatchWriter::Status::kFailed || !writer.write_batch()) return fail();
  // Nothing of a non-empty file lies on the volume: there is no file.
  if (size > 0 && writer.written() == 0) return fail();
  if (!output.set_size(writer.written()) || !output.flush()) return fail();
  output.close();
  if (progress) progress(0, user);
  return true;
}

}  // namespace salvor::engine::exfat
