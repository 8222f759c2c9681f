// FoundItem: one reported engine record as the application keeps it. The
// scan callbacks make one per record; the results model, the filter and the
// recovery run work on these.
#pragma once

#include <cstdint>
#include <string>

#include "engine/gleaner_api.h"

namespace salvor::app {

struct FoundItem {
  uint32_t parent_folder = 0;  // FAT family: folder number of the holding folder's parent
  uint32_t folder = 0;         // FAT family: folder number of the holding folder
  uint32_t first_cluster = 0;  // FAT family
  uint64_t mft_number = 0;     // NTFS
  uint64_t parent_mft_number = 0;  // NTFS
  uint64_t ntfs_offset = 0;    // NTFS: byte position of the file record on the volume
  uint64_t size = 0;
  uint32_t type = 0;           // 1 folder, 2 file
  uint32_t state = 0;          // FAT family: 1 deleted, 2 present; NTFS: the record's source
  uint32_t attributes = 0;
  // FAT family: the recorded size runs past the volume's end (the engine's
  // kRecordDamaged); recovery stops at the volume's end.
  bool damaged = false;
  std::u16string name;         // text of the path after its last "\"
  std::u16string extension;    // files: text after the last "." of the name; otherwise the no-extension text
  std::u16string date;         // "%d-%02d-%02d %02d:%02d:%02d"
  std::u16string file_system;  // "FAT", "FAT32", "EXFAT" or "NTFS"
  std::u16string path;         // the record's full path ("E:\Docs\a.txt")

  bool is_folder() const { return type == kEntryFolder; }
  bool is_deleted() const { return state == kDeleted; }
};

// The extension text of names without one.
inline constexpr const char16_t* kNoExtensionText = u"\u65E0\u6269\u5C55\u540D";

// A FoundItem from a FAT-family record of a volume whose file system is
// `file_system`.
FoundItem MakeFoundItem(const _FileInfoFat& record, std::u16string_view file_system);

// A FoundItem from an NTFS record. The state is the record's source (1 from
// a file record, 2 from a folder's index); the date is the record's time as
// stored (UTC, no time-zone conversion). During the NTFS Unformatting Scan's
// second pass (`ntfs_phase` 2) the record's folder is unknown and the path
// gets "dir<N>\" after the root, N being the low half of the parent number.
FoundItem MakeFoundItem(const _FileInfoNtfs& record, int ntfs_phase = 0);

// "%d-%02d-%02d %02d:%02d:%02d" of a FILETIME (100 ns units since
// 1601-01-01, UTC). Times past the year 30827 (the high bit set) are not
// times: they read as 1601-01-01 00:00:00.
std::u16string FileTimeText(uint64_t file_time);

}  // namespace salvor::app
