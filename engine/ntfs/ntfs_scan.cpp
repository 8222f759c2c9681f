// The NTFS Quick Scan: every record of the $MFT is read, in large sequential
// batches, and each one that is no longer in use (a deleted file or folder)
// is reported with the path rebuilt from its parents' names.
#include <algorithm>
#include <unordered_map>

#include "engine/ntfs/ntfs.h"

namespace salvor::engine {

using namespace ntfs;

namespace {

// Records per batch read: 1 MiB of 1 KiB records, which stays in the
// second-level cache while its records are looked at. A failed batch is read
// again record by record, so results are those of reading one at a time.
constexpr uint64_t kBatchBytes = 1u << 20;
constexpr uint64_t kProgressEveryRecords = 15000;
// Bounds the memory of the folder-path cache on a volume with very many folders.
constexpr size_t kMaxCachedFolders = 1u << 20;

NtfsFileTime ToFileTime(uint64_t value) {
  NtfsFileTime time;
  time.LowDateTime = static_cast<uint32_t>(value);
  time.HighDateTime = static_cast<uint32_t>(value >> 32);
  return time;
}

}  // namespace

namespace ntfs_internal {
_FileInfoNtfs RecordInfo(Bytes record, const FileName& name) {
  _FileInfoNtfs info;
  info.ParentMftNumber = name.parent;
  info.Source = kNtfsFromRecord;
  info.Type = name.is_directory() ? kEntryFolder : kEntryFile;
  info.FileAttributes = name.file_attributes;
  auto data = FindAttribute(record, attr::kData, true);
  info.DataSize = data ? DataSizeOf(*data) : 0;
  info.FileTime = ToFileTime(ModifiedTime(record, name));
  return info;
}
}  // namespace ntfs_internal

namespace {

// The paths of the folders met by one scan, so that the deleted files of a
// folder do not each walk its parent chain again.
class FolderPaths {
 public:
  explicit FolderPaths(const CNtfs& ntfs) : ntfs_(ntfs), record_(ntfs.geometry()->file_record_bytes) {}

  // "A\B\name" for an entry `name` whose parent is `parent`.
  std::u16string PathOf(uint64_t parent, const std::u16string& name) {
    if (parent == kRootRecord) return name;
    auto cached = paths_.find(parent);
    if (cached == paths_.end()) {
      std::optional<std::u16string> folder;
      if (ntfs_.ReadMftRecord(parent, record_)) {
        if (auto folder_name = FindLongName(record_)) {
          folder = folder_name->parent == parent ? folder_name->name
                                                 : ntfs_.BuildParentPath(folder_name->parent, folder_name->name);
        }
      }
      if (paths_.size() >= kMaxCachedFolders) paths_.clear();
      cached = paths_.emplace(parent, std::move(folder)).first;
    }
    if (!cached->second) return name;
    if (cached->second->size() + 1 + name.size() > CNtfs::kMaxPathChars) return name;
    return *cached->second + u"\\" + name;
  }

 private:
  const CNtfs& ntfs_;
  std::vector<std::byte> record_;
  std::unordered_map<uint64_t, std::optional<std::u16string>> paths_;
};

}  // namespace

bool CNtfs::ScanNtfsDisk(std::u16string_view volume_path, NtfsScanCallback callback, void* user,
                         NtfsProgressCallback progress) {
  if (!geometry_) return false;
  const uint64_t record_bytes = geometry_->file_record_bytes;
  const uint64_t cluster = geometry_->cluster_size_bytes;
  const uint64_t batch_records = std::max<uint64_t>(1, kBatchBytes / record_bytes);
  std::vector<std::byte> batch(static_cast<size_t>(batch_records * record_bytes));
  FolderPaths folders(*this);

  auto report = [&](Bytes record, uint64_t number) {
    ByteReader reader(record);
    if (reader.u32(record::kSignature) != record::kFileMagic) return;
    const uint16_t flags = reader.u16(record::kFlags);
    if (flags != 0 && flags != record::kFlagDirectory) return;  // in use, or not a plain file or folder
    // An extension record is part of its base record's file, reported there.
    if ((reader.u64(record::kBaseRecord) & kRecordNumberMask) != 0) return;
    auto name = RecordName(record, number);
    if (!name) return;
    _FileInfoNtfs info = ntfs_internal::RecordInfo(record, *name);
    info.MftNumber = number;
    std::u16string path(volume_path);
    path += u"\\";
    path += folders.PathOf(name->parent, name->name);
    info.FullPath = salvor::RcWString(std::u16string_view(path));
    if (callback) callback(info, user);
  };

  // The $MFT cannot hold more records than the volume has room for, however
  // a damaged run list repeats its runs.
  uint64_t slots_left = geometry_->total_clusters * cluster / record_bytes;
  for (const DataRun& run : mft_runs_) {
    // The records that begin inside this run of the $MFT. With clusters of
    // at least a record these are run length x cluster size / record size.
    const uint64_t run_begin = run.first_vcn * cluster;
    const uint64_t run_end = (run.first_vcn + run.length) * cluster;
    const uint64_t first = (run_begin + record_bytes - 1) / record_bytes;
    const uint64_t end = (run_end + record_bytes - 1) / record_bytes;
    if (end <= first || slots_left == 0) continue;
    const uint64_t count = std::min(end - first, slots_left);
    slots_left -= count;
    for (uint64_t j = 0; j < count;) {
      const uint64_t n = std::min(batch_records, count - j);
      auto span = MutableBytes(batch).first(static_cast<size_t>(n * record_bytes));
      const bool batch_read = ReadStream(mft_runs_, (first + j) * record_bytes, span);
      bool run_ended = false;
      for (uint64_t k = 0; k < n; ++k, ++j) {
        auto record = span.subspan(static_cast<size_t>(k * record_bytes), static_cast<size_t>(record_bytes));
        if (!batch_read && !ReadStream(mft_runs_, (first + j) * record_bytes, record)) {
          // The first record of a run cannot be read: the $MFT is not there.
          if (j == 0) return false;
          run_ended = true;  // the rest of this run is skipped
          break;
        }
        ApplyFixup(record);
        if (progress && j % kProgressEveryRecords == 0) progress(user, count, count - 1 - j);
        report(record, first + j);
      }
      if (run_ended) break;
    }
  }
  return true;
}

}  // namespace salvor::engine
