// CNtfs: the NTFS scanner. It keeps the volume's geometry and the $MFT's own
// record (file record 0), through whose run list every other record is read.
// On top of the reading primitives: the Quick Scan of deleted records
// (ntfs_scan.cpp), the directory walk (ntfs_directory.cpp), recovery
// (ntfs_recover.cpp) and the unformat sweep (ntfs_sweep.cpp).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/gleaner_api.h"
#include "engine/ntfs/ntfs_record.h"
#include "engine/recovery/recovery_writer.h"
#include "engine/recovery/verdict.h"
#include "engine/volume_access.h"

namespace salvor::engine {

class CNtfs {
 public:
  virtual ~CNtfs() = default;

  bool OpenVolume(const char16_t* path) { return engine::OpenVolume(path, volume_); }

  // 128 KiB of the volume kept from one read to the next: the records a
  // pass of verdicts reads come in the order they lie on the volume, so one
  // read serves many of them. Deleted files lie in clusters of records (a
  // folder's files) far apart: a larger window mostly reads records that
  // are not asked for.
  struct ReadWindow {
    static constexpr uint64_t kBytes = 128u << 10;
    uint64_t start = 0;
    std::vector<std::byte> bytes;
  };
  // Decodes the boot sector's sizes and reads the $MFT's own record. False
  // when the boot sector is not NTFS or the $MFT's record gives no run list.
  bool LoadRecordLayout();

  // Fills `out` (file_record_bytes long) with record `number`, fixed up.
  // False when the $MFT does not map it or the read fails.
  bool ReadMftRecord(uint64_t number, MutableBytes out, ReadWindow* window = nullptr) const;
  // Reads out.size() bytes of a non-resident stream at byte `offset` of the
  // stream; sparse clusters read as zeros. False when a byte is not mapped
  // by the runs or the volume read fails.
  bool ReadStream(const std::vector<ntfs::DataRun>& runs, uint64_t offset, MutableBytes out,
                  ReadWindow* window = nullptr) const;
  // `count` clusters from `first_vcn` of a non-resident stream.
  bool ReadClusters(const std::vector<ntfs::DataRun>& runs, uint64_t first_vcn, uint64_t count,
                    MutableBytes out) const;
  // The whole value of an attribute, resident or not (at most `max_bytes`).
  std::optional<std::vector<std::byte>> ReadAttributeValue(const ntfs::Attribute& attribute,
                                                           uint64_t max_bytes) const;
  // The run list of a non-resident attribute, checked against the volume.
  std::optional<std::vector<ntfs::DataRun>> RunsOf(const ntfs::Attribute& attribute) const;

  // A file's unnamed non-resident $DATA as one run list: the piece in its
  // own record, or, when the record has an $ATTRIBUTE_LIST and
  // `record_number` is known, the pieces in the extension records it names,
  // joined in VCN order. Nothing when the pieces do not join up.
  struct DataStream {
    std::vector<ntfs::DataRun> runs;
    uint64_t data_size = 0;
    uint64_t initialized_size = 0;
    uint16_t flags = 0;
    uint16_t compression_shift = 0;
  };
  std::optional<DataStream> NonResidentData(Bytes record, std::optional<uint64_t> record_number) const;

  // Walks the $ATTRIBUTE_LIST of `record` (number `record_number`): for each
  // entry, `visit(entry, holder)` gets the record that holds the attribute,
  // `record` itself or the extension record the entry names, read and fixed
  // up; an empty holder when that record cannot be read or no longer names
  // `record_number` as its base (it was reused since). Ends when `visit`
  // returns false. False when the record has no list that can be read.
  bool ForEachListedAttribute(Bytes record, uint64_t record_number,
                              const std::function<bool(const ntfs::AttributeListEntry&, Bytes)>& visit) const;

  // The record's first long name: in the record itself, or, when it has
  // none there, in the extension records its $ATTRIBUTE_LIST names.
  std::optional<ntfs::FileName> RecordName(Bytes record, uint64_t record_number) const;

  // Quick Scan: reports every $MFT record not in use, with its path.
  bool ScanNtfsDisk(std::u16string_view volume_path, NtfsScanCallback callback, void* user,
                    NtfsProgressCallback progress);
  // Lists the folder that `directory_path` names ("E:\A\B").
  bool ScanNtfsEx(std::u16string_view directory_path, NtfsScanCallback callback, void* user);
  // Find mode (a name): stores the record number of `name` in folder
  // `directory` into `found`. List mode (no name): reports every entry of
  // the folder with `prefix` + "\" + name. False when the folder's record is
  // not in use (or the $MFT bitmap cannot be read).
  bool ListDirectory(std::u16string_view prefix, const char16_t* name, uint64_t directory, uint64_t* found,
                     NtfsScanCallback callback, void* user);
  bool FindByFileName(std::u16string_view directory_path, const char16_t* name, uint64_t directory,
                      uint64_t* found, NtfsScanCallback callback, void* user) {
    return ListDirectory(directory_path, name, directory, found, callback, user);
  }

