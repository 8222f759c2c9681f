// The Gleaner engine's binary interface: the record of a found FAT-family
// entry, the callback contracts and the exported functions.
//
// The program binds the exports by name at run time (dlsym/GetProcAddress);
// the *Fn typedefs below are the types it binds them to. Every export works
// on the one engine object of the library and returns false on any failure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/rc_wstring.h"

#if defined(_WIN32)
#define GLEANER_EXPORT extern "C" __declspec(dllexport)
#else
#define GLEANER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace salvor {

// File-system kinds shared by program and engine.
enum VolumeKind : int32_t {
  kVolumeFat16 = 16,
  kVolumeFat32 = 32,
  kVolumeExFat = 88,
  kVolumeNtfs = 99,
};

inline constexpr uint32_t kDeleted = 1;
inline constexpr uint32_t kPresent = 2;
inline constexpr uint32_t kEntryFolder = 1;
// The folder under the root whose records are the entries of directory
// clusters that no folder of a FAT-family Quick Scan could take (the later
// clusters of deleted folders whose place was not found).
inline constexpr const char16_t* kLostEntriesFolder = u"$LostEntries";
inline constexpr uint32_t kEntryFile = 2;
// A flag in _FileInfoFat::Reserved: the file's recorded size is more than
// the clusters from its first cluster to the volume's end can hold. Its
// recovery stops at the volume's end.
inline constexpr uint32_t kRecordDamaged = 1;

}  // namespace salvor

// One found FAT16, FAT32 or exFAT entry, handed to the scan callback by value.
// Byte-packed; the field order and widths are fixed.
#pragma pack(push, 1)
struct _FileInfoFat {
  uint32_t ParentFolder = 0;  // folder number of the holding folder's parent (0: root or unknown)
  uint32_t Folder = 0;        // folder number of the holding folder (0: root or unknown)
  uint32_t FirstCluster = 0;
  uint32_t DeleteState = 0;  // 1 deleted, 2 present
  uint32_t EntryType = 0;    // 1 folder, 2 file
  uint32_t Attributes = 0;
  uint32_t Reserved = 0;     // flags: kRecordDamaged
  uint64_t FileSize = 0;
  uint8_t Second = 0;  // 0..58, even
  uint8_t Minute = 0;
  uint8_t Hour = 0;
  uint8_t Day = 0;
  uint8_t Month = 0;
  uint16_t Year = 0;  // full year
  salvor::RcWString FullPath;
};
#pragma pack(pop)

static_assert(offsetof(_FileInfoFat, FileSize) == 28);
static_assert(offsetof(_FileInfoFat, Second) == 36);
static_assert(offsetof(_FileInfoFat, Year) == 41);
static_assert(offsetof(_FileInfoFat, FullPath) == 43);
static_assert(sizeof(_FileInfoFat) == 43 + sizeof(void*));

// Results of both callbacks are ignored by the engine.
using ScanCallback = uint32_t (*)(_FileInfoFat record, void* user);
using ProgressCallback = uint32_t (*)(uint64_t bytes_left, void* user);

// A FILETIME: 100-nanosecond intervals since 1601-01-01 UTC, in two halves.
struct NtfsFileTime {
  uint32_t LowDateTime = 0;
  uint32_t HighDateTime = 0;
};

// One found NTFS entry, handed to the NTFS callbacks by value. Byte-packed;
// the field order and widths are fixed.
#pragma pack(push, 1)
struct _FileInfoNtfs {
  uint64_t MftNumber = 0;        // record number (48 bits); 0 from the unformat scan
  uint64_t ParentMftNumber = 0;  // the parent directory's record number (48 bits)
  uint64_t RecordOffset = 0;     // byte position of the FILE record; unformat scan only
  uint32_t Source = 0;           // 1 file record, 2 directory index entry
  uint32_t Type = 0;             // 1 directory, 2 file
  uint32_t FileAttributes = 0;   // the $FILE_NAME attribute flags
  uint64_t DataSize = 0;
  NtfsFileTime FileTime;
  salvor::RcWString FullPath;
};
#pragma pack(pop)

