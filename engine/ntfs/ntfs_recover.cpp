// NTFS recovery: the data of a deleted file (by record number) or of a file
// found by the unformat sweep (by its record's position) handed to the
// recovery writer as extents. Only a complete copy counts: a run list that
// ends before the data, or a read that fails, leaves no file. Compressed
// data is decompressed (LZNT1) unit by unit; encrypted data is refused,
// since a raw copy of it would look like a recovered file and is not one.
#include <algorithm>

#include "engine/ntfs/ntfs.h"
#include "engine/ntfs/ntfs_lznt1.h"
#include "engine/recovery/recovery_session.h"
#include "platform/platform.h"

namespace salvor::engine {

using namespace ntfs;

namespace {

constexpr uint16_t kMaxCompressionUnitShift = 8;
constexpr uint64_t kMaxCompressionUnitBytes = 16u << 20;

const char16_t kReadFailed[] = u"Read Disk Fail\uFF01\n";

// Bytes of `clusters` clusters, held at the largest file size (a sparse run
// may claim more than any file can hold; the writer stops at the size).
uint64_t cluster_bytes(uint64_t clusters, uint64_t cluster) {
  return clusters > recovery::kMaxFileBytes / cluster ? recovery::kMaxFileBytes : clusters * cluster;
}

// The runs of an uncompressed stream: sparse runs read as zeros.
class RunExtents final : public recovery::ExtentSource {
 public:
  RunExtents(const std::vector<DataRun>& runs, uint64_t cluster) : runs_(runs), cluster_(cluster) {}
  recovery::ExtentStatus next(recovery::Extent& extent) override {
    while (next_ < runs_.size()) {
      const DataRun& run = runs_[next_++];
      if (run.length == 0) continue;
      extent.kind = run.sparse ? recovery::Extent::Kind::kZeros : recovery::Extent::Kind::kVolume;
      extent.length_bytes = cluster_bytes(run.length, cluster_);
      extent.volume_offset_bytes = run.sparse ? 0 : cluster_bytes(run.lcn, cluster_);
      return recovery::ExtentStatus::kExtent;
    }
    return recovery::ExtentStatus::kEnd;
  }

 private:
  const std::vector<DataRun>& runs_;
  uint64_t cluster_;
  size_t next_ = 0;
};

// A compressed stream, one compression unit at a time. A unit whose
// clusters are all on disk is stored raw; one that is all sparse is zeros;
// one with clusters followed by a sparse tail holds LZNT1 data in those
// clusters.
class CompressedExtents final : public recovery::ExtentSource {
 public:
  CompressedExtents(const CNtfs& ntfs, const std::vector<DataRun>& runs, uint64_t data_size, uint64_t cluster,
                    uint64_t unit_clusters)
      : ntfs_(ntfs),
        runs_(runs),
        data_size_(data_size),
        cluster_(cluster),
        unit_clusters_(unit_clusters),
        stored_(static_cast<size_t>(unit_clusters * cluster)),
        unit_(static_cast<size_t>(unit_clusters * cluster)) {}

  recovery::ExtentStatus next(recovery::Extent& extent) override {
    if (position_ >= data_size_) return recovery::ExtentStatus::kEnd;
    const uint64_t first_vcn = position_ / cluster_;
    const uint64_t unit_bytes = unit_.size();
    uint64_t allocated = 0;
    bool sparse_seen = false;
    for (uint64_t i = 0; i < unit_clusters_; ++i) {
      auto mapped = MapVcn(runs_, first_vcn + i);
      if (!mapped) {
        // The run list may end inside the last unit, past the data.
        if ((first_vcn + i) * cluster_ < data_size_) return fail(u"its data runs end before its size");
        sparse_seen = true;
        continue;
      }
      if (mapped->sparse) {
        sparse_seen = true;
      } else if (sparse_seen) {
        return fail(u"its compressed data has a layout NTFS does not write");
      } else {
        ++allocated;
      }
    }
    position_ += unit_bytes;
    if (allocated == 0) {
      extent = {recovery::Extent::Kind::kZeros, unit_bytes, 0, {}};
      return recovery::ExtentStatus::kExtent;
    }
    if (allocated == unit_clusters_) {
      if (!ntfs_.ReadStream(runs_, first_vcn * cluster_, unit_)) return fail(u"the volume could not be read");
    } else {
      std::fill(unit_.begin(), unit_.end(), std::byte{0});
      auto in = MutableBytes(stored_).first(static_cast<size_t>(allocated * cluster_));
      if (!ntfs_.ReadStream(runs_, first_vcn * cluster_, in)) return fail(u"the volume could not be read");
      if (!DecompressLznt1(in, unit_)) {
        platform::debug_output(u"NTFS: damaged compressed data\n");
        return fail(u"its compressed data is damaged");
      }
    }
    extent = {recovery::Extent::Kind::kBytes, unit_bytes, 0, Bytes(unit_)};
    return recovery::ExtentStatus::kExtent;
  }
  std::u16string failure() const override { return failure_; }

