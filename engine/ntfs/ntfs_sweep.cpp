// The NTFS unformat sweep: the volume is read window by window and every
// 512-byte unit that opens with "FILE" and lies outside the present $MFT is
// taken as an old file record; those with a usable name are reported with
// their position, which recovery later reads the record from.
#include <algorithm>
#include <cstring>

#include "engine/ntfs/ntfs.h"
#include "engine/sweep_windows.h"
#include "engine/volume_access.h"
#include "platform/platform.h"

namespace salvor::engine {

using namespace ntfs;

namespace {

constexpr uint64_t kUnitBytes = kSweepUnitBytes;

constexpr char kFileSignature[4] = {'F', 'I', 'L', 'E'};

// One extent of the present $MFT, as the byte range of its clusters.
struct MftExtent {
  uint64_t begin_bytes = 0;
  uint64_t end_bytes = 0;
};

// The extents of the present $MFT, in ascending order. Runs lie within the
// volume (checked when decoded), so the byte offsets do not overflow.
std::vector<MftExtent> MftExtentList(const std::vector<DataRun>& runs, uint64_t cluster_bytes) {
  std::vector<MftExtent> extents;
  for (const DataRun& run : runs) {
    if (!run.sparse) extents.push_back({run.lcn * cluster_bytes, (run.lcn + run.length) * cluster_bytes});
  }
  std::sort(extents.begin(), extents.end(),
            [](const MftExtent& a, const MftExtent& b) { return a.begin_bytes < b.begin_bytes; });
  return extents;
}

}  // namespace

bool CNtfs::ScanNtfsByFormat(std::u16string_view volume_path, uint64_t volume_size_bytes, NtfsScanCallback callback,
                             void* user) {
  if (!geometry_) return false;
  const uint64_t cluster = geometry_->cluster_size_bytes;
  const std::vector<MftExtent> extents = MftExtentList(mft_runs_, cluster);
  size_t next_extent = 0;
  std::vector<std::byte> record;
  std::vector<std::byte> base_record;
  std::u16string path;
  bool result = true;

  const auto sweep_window = [&](const SweepWindow& window) {
    const uint64_t start = window.offset_bytes;
    const Bytes bytes = window.with_tail;
    for (uint64_t offset = 0; offset < window.data.size(); offset += kUnitBytes) {
      const uint64_t p = start + offset;
      // Every unit of the present $MFT's clusters is skipped: its live
      // records are not old files. The extents are byte ranges in
      // ascending order, consumed from the front as the sweep moves on.
      while (next_extent < extents.size() && p >= extents[next_extent].end_bytes) ++next_extent;
      if (next_extent < extents.size() && p >= extents[next_extent].begin_bytes) {
        const uint64_t skip_to = std::min<uint64_t>(extents[next_extent].end_bytes, start + window.data.size());
        offset = (skip_to - start + kUnitBytes - 1) / kUnitBytes * kUnitBytes - kUnitBytes;
        continue;
      }
      if (std::memcmp(bytes.data() + offset, kFileSignature, 4) != 0) continue;

      // The record, of the size it gives itself when that is sound, taken
      // from the window or, when it runs past it, read again.
      uint32_t record_bytes = ByteReader(bytes.subspan(static_cast<size_t>(offset))).u32(record::kBytesAllocated);
      if (!IsSoundRecordSize(record_bytes)) record_bytes = geometry_->file_record_bytes;
      record.resize(record_bytes);
      if (auto in_window = slice(bytes, offset, record_bytes)) {
        std::copy(in_window->begin(), in_window->end(), record.begin());
      } else if (!volume_.device.read_at(p, record)) {
        continue;  // passed over
      }
      ApplyFixup(record);
      auto name = FindLongName(record);
      if (!name) {
        result = false;  // records without a name
        continue;
      }
      if (!IsReportableName(name->name)) continue;
      // A name held in an extension record belongs to its base record's
      // file: the base record is reported, found where the old $MFT put it
      // (both records carry their numbers), when it is there.
      uint64_t record_offset = p;
      ByteReader header(record);
      const uint64_t base = header.u64(record::kBaseRecord) & kRecordNumberMask;
      if (base != 0) {
        const uint32_t own_number = header.u32(record::kRecordNumber);
        const uint64_t distance = (own_number - base) * uint64_t{record_bytes};
        if (base > own_number || distance > p) continue;
        base_record.resize(record_bytes);
        if (!volume_.device.read_at(p - distance, base_record)) continue;
        ByteReader base_header(base_record);
        if (base_header.u32(record::kSignature) != record::kFileMagic ||
            base_header.u32(record::kRecordNumber) != base || base_header.u64(record::kBaseRecord) != 0) {
          continue;
        }
        ApplyFixup(base_record);
        record_offset = p - distance;
        record.swap(base_record);
      }
      _FileInfoNtfs info = ntfs_internal::RecordInfo(record, *name);
      info.RecordOffset = record_offset;
      path.assign(volume_path);
      path += u"\\";
      path += name->name;
      info.FullPath = salvor::RcWString(std::u16string_view(path));
      if (callback) {
        held_record_ = HeldRecord{record_offset, record};
        callback(info, user);
        held_record_.reset();
      }
    }
  };
  // The tail holds the rest of a record that begins in a window's last
  // units.
  const bool swept = SweepWindows(volume_.device, volume_size_bytes, geometry_->file_record_bytes, sweep_window);
  return swept && result;
}

}  // namespace salvor::engine