static_assert(offsetof(_FileInfoNtfs, RecordOffset) == 16);
static_assert(offsetof(_FileInfoNtfs, Source) == 24);
static_assert(offsetof(_FileInfoNtfs, DataSize) == 36);
static_assert(offsetof(_FileInfoNtfs, FileTime) == 44);
static_assert(offsetof(_FileInfoNtfs, FullPath) == 52);
static_assert(sizeof(_FileInfoNtfs) == 52 + sizeof(void*));

namespace salvor {
inline constexpr uint32_t kNtfsFromRecord = 1;
inline constexpr uint32_t kNtfsFromIndex = 2;
}  // namespace salvor

// Results of the NTFS callbacks are ignored by the engine. The progress
// callback of the Quick Scan gets the records of the current $MFT run and a
// countdown of the records left in it.
using NtfsScanCallback = uint32_t (*)(_FileInfoNtfs record, void* user);
using NtfsProgressCallback = uint32_t (*)(void* user, uint64_t run_records, uint64_t countdown);

using InitReEngineFn = bool (*)(int kind, const char16_t* path);
using ReScanFatDiskFn = bool (*)(ScanCallback callback, void* user, int kind, const char16_t* path);
using ReFatDirectoryFn = bool (*)(uint32_t cluster, _FileInfoFat* record);
using ReSearchClusterFn = bool (*)(salvor::RcWString parent_path, const char16_t* name, uint32_t cluster,
                                   uint32_t* found_cluster, ScanCallback callback, void* user);
using ReInitFatExFn = bool (*)(const char16_t* path);
using ReScanFatFormatDiskFn = bool (*)(uint64_t volume_size_bytes, ScanCallback callback, void* user);
using ReIsDirectory32Fn = bool (*)(uint64_t volume_size_bytes, _FileInfoFat* record, ScanCallback callback,
                                   void* user);
using ReFatRecoverDataFn = bool (*)(const char16_t* output_path, uint32_t first_cluster, uint32_t size_bytes,
                                    ProgressCallback progress, void* user);
using ReFatRecoverData64Fn = bool (*)(const char16_t* output_path, uint32_t first_cluster, uint64_t size_bytes,
                                      ProgressCallback progress, void* user);
struct ReRecoveryOptions;
struct ReRecoverItemRequest;
struct ReRecoverItemResult;
using ReBeginRecoveryFn = bool (*)(const char16_t* root, const ReRecoveryOptions* options,
                                   ReRecoverItemResult* result);
using ReRecoverItemFn = bool (*)(const ReRecoverItemRequest* request, ReRecoverItemResult* result);
using ReSetFolderTimesFn = bool (*)(const char16_t* relative_folder, uint64_t modified, uint64_t created);
using ReEndRecoveryFn = bool (*)(ReRecoverItemResult* result);
using ReJudgeItemFn = bool (*)(const ReRecoverItemRequest* request, uint32_t* verdict);
using ReMountImageFn = bool (*)(char16_t letter, const char16_t* image_path);
// Where an unformat sweep stands: bytes of the volume swept so far, of the
// bytes it sweeps. The result is ignored.
using SweepProgressCallback = uint32_t (*)(uint64_t bytes_swept, uint64_t bytes_total, void* user);
using ReSetSweepProgressFn = bool (*)(SweepProgressCallback callback, void* user);
using ReMountImageRangeFn = bool (*)(char16_t letter, const char16_t* image_path, uint64_t offset_bytes,
                                     uint64_t length_bytes);
struct RePartitionList;
using ReListPartitionsFn = bool (*)(const char16_t* source_path, uint32_t flags, RePartitionList* list);
struct RePartitionOptions;
using ReListPartitionsExFn = bool (*)(const char16_t* source_path, const RePartitionOptions* options,
                                      RePartitionList* list);