  // The path of a record's name under its parents, up to the root (record
  // 5): "A\B\name". The walk stops at a record without a Win32 name, at a
  // record already visited (a loop) and after kMaxPathDepth parents.
  std::u16string BuildParentPath(uint64_t parent, std::u16string name) const;

  // Recovery: the file's extents handed to `job`; the path forms write
  // one file at `output_path` outside any run.
  // A record in use is refused unless `present_file` says the caller found
  // it as a present file.
  bool NtfsRecoverData(uint64_t record_number, recovery::FileJob& job, bool present_file = false);
  bool NtfsRecoverFormatData(int64_t record_offset_bytes, recovery::FileJob& job);
  bool NtfsRecoverData(std::u16string_view output_path, uint64_t record_number, ProgressCallback progress,
                       void* user);
  bool NtfsRecoverFormatData(std::u16string_view output_path, int64_t record_offset_bytes,
                             ProgressCallback progress, void* user);

  // Verdicts: the clusters the recoveries above would read, against the
  // volume's $Bitmap. A record that is in use again is a file overwritten;
  // data held in the record itself is intact. Nothing when it cannot be
  // told (the record unread, its runs broken, no $Bitmap).
  std::optional<recovery::VerdictTally> JudgeRecord(uint64_t record_number);
  std::optional<recovery::VerdictTally> JudgeFormatRecord(int64_t record_offset_bytes);

  // Unformat sweep over the first `volume_size_bytes` of the volume.
  bool ScanNtfsByFormat(std::u16string_view volume_path, uint64_t volume_size_bytes, NtfsScanCallback callback,
                        void* user);

  const std::optional<ntfs::NtfsGeometry>& geometry() const { return geometry_; }
  const std::vector<ntfs::DataRun>& mft_runs() const { return mft_runs_; }

  static constexpr size_t kMaxPathDepth = 1024;
  static constexpr size_t kMaxPathChars = 32767;
  static constexpr size_t kMaxDirectoryPathChars = 259;

 private:
  struct DirectoryWalk;
  // The buffers of one folder listing: the INDX blocks read, groups of the
  // entries' records by slot, and one record. They are kept from one
  // listing to the next: allocated afresh for each of many small folders,
  // they were measured to cost a fifth of a Quick Scan's time in page
  // faults.
  struct ListingBuffers {
    std::vector<std::byte> index_blocks;
    std::vector<uint64_t> group_first;              // by slot; UINT64_MAX: empty
    std::vector<std::vector<std::byte>> group_bytes;  // by slot; empty: not read whole
    std::vector<std::byte> record;
  };
  // A listing runs inside the callback of the listing of its parent folder:
  // one set of buffers per depth, up to kKeptListingDepth (deeper ones have
  // their own).
  static constexpr size_t kKeptListingDepth = 16;
  std::deque<ListingBuffers> listing_buffers_;
  size_t listing_depth_ = 0;
  void WalkIndexAllocation(Bytes record, DirectoryWalk& walk) const;
  bool ReportIndexEntry(const ntfs::IndexEntry& entry, DirectoryWalk& walk) const;
  // The modification time in the record an index entry names, when that
  // record is still the entry's.
  std::optional<uint64_t> EntryModifiedTime(const ntfs::IndexEntry& entry, DirectoryWalk& walk) const;
  bool RecoverFromRecord(Bytes record, std::optional<uint64_t> record_number, recovery::FileJob& job) const;
  std::optional<bool> MftBitmapBit(uint64_t record_number) const;
  // The FILE record at a byte position of the volume, fixed up, of the size
  // the record gives itself when that is sound, read through `window` when
  // there is one.
  bool ReadRecordAt(uint64_t offset, std::vector<std::byte>& record, ReadWindow* window = nullptr) const;
  bool ReadVolumeAt(uint64_t offset, MutableBytes out, ReadWindow* window) const;
  std::optional<recovery::VerdictTally> JudgeRecordData(Bytes record, std::optional<uint64_t> record_number);
  // The $Bitmap (record 6), read the first time a verdict needs it; null
  // when it cannot be read.
  recovery::BlockCache* ClusterBitmap();

  ScannerVolume volume_;
  std::optional<ntfs::NtfsGeometry> geometry_;
  std::vector<std::byte> mft_record_;
  std::vector<ntfs::DataRun> mft_runs_;
  struct ClusterBitmapState {
    bool tried = false;
    std::vector<ntfs::DataRun> runs;
    std::vector<std::byte> resident;  // a $Bitmap held in its record (tiny volumes)
    std::optional<recovery::BlockCache> cache;
  };
  ClusterBitmapState cluster_bitmap_;
  ReadWindow judge_window_;  // the records the verdicts read
  // The record the sweep is reporting, fixed up, while its callback runs: a
  // verdict asked for from the callback takes it from here, not from
  // another read.
  struct HeldRecord {
    uint64_t offset = 0;
    Bytes bytes;
  };
  std::optional<HeldRecord> held_record_;
};

namespace ntfs_internal {
// The fields of a report taken from a FILE record and its name; the caller
// sets the record number or position and the path.
_FileInfoNtfs RecordInfo(Bytes record, const ntfs::FileName& name);
}  // namespace ntfs_internal

}  // namespace salvor::engine
