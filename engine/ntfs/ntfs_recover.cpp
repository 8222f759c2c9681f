// NTFS recovery: the data of a deleted file (by record number) or of a file
// found by the unformat sweep (by its record's position) written to a new
// file. Only a complete copy counts: any failure removes the output and
// returns false. Compressed data is decompressed (LZNT1); encrypted data is
// refused, since a raw copy of it would look like a recovered file and is
// not one.
#include <algorithm>

#include "platform/platform.h"
#include "engine/ntfs/ntfs.h"
#include "engine/ntfs/ntfs_lznt1.h"

namespace salvor::engine {

using namespace ntfs;

namespace {

// Large batches keep the copy at disk speed; the fallbacks keep it going
// under memory pressure.
constexpr uint64_t kCopyBatchBytes = 4u << 20;
constexpr uint64_t kFallbackBatchBytes = 64u << 10;
constexpr uint64_t kLastBatchBytes = 4u << 10;

constexpr uint16_t kMaxCompressionUnitShift = 8;
constexpr uint64_t kMaxCompressionUnitBytes = 16u << 20;

const char16_t kReadFailed[] = u"Read Disk Fail\uFF01\n";
const char16_t kOpenFailed[] = u"Open Path Fail\uFF01\n";

}  // namespace

bool CNtfs::WriteNonResidentData(const std::vector<DataRun>& runs, uint64_t data_size, uint64_t initialized_size,
                                 std::u16string_view output_path, ProgressCallback progress, void* user) const {
  if (!geometry_) return false;
  const uint64_t cluster = geometry_->cluster_size_bytes;
  std::vector<std::byte> buffer;
  for (uint64_t want : {kCopyBatchBytes, kFallbackBatchBytes, kLastBatchBytes}) {
    const uint64_t bytes = std::max<uint64_t>(cluster, want) / cluster * cluster;
    try {
      buffer.resize(static_cast<size_t>(bytes));
      break;
    } catch (const std::bad_alloc&) {
      buffer.clear();
    }
  }
  if (buffer.empty()) return false;
  const uint64_t buffer_clusters = buffer.size() / cluster;

  platform::OutputFile output;
  if (!output.create(output_path)) {
    platform::debug_output(kOpenFailed);
    return false;
  }
  auto fail = [&]() {
    output.close();
    platform::remove_file(output_path);
    return false;
  };

  uint64_t owed = data_size;
  uint64_t written = 0;
  for (const DataRun& run : runs) {
    if (owed == 0) break;
    uint64_t clusters_left = run.length;
    uint64_t position = run.lcn * cluster;
    while (clusters_left > 0 && owed > 0) {
      const uint64_t n = std::min(clusters_left, buffer_clusters);
      const uint64_t chunk = std::min(n * cluster, owed);
      auto part = MutableBytes(buffer).first(static_cast<size_t>(chunk));
      // Reads stop at the data's end; only what is owed is read.
      const uint64_t read_bytes = (chunk + cluster - 1) / cluster * cluster;
      if (run.sparse) {
        std::fill(part.begin(), part.end(), std::byte{0});
      } else if (!volume_.device.read_at(position, MutableBytes(buffer).first(static_cast<size_t>(read_bytes)))) {
        platform::debug_output(kReadFailed);
        return fail();
      }
      // Bytes past the initialized size read as zeros whatever the clusters hold.
      if (written + chunk > initialized_size) {
        const uint64_t from = initialized_size > written ? initialized_size - written : 0;
        std::fill(part.begin() + static_cast<ptrdiff_t>(from), part.end(), std::byte{0});
      }
      if (!output.write(part)) return fail();
      if (progress) progress(clusters_left * cluster, user);
      written += chunk;
      owed -= chunk;
      clusters_left -= n;
      position += n * cluster;
    }
  }
  // The runs ended before the data did: the copy is not whole.
  if (owed > 0) return fail();
  if (!output.flush()) return fail();
  output.close();
  return true;
}

bool CNtfs::RecoverFromRecord(Bytes record, std::optional<uint64_t> record_number, std::u16string_view output_path,
                              ProgressCallback progress, void* user) const {
  auto data = FindAttribute(record, attr::kData, true);
  if (data && !data->non_resident) {
    if (data->flags & attr::kFlagEncrypted) return false;
    auto value = ResidentValue(*data);
    if (!value) return false;
    platform::OutputFile output;
    if (!output.create(output_path)) {
      platform::debug_output(kOpenFailed);
      return false;
    }
    if (!output.write(*value) || !output.flush()) {
      output.close();
      platform::remove_file(output_path);
      return false;
    }
    return true;
  }
  auto stream = NonResidentData(record, record_number);
  if (!stream) return false;
  // A file holds no more clusters than the volume has: a run list that says
  // otherwise repeats itself and would copy the volume over and over.
  uint64_t allocated = 0;
  for (const DataRun& run : stream->runs) {
    if (!run.sparse) allocated += run.length;  // each within the volume, so no overflow
    if (allocated > geometry_->total_clusters) return false;
  }
  if (stream->flags & attr::kFlagEncrypted) {
    platform::debug_output(u"NTFS: encrypted data is not recovered\n");
    return false;
  }
  if (stream->flags & attr::kFlagCompressed) {
    // Real volumes use 16-cluster units; other shifts are damage.
    if (stream->compression_shift == 0 || stream->compression_shift > kMaxCompressionUnitShift) {
      platform::debug_output(u"NTFS: compressed data of an unknown layout is not recovered\n");
      return false;
    }
    return WriteCompressedData(stream->runs, stream->data_size, stream->initialized_size,
                               uint64_t{1} << stream->compression_shift, output_path, progress, user);
  }
  return WriteNonResidentData(stream->runs, stream->data_size, stream->initialized_size, output_path, progress,
                              user);
}

bool CNtfs::WriteCompressedData(const std::vector<DataRun>& runs, uint64_t data_size, uint64_t initialized_size,
                                uint64_t unit_clusters, std::u16string_view output_path, ProgressCallback progress,
                                void* user) const {
  if (!geometry_) return false;
  const uint64_t cluster = geometry_->cluster_size_bytes;
  const uint64_t unit_bytes = unit_clusters * cluster;
  if (unit_bytes > kMaxCompressionUnitBytes) return false;
  std::vector<std::byte> stored(static_cast<size_t>(unit_bytes));
  std::vector<std::byte> unit(static_cast<size_t>(unit_bytes));

  platform::OutputFile output;
  if (!output.create(output_path)) {
    platform::debug_output(kOpenFailed);
    return false;
  }
  auto fail = [&]() {
    output.close();
    platform::remove_file(output_path);
    return false;
  };

  // A unit whose clusters are all on disk is stored raw; one that is all
  // sparse is zeros; one with clusters followed by a sparse tail holds LZNT1
  // data in those clusters.
  for (uint64_t written = 0; written < data_size;) {
    const uint64_t first_vcn = written / cluster;
    uint64_t allocated = 0;
    bool sparse_seen = false;
    for (uint64_t i = 0; i < unit_clusters; ++i) {
      auto mapped = MapVcn(runs, first_vcn + i);
      if (!mapped) {
        // The run list may end inside the last unit, past the data.
        if ((first_vcn + i) * cluster < data_size) return fail();
        sparse_seen = true;
        continue;
      }
      if (mapped->sparse) {
        sparse_seen = true;
      } else if (sparse_seen) {
        return fail();  // clusters after the sparse tail: no layout NTFS writes
      } else {
        ++allocated;
      }
    }
    std::fill(unit.begin(), unit.end(), std::byte{0});
    if (allocated == unit_clusters) {
      if (!ReadStream(runs, first_vcn * cluster, unit)) return fail();
    } else if (allocated > 0) {
      auto in = MutableBytes(stored).first(static_cast<size_t>(allocated * cluster));
      if (!ReadStream(runs, first_vcn * cluster, in)) return fail();
      if (!DecompressLznt1(in, unit)) {
        platform::debug_output(u"NTFS: damaged compressed data\n");
        return fail();
      }
    }
    const uint64_t chunk = std::min(unit_bytes, data_size - written);
    auto part = MutableBytes(unit).first(static_cast<size_t>(chunk));
    if (written + chunk > initialized_size) {
      const uint64_t from = initialized_size > written ? initialized_size - written : 0;
      std::fill(part.begin() + static_cast<ptrdiff_t>(from), part.end(), std::byte{0});
    }
    if (!output.write(part)) return fail();
    if (progress) progress(data_size - written, user);
    written += chunk;
  }
  if (!output.flush()) return fail();
  output.close();
  return true;
}

bool CNtfs::NtfsRecoverData(std::u16string_view output_path, uint64_t record_number, ProgressCallback progress,
                            void* user) {
  if (!geometry_) return false;
  std::vector<std::byte> record(geometry_->file_record_bytes);
  if (!ReadMftRecord(record_number, record)) return false;
  const uint16_t flags = ByteReader(record).u16(record::kFlags);
  if (flags != 0 && flags != record::kFlagDirectory) return false;  // in use
  return RecoverFromRecord(record, record_number, output_path, progress, user);
}

bool CNtfs::NtfsRecoverFormatData(std::u16string_view output_path, int64_t record_offset_bytes,
                                  ProgressCallback progress, void* user) {
  if (!geometry_ || record_offset_bytes < 0) return false;
  // A whole record: of the size the record gives itself when that is sound
  // (an old file system may have used another size), else the volume's.
  std::vector<std::byte> record(geometry_->file_record_bytes);
  const auto offset = static_cast<uint64_t>(record_offset_bytes);
  if (!volume_.device.read_at(offset, record)) {
    platform::debug_output(kReadFailed);
    return false;
  }
  const uint32_t own_size = ByteReader(record).u32(record::kBytesAllocated);
  if (own_size != record.size() && IsSoundRecordSize(own_size)) {
    record.resize(own_size);
    if (!volume_.device.read_at(offset, record)) {
      platform::debug_output(kReadFailed);
      return false;
    }
  }
  ApplyFixup(record);
  // The old $MFT is gone: extension records cannot be found by number.
  return RecoverFromRecord(record, std::nullopt, output_path, progress, user);
}

}  // namespace salvor::engine