using ReMountVolumeFn = bool (*)(char16_t letter, intptr_t native_handle, uint64_t offset_bytes,
                                 uint64_t length_bytes);
// Sets the OEM code page of 8.3 names (437 until set); false for one the
// engine cannot decode.
using ReSetOemCodePageFn = bool (*)(uint32_t code_page);
struct ReBootSectorInfo;
using ReProbeBootSectorFn = bool (*)(const void* sector, uint32_t size_bytes, ReBootSectorInfo* info);
using ReScanNtfsDiskFn = bool (*)(NtfsScanCallback callback, void* user, const char16_t* unused_path,
                                  NtfsProgressCallback progress);
using ReScanNtfsExFn = bool (*)(const char16_t* directory_path, NtfsScanCallback callback, void* user);
using ReScanNtfsFormatDiskFn = bool (*)(const char16_t* volume_path, uint64_t volume_size_bytes,
                                        NtfsScanCallback callback, void* user);
using ReNtfsRecoverDataFn = bool (*)(const char16_t* output_path, uint64_t record_number, ProgressCallback progress,
                                     void* user);
using ReNtfsRecoverFormatDataFn = bool (*)(const char16_t* output_path, int64_t record_offset_bytes,
                                           ProgressCallback progress, void* user);
using ReFindMftnumByFileNameFn = bool (*)(salvor::RcWString directory_path, const char16_t* name,
                                          uint64_t directory_record, uint64_t* found_record,
                                          NtfsScanCallback callback, void* user);

GLEANER_EXPORT bool InitReEngine(int kind, const char16_t* path);
GLEANER_EXPORT bool ReScanFatDisk(ScanCallback callback, void* user, int kind, const char16_t* path);
GLEANER_EXPORT bool ReFatDirectory(uint32_t cluster, _FileInfoFat* record);
GLEANER_EXPORT bool ReSearchCluster(salvor::RcWString parent_path, const char16_t* name, uint32_t cluster,
                                    uint32_t* found_cluster, ScanCallback callback, void* user);
GLEANER_EXPORT bool ReInitFatEx(const char16_t* path);
// Sweeps the whole volume for the directory clusters of a file system that
// was formatted over; records carry bare names and folder numbers.
GLEANER_EXPORT bool ReScanFatFormatDisk(uint64_t volume_size_bytes, ScanCallback callback, void* user);
// FAT32: finds the directory of a deleted folder whose first cluster lost its
// high half, and reports its entries.
GLEANER_EXPORT bool ReIsDirectory32(uint64_t volume_size_bytes, _FileInfoFat* record, ScanCallback callback,
                                    void* user);
// Writes one found file to a new file at `output_path`. A name that exists
// is never replaced: the file gets the next free numbered name ("a (1).txt").
// Inside a recovery run (ReBeginRecovery) a path below the run's folder is
// reached from it without following links; any other path is a run of its
// own. ReFatRecoverData64 takes the size in 64 bits (exFAT files of 4 GiB
// and more); otherwise the two are the same.
GLEANER_EXPORT bool ReFatRecoverData(const char16_t* output_path, uint32_t first_cluster, uint32_t size_bytes,
                                     ProgressCallback progress, void* user);
GLEANER_EXPORT bool ReFatRecoverData64(const char16_t* output_path, uint32_t first_cluster, uint64_t size_bytes,
                                       ProgressCallback progress, void* user);