 private:
  recovery::ExtentStatus fail(std::u16string why) {
    failure_ = std::move(why);
    return recovery::ExtentStatus::kFailed;
  }

  const CNtfs& ntfs_;
  const std::vector<DataRun>& runs_;
  uint64_t data_size_;
  uint64_t cluster_;
  uint64_t unit_clusters_;
  std::vector<std::byte> stored_;
  std::vector<std::byte> unit_;
  uint64_t position_ = 0;
  std::u16string failure_;
};

}  // namespace

bool CNtfs::RecoverFromRecord(Bytes record, std::optional<uint64_t> record_number, recovery::FileJob& job) const {
  if (!geometry_) return job.refuse(u"the volume is not NTFS");
  recovery::FileRequest& request = job.request;
  const uint64_t cluster = geometry_->cluster_size_bytes;
  request.volume_bytes = volume_.device.size_bytes().value_or(cluster_bytes(geometry_->total_clusters, cluster));
  request.chunk_bytes = std::max(recovery::kProgressChunkBytes, geometry_->cluster_size_bytes);
  request.whole_or_nothing = true;

  auto data = FindAttribute(record, attr::kData, true);
  if (data && !data->non_resident) {
    if (data->flags & attr::kFlagEncrypted) return job.refuse(u"its data is encrypted");
    auto value = ResidentValue(*data);
    if (!value) return job.refuse(u"its record is damaged");
    request.size_bytes = value->size();
    request.data_bytes_at_most = value->size();
    recovery::ExtentList extents;
    extents.add_bytes(*value);
    return job.run(volume_.device, extents);
  }
  auto stream = NonResidentData(record, record_number);
  if (!stream) return job.refuse(u"its record holds no data the volume still maps");
  // A file holds no more clusters than the volume has: a run list that says
  // otherwise repeats itself and would copy the volume over and over.
  uint64_t allocated = 0;
  for (const DataRun& run : stream->runs) {
    if (!run.sparse) allocated += run.length;  // each within the volume, so no overflow
    if (allocated > geometry_->total_clusters) return job.refuse(u"its run list claims more than the volume holds");
  }
  if (stream->flags & attr::kFlagEncrypted) {
    platform::debug_output(u"NTFS: encrypted data is not recovered\n");
    return job.refuse(u"its data is encrypted");
  }
  request.size_bytes = stream->data_size;
  request.data_bytes_at_most = std::min(cluster_bytes(allocated, cluster), stream->initialized_size);
  if (stream->flags & attr::kFlagCompressed) {
    // Real volumes use 16-cluster units; other shifts are damage.
    if (stream->compression_shift == 0 || stream->compression_shift > kMaxCompressionUnitShift ||
        (uint64_t{1} << stream->compression_shift) * cluster > kMaxCompressionUnitBytes) {
      platform::debug_output(u"NTFS: compressed data of an unknown layout is not recovered\n");
      return job.refuse(u"its compressed data has an unknown layout");
    }
    // Decompressed units can hold more than their clusters.
    request.data_bytes_at_most = stream->initialized_size;
    CompressedExtents units(*this, stream->runs, stream->data_size, cluster, uint64_t{1} << stream->compression_shift);
    recovery::ValidLength extents(units, stream->initialized_size);
    return job.run(volume_.device, extents);
  }
  RunExtents runs(stream->runs, cluster);
  recovery::ValidLength extents(runs, stream->initialized_size);
  return job.run(volume_.device, extents);
}

bool CNtfs::NtfsRecoverData(uint64_t record_number, recovery::FileJob& job, bool present_file) {
  if (!geometry_) return job.refuse(u"the volume is not NTFS");
  std::vector<std::byte> record(geometry_->file_record_bytes);
  if (!ReadMftRecord(record_number, record)) return job.refuse(u"its record could not be read");
  const uint16_t flags = ByteReader(record).u16(record::kFlags);
  if ((flags & record::kFlagInUse) && !present_file) {
    return job.refuse(u"the file is not deleted (its record is in use); copy it from the volume");
  }
  return RecoverFromRecord(record, record_number, job);
}

bool CNtfs::ReadVolumeAt(uint64_t offset, MutableBytes out, ReadWindow* window) const {
  if (!window || out.size() > ReadWindow::kBytes) return volume_.device.read_at(offset, out);
  const bool inside = !window->bytes.empty() && offset >= window->start &&
                      offset - window->start <= window->bytes.size() - out.size();
  if (!inside) {
    // A window from the record on, shorter where the volume ends.
    window->start = offset;
    uint64_t length = ReadWindow::kBytes;
    if (const auto size = volume_.device.size_bytes(); size && *size > offset) length = std::min(length, *size - offset);
    // Every byte is read before it is used: no need to clear the window.
    window->bytes.resize(static_cast<size_t>(std::max<uint64_t>(length, out.size())));
    if (!volume_.device.read_at(offset, window->bytes)) {
      window->bytes.clear();
      return volume_.device.read_at(offset, out);
    }
  }
  std::copy_n(window->bytes.begin() + static_cast<std::ptrdiff_t>(offset - window->start), out.size(), out.begin());
  return true;
}

bool CNtfs::ReadRecordAt(uint64_t offset, std::vector<std::byte>& record, ReadWindow* window) const {
  record.assign(geometry_->file_record_bytes, std::byte{0});
  if (!ReadVolumeAt(offset, record, window)) {
    platform::debug_output(kReadFailed);
    return false;
  }
  // An old file system may have used another record size.
  const uint32_t own_size = ByteReader(record).u32(record::kBytesAllocated);
  if (own_size != record.size() && IsSoundRecordSize(own_size)) {
    record.resize(own_size);
    if (!ReadVolumeAt(offset, record, window)) {
      platform::debug_output(kReadFailed);
      return false;
    }
  }
  ApplyFixup(record);
  return true;
}

bool CNtfs::NtfsRecoverFormatData(int64_t record_offset_bytes, recovery::FileJob& job) {
  if (!geometry_ || record_offset_bytes < 0) return job.refuse(u"no record at that position");
  std::vector<std::byte> record;
  if (!ReadRecordAt(static_cast<uint64_t>(record_offset_bytes), record)) return job.refuse(u"its record could not be read");
  // The old $MFT is gone: extension records cannot be found by number.
  return RecoverFromRecord(record, std::nullopt, job);
}

recovery::BlockCache* CNtfs::ClusterBitmap() {
  ClusterBitmapState& state = cluster_bitmap_;
  if (state.tried) return state.cache ? &*state.cache : nullptr;
  state.tried = true;
  if (!geometry_) return nullptr;
  std::vector<std::byte> record(geometry_->file_record_bytes);
  if (!ReadMftRecord(kBitmapRecord, record)) return nullptr;
  auto data = FindAttribute(record, attr::kData, true);
  if (!data) return nullptr;
  // One bit per cluster of the volume, no more is read.
  const uint64_t needed = geometry_->total_clusters / 8 + 1;
  if (!data->non_resident) {
    auto value = ResidentValue(*data);
    if (!value) return nullptr;
    state.resident.assign(value->begin(), value->end());
    state.cache.emplace(state.resident.size(), [&resident = state.resident](uint64_t offset, MutableBytes out) {
      auto bytes = slice(resident, offset, out.size());
      if (!bytes) return false;
      std::copy(bytes->begin(), bytes->end(), out.begin());
      return true;
    });
    return &*state.cache;
  }
  auto stream = NonResidentData(record, kBitmapRecord);
  if (!stream) return nullptr;
  state.runs = std::move(stream->runs);
  state.cache.emplace(std::min(stream->data_size, needed), [this](uint64_t offset, MutableBytes out) {
    return ReadStream(cluster_bitmap_.runs, offset, out);
  });
  return &*state.cache;
}

std::optional<recovery::VerdictTally> CNtfs::JudgeRecordData(Bytes record, std::optional<uint64_t> record_number) {
  recovery::VerdictTally tally;
  auto data = FindAttribute(record, attr::kData, true);
  if (data && !data->non_resident) return tally;  // the record holds the data itself
  auto stream = NonResidentData(record, record_number);
  if (!stream) return std::nullopt;
  recovery::BlockCache* bitmap = ClusterBitmap();
  if (!bitmap) return std::nullopt;
  const uint64_t cluster = geometry_->cluster_size_bytes;
  // Clusters past the initialised size are not read; the runs hold no more
  // clusters than the volume has (RecoverFromRecord refuses such a file).
  const uint64_t read_clusters = stream->initialized_size / cluster + (stream->initialized_size % cluster != 0);
  uint64_t allocated = 0;
  for (const DataRun& run : stream->runs) {
    if (run.sparse || run.length == 0 || run.first_vcn >= read_clusters) continue;
    const uint64_t length = std::min(run.length, read_clusters - run.first_vcn);
    allocated += length;
    if (allocated > geometry_->total_clusters) return std::nullopt;
    const auto claimed = recovery::CountSetBits(*bitmap, run.lcn, length);
    const auto first = recovery::CountSetBits(*bitmap, run.lcn, 1);
    if (!claimed || !first) return std::nullopt;
    tally.add_run(length, *claimed, *first != 0);
  }
  return tally;
}

std::optional<recovery::VerdictTally> CNtfs::JudgeRecord(uint64_t record_number) {
  if (!geometry_) return std::nullopt;
  std::vector<std::byte> record(geometry_->file_record_bytes);
  if (!ReadMftRecord(record_number, record, &judge_window_)) return std::nullopt;
  const uint16_t flags = ByteReader(record).u16(record::kFlags);
  if (flags & record::kFlagInUse) {
    recovery::VerdictTally reused;
    reused.add_run(1, 1, true);
    return reused;
  }
  return JudgeRecordData(record, record_number);
}

std::optional<recovery::VerdictTally> CNtfs::JudgeFormatRecord(int64_t record_offset_bytes) {
  if (!geometry_ || record_offset_bytes < 0) return std::nullopt;
  const uint64_t offset = static_cast<uint64_t>(record_offset_bytes);
  // The record the sweep holds is the one ReadRecordAt would read when it
  // has the size ReadRecordAt would choose.
  if (held_record_ && held_record_->offset == offset) {
    const Bytes held = held_record_->bytes;
    const uint32_t own_size = ByteReader(held).u32(record::kBytesAllocated);
    if (held.size() == (IsSoundRecordSize(own_size) ? own_size : geometry_->file_record_bytes)) {
      return JudgeRecordData(held, std::nullopt);
    }
  }
  std::vector<std::byte> record;
  if (!ReadRecordAt(offset, record, &judge_window_)) return std::nullopt;
  return JudgeRecordData(record, std::nullopt);
}

bool CNtfs::NtfsRecoverData(std::u16string_view output_path, uint64_t record_number, ProgressCallback progress,
                            void* user) {
  return recovery::RecoverToPath(output_path, progress, user,
                                 [&](recovery::FileJob& job) { return NtfsRecoverData(record_number, job); });
}

bool CNtfs::NtfsRecoverFormatData(std::u16string_view output_path, int64_t record_offset_bytes,
                                  ProgressCallback progress, void* user) {
  return recovery::RecoverToPath(output_path, progress, user, [&](recovery::FileJob& job) {
    return NtfsRecoverFormatData(record_offset_bytes, job);
  });
}

}  // namespace salvor::engine