// Recovery runs. A run opens its destination folder once and writes every
// file below it through one writer: folders are reached from that folder
// without following a link, a name that exists is never replaced (the file
// takes the next free numbered name), zero ranges stay holes, the
// destination's free space and 4 times the volume's size bound what the run
// writes, and everything is made durable once, when the run ends.
struct ReRecoveryOptions {
  uint32_t StructSize = sizeof(ReRecoveryOptions);
  uint32_t FileMode = 0600;    // POSIX permission bits of new files
  uint32_t FolderMode = 0700;  // and of new folders
  uint32_t Reserved = 0;
  // Asked between batches of every file; nonzero stops the file (which is
  // removed) and every later one.
  uint32_t (*StopRequested)(void* user) = nullptr;
  void* StopUser = nullptr;
};

inline constexpr uint32_t kReRecoverFatCluster = 1;    // FAT16, FAT32, exFAT: Position is the first cluster
inline constexpr uint32_t kReRecoverNtfsRecord = 2;    // NTFS: Position is the record number
inline constexpr uint32_t kReRecoverNtfsPosition = 3;  // NTFS: Position is the byte offset of the FILE record

struct ReRecoverItemRequest {
  uint32_t StructSize = sizeof(ReRecoverItemRequest);
  uint32_t Method = 0;  // kReRecover*
  uint64_t Position = 0;
  uint64_t FileSize = 0;  // FAT family: the entry's size
  // Below the run's folder, components separated by "\" or "/".
  const char16_t* RelativePath = nullptr;
  uint64_t ModifiedTime = 0;  // FILETIME (UTC); 0 leaves the time of writing
  uint64_t CreatedTime = 0;   // FILETIME (UTC), applied where the system keeps one (Windows)
  ProgressCallback Progress = nullptr;
  void* User = nullptr;
  uint32_t Flags = 0;  // kReRecoverPresentFile
  uint32_t Reserved = 0;
};
// The item is a present file of the live file system (NTFS: its record is
// in use, and it is read as a deleted one would be). Without the flag a
// record in use again is refused: it no longer holds the file that was
// found.
inline constexpr uint32_t kReRecoverPresentFile = 1;

// How much of a found file's data is still its own (ReJudgeItem), from the
// file system's allocation data: none of the clusters its recovery would
// read is allocated now; some are; the first one, or all, are; or the file
// system cannot tell.
inline constexpr uint32_t kVerdictUnknown = 0;
inline constexpr uint32_t kVerdictIntact = 1;
inline constexpr uint32_t kVerdictPartlyOverwritten = 2;
inline constexpr uint32_t kVerdictOverwritten = 3;

// How a file (or the run, for ReBeginRecovery and ReEndRecovery) went.
inline constexpr uint32_t kReRecoverWritten = 0;
inline constexpr uint32_t kReRecoverTruncated = 1;          // cut short where the volume ends; kept
inline constexpr uint32_t kReRecoverSourceFailed = 2;       // not written: unreadable or damaged
inline constexpr uint32_t kReRecoverDestinationFailed = 3;  // not written: the destination failed; stop
inline constexpr uint32_t kReRecoverNoRoom = 4;             // not written: no room left; stop
inline constexpr uint32_t kReRecoverStopped = 5;            // stopped within the file; removed
inline constexpr uint32_t kReRecoverModifiedTimeSet = 1;
inline constexpr uint32_t kReRecoverCreatedTimeSet = 2;

struct ReRecoverItemResult {
  uint32_t StructSize = sizeof(ReRecoverItemResult);
  uint32_t Status = kReRecoverSourceFailed;
  uint64_t BytesWritten = 0;
  uint64_t BytesAllocated = 0;
  uint32_t TimesSet = 0;     // kReRecover*TimeSet bits
  uint32_t SystemError = 0;  // errno or the Windows error code of a destination failure
  // The path written below the run's folder ("Docs/a (1).txt"), and why a
  // file was not written; each cut to its capacity and ended with 0.
  char16_t* WrittenPath = nullptr;
  uint32_t WrittenPathCapacity = 0;
  char16_t* Message = nullptr;
  uint32_t MessageCapacity = 0;
};

// Starts a run into `root` (made when missing); a run still open is ended
// first. False, with the reason in `result` (may be null), when the folder
// cannot be opened.
GLEANER_EXPORT bool ReBeginRecovery(const char16_t* root, const ReRecoveryOptions* options,
                                    ReRecoverItemResult* result);
// Writes one item of the run. True when a file was kept (written whole, or
// cut short where the volume ends).
GLEANER_EXPORT bool ReRecoverItem(const ReRecoverItemRequest* request, ReRecoverItemResult* result);
// The verdict on the file a request names (its method, position and size;
// nothing else is used), judged as a deleted or formatted-over file: every
// allocated cluster its recovery would read counts as taken. Works outside
// a recovery run, on the volume last initialised. False, and
// kVerdictUnknown, when the request names nothing the volume can judge.
GLEANER_EXPORT bool ReJudgeItem(const ReRecoverItemRequest* request, uint32_t* verdict);
// Times for a folder of the run, set when the run ends, after its contents,
// and only on folders the run created.
GLEANER_EXPORT bool ReSetFolderTimes(const char16_t* relative_folder, uint64_t modified, uint64_t created);
// Ends the run: folder times, then everything made durable. False when that
// failed.
GLEANER_EXPORT bool ReEndRecovery(ReRecoverItemResult* result);

// Makes drive letter `letter` name an image file or block device inside the
// engine: a later InitReEngine for "X:..." opens `image_path` instead of the
// drive. A null or empty path removes the mapping.
GLEANER_EXPORT bool ReMountImage(char16_t letter, const char16_t* image_path);
// Every later unformat sweep (ReScanFatFormatDisk, ReScanNtfsFormatDisk)
// tells `callback` where it stands after each window it read; a null
// callback stops the reports.
GLEANER_EXPORT bool ReSetSweepProgress(SweepProgressCallback callback, void* user);
// The same for one byte range of the image or device (a partition of a
// disk): the engine sees the `length_bytes` bytes at `offset_bytes` as the
// whole volume of that letter; a length of 0 reaches to the end.
GLEANER_EXPORT bool ReMountImageRange(char16_t letter, const char16_t* image_path, uint64_t offset_bytes,
                                      uint64_t length_bytes);
// Shows the engine a volume the caller has open (platform::RawVolume's
// native handle) under `letter`: the engine reads through a duplicate of the
// handle and never opens that letter's volume by path. With a length, only
// the `length_bytes` bytes at `offset_bytes` of it, as ReMountImageRange
// (0 and 0: all of it).
GLEANER_EXPORT bool ReMountVolume(char16_t letter, intptr_t native_handle, uint64_t offset_bytes,
                                  uint64_t length_bytes);
// The partitions of a disk, an image or a physical drive, as `salvor-cli
// partitions` lists them: its MBR or GPT (the backup GPT when the primary
// is damaged), or the one volume of a disk without a table, each partition
// with the file system its boot sector starts. A partition is scanned by
// mapping its byte range to a letter (ReMountImageRange).
struct RePartitionRecord {
  uint32_t StructSize = sizeof(RePartitionRecord);
  uint32_t Index = 0;  // the partition's number (salvor-cli's --partition N)
  uint64_t StartBytes = 0;
  uint64_t LengthBytes = 0;
  int32_t Kind = 0;     // the VolumeKind it is scanned as; 0: not scannable
  uint32_t Flags = 0;   // kRePartition*
  // "FAT32", "FAT", "EXFAT", "NTFS", "FAT12", "blank", "unknown" or
  // "extended", ended with 0.
  char16_t FileSystem[16] = {};
  uint32_t MbrType = 0;       // MBR: the entry's type code; 0 for GPT and found partitions
  uint8_t TypeGuid[16] = {};  // GPT: the type GUID as the entry stores it; zeros otherwise
  char16_t Name[38] = {};     // GPT: the entry's name (36 units at most), ended with 0
};
inline constexpr uint32_t kRePartitionExtended = 1;     // the MBR's container of logical partitions
inline constexpr uint32_t kRePartitionBackupTable = 2;  // listed by the GPT's backup only
inline constexpr uint32_t kRePartitionFound = 4;        // found by the search, in no table
inline constexpr uint32_t kRePartitionPastEnd = 8;      // the table puts it past the disk's end; cut there
inline constexpr uint32_t kRePartitionOverlaps = 16;    // found by the search over a table's partition
// Found by the search through a backup boot sector (FAT32 sector 6, exFAT
// sector 12, NTFS the volume's last sector): the first one is damaged.
inline constexpr uint32_t kRePartitionBackupBootSector = 32;

inline constexpr uint32_t kReTableNone = 0;    // nothing recognised
inline constexpr uint32_t kReTableVolume = 1;  // no table: the disk is one volume
inline constexpr uint32_t kReTableMbr = 2;
inline constexpr uint32_t kReTableGpt = 3;

struct RePartitionList {
  uint32_t StructSize = sizeof(RePartitionList);
  uint32_t Table = kReTableNone;  // kReTable*
  uint32_t SectorBytes = 0;       // the logical sector size the table was read with
  uint32_t Count = 0;             // partitions listed; only the first Capacity are in Records
  uint64_t DiskBytes = 0;
  RePartitionRecord* Records = nullptr;
  uint32_t Capacity = 0;          // records at Records
  uint32_t Status = 0;            // kReListSearch* bits: whether the search ran and how it ended
};
// Also search for lost partitions when a table was found; without it the
// search runs only when nothing was recognised.
inline constexpr uint32_t kReListSearch = 1;
// Never search (a quick look: a disk without a table then lists nothing).
inline constexpr uint32_t kReListNoSearch = 2;
// Search every 512-byte sector of the disk, not only the first MiB and the
// sectors around each MiB boundary; implies kReListSearch.
inline constexpr uint32_t kReListDeepSearch = 4;

// RePartitionList::Status.
inline constexpr uint32_t kReListSearched = 1;  // the search ran
// The search was stopped (RePartitionOptions::StopRequested) before the
// disk's end; what it had found is listed, and a note says so.
inline constexpr uint32_t kReListSearchStopped = 2;
// The search ended early on its own (a read failed); a note says where.
inline constexpr uint32_t kReListSearchIncomplete = 4;

// Opens `source_path` read-only (an image file, "\\.\PhysicalDrive1",
// "/dev/sdb") and fills `list`. False when it cannot be opened or its size
// is unknown or 0, or when `list` is not a RePartitionList of this size or
// its records are not RePartitionRecords of this size.
GLEANER_EXPORT bool ReListPartitions(const char16_t* source_path, uint32_t flags, RePartitionList* list);

// How ReListPartitionsEx lists a disk. The search can take minutes on a
// large disk: it reports where it stands and asks whether to stop after
// each read. Everything the list holds also goes to the callbacks, in the
// list's order, so that a caller needs no capacity: every partition with
// the numbers of the table partitions it overlaps, and every note on what
// was damaged or suspicious ("the primary GPT header is damaged (CRC
// mismatch): the backup header at the disk's end is used"). The results of
// the callbacks are ignored, but StopRequested's.
struct RePartitionOptions {
  uint32_t StructSize = sizeof(RePartitionOptions);
  uint32_t Flags = 0;  // kReList*
  // A volume the caller has open (platform::RawVolume's native handle),
  // read through a duplicate of the handle instead of opening
  // `source_path`; -1: open `source_path`.
  intptr_t NativeHandle = -1;
  // After each read of the search: bytes of the disk searched so far, of
  // its size.
  SweepProgressCallback Progress = nullptr;
  // Asked after each read of the search; nonzero stops it.
  uint32_t (*StopRequested)(void* user) = nullptr;
  // Each partition; `overlaps` (valid during the call) holds the numbers of
  // the table partitions a found one overlaps, in the table's order.
  uint32_t (*Partition)(const RePartitionRecord* record, const uint32_t* overlaps, uint32_t overlap_count,
                        void* user) = nullptr;
  // Each note, ended with 0 (valid during the call).
  uint32_t (*Note)(const char16_t* text, void* user) = nullptr;
  void* User = nullptr;
};

// ReListPartitions with options (null: the defaults); unlike it, a disk of
// 0 bytes is listed (nothing in it, and a note). False also when `options`
// is not a RePartitionOptions of this size.
GLEANER_EXPORT bool ReListPartitionsEx(const char16_t* source_path, const RePartitionOptions* options,
                                       RePartitionList* list);

// The OEM code page through which 8.3 names of FAT volumes are decoded, for
// every later scan (437, the DOS and Windows default, until set). False, and
// the code page unchanged, for one the engine cannot decode.
GLEANER_EXPORT bool ReSetOemCodePage(uint32_t code_page);

// What a volume's first sector says, decoded by the engine's own parsers:
// the file system (Kind 0 when it is none the engine scans), its sector size
// and the volume's size as the boot sector gives it (NTFS: with the backup
// boot sector after the counted sectors; 0 when not known), and its name
// ("FAT32", "FAT" for FAT16, "FAT12", "EXFAT", "NTFS", "blank", "unknown").
struct ReBootSectorInfo {
  uint32_t StructSize = sizeof(ReBootSectorInfo);
  int32_t Kind = 0;  // VolumeKind
  uint32_t BytesPerSector = 0;
  uint32_t Reserved = 0;
  uint64_t VolumeSizeBytes = 0;
  char16_t Name[16] = {};
};
// Decodes `size_bytes` (512 or more) bytes of a volume's first sector into
// `info`. False when `info` is missing or the bytes are too few; a sector
// no parser recognises is decoded too (Kind 0, "unknown" or "blank").
GLEANER_EXPORT bool ReProbeBootSector(const void* sector, uint32_t size_bytes, ReBootSectorInfo* info);

// NTFS. The Quick Scan reports every record of the $MFT that is no longer in
// use, with its rebuilt path; the third argument is not used (the path given
// to InitReEngine prefixes every path).
GLEANER_EXPORT bool ReScanNtfsDisk(NtfsScanCallback callback, void* user, const char16_t* unused_path,
                                   NtfsProgressCallback progress);
// Lists the live folder that `directory_path` names ("E:\A\B") from its index.
GLEANER_EXPORT bool ReScanNtfsEx(const char16_t* directory_path, NtfsScanCallback callback, void* user);
// Sweeps the first `volume_size_bytes` of the volume for the FILE records of
// a file system that was formatted over.
GLEANER_EXPORT bool ReScanNtfsFormatDisk(const char16_t* volume_path, uint64_t volume_size_bytes,
                                         NtfsScanCallback callback, void* user);
// Writes the data of the deleted file in record `record_number`.
GLEANER_EXPORT bool ReNtfsRecoverData(const char16_t* output_path, uint64_t record_number, ProgressCallback progress,
                                      void* user);
// Writes the data of the file whose FILE record lies at `record_offset_bytes`.
GLEANER_EXPORT bool ReNtfsRecoverFormatData(const char16_t* output_path, int64_t record_offset_bytes,
                                            ProgressCallback progress, void* user);
// With a name: stores the record number of `name` in folder `directory_record`
// into `found_record` (left alone when not found). Without: lists the folder.
GLEANER_EXPORT bool ReFindMftnumByFileName(salvor::RcWString directory_path, const char16_t* name,
                                           uint64_t directory_record, uint64_t* found_record,
                                           NtfsScanCallback callback, void* user);

namespace salvor {
class IComponent;
}
GLEANER_EXPORT int GetVantorComponentPtr(void* reserved, salvor::IComponent* manager);
