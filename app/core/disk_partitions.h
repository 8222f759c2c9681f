// The partitions of a disk image or a physical drive as the drive page
// shows them: the engine lists the disk (ReListPartitions, the same list as
// `salvor-cli partitions`), every scannable partition becomes a row of its
// own under a drive letter, and the engine maps that letter to the
// partition's byte range (ReMountImageRange) so that a scan of the row
// scans the partition. The whole list as ReListPartitionsEx gives it (every
// partition with its type, name and overlaps, the notes, how the search
// ended) is what `salvor-cli partitions` prints and chooses from.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/engine_binding.h"
#include "common/drive_info.h"

namespace salvor::app {

struct DiskPartition {
  uint32_t index = 0;  // the engine's partition number
  uint64_t start_bytes = 0;
  uint64_t length_bytes = 0;
  std::u16string file_system;  // "FAT", "FAT32", "EXFAT" or "NTFS"
};

// At most this many partitions of one disk are shown.
inline constexpr uint32_t kMaxListedPartitions = 64;

// The scannable partitions among the engine's records, in their order.
std::vector<DiskPartition> ScannablePartitions(std::span<const RePartitionRecord> records);

// The scannable partitions of `source` (an image file or "\\.\PhysicalDriveN"),
// listed with `flags` (kReList*); nothing when the engine cannot list it.
std::optional<std::vector<DiskPartition>> ListDiskPartitions(const EngineBinding& engine, std::u16string_view source,
                                                             uint32_t flags);

// Everything the engine says of a disk's volumes (ReListPartitionsEx), for
// `salvor-cli partitions` and the choice of the volume to scan.
struct DiskVolume {
  uint32_t index = 0;
  uint64_t start_bytes = 0;
  uint64_t length_bytes = 0;
  int kind = 0;         // the VolumeKind it is scanned as; 0: not scannable
  uint32_t flags = 0;   // kRePartition*
  std::u16string file_system;  // as the record names it ("extended" for the container)
  uint8_t mbr_type = 0;
  std::array<uint8_t, 16> type_guid{};
  std::u16string name;  // GPT partition name
  std::vector<uint32_t> overlaps;  // found ones: the table partitions they overlap

  bool extended() const { return (flags & kRePartitionExtended) != 0; }
  bool found() const { return (flags & kRePartitionFound) != 0; }
  bool scannable() const { return kind != 0 && !extended(); }
};

struct DiskVolumes {
  uint32_t table = kReTableNone;  // kReTable*
  uint32_t sector_bytes = 0;
  uint64_t disk_bytes = 0;
  uint32_t status = 0;  // kReListSearch* bits
  std::vector<std::u16string> notes;
  std::vector<DiskVolume> partitions;

  bool search_stopped() const { return (status & kReListSearchStopped) != 0; }
};

// How a disk is listed: kReList* flags, an open volume to read instead of
// the path (-1: none), and the search's progress (bytes searched, of the
// disk) and stop (true stops it).
struct DiskVolumesRequest {
  uint32_t flags = 0;
  intptr_t native_handle = -1;
  std::function<void(uint64_t done_bytes, uint64_t total_bytes)> progress;
  std::function<bool()> stop_requested;
};

// The disk's volumes as the engine lists them; nothing when the engine
// lacks ReListPartitionsEx or cannot read the disk.
std::optional<DiskVolumes> ReadDiskVolumes(const EngineBinding& engine, std::u16string_view source,
                                           const DiskVolumesRequest& request);

// The partition with number `index`, if listed.
const DiskVolume* FindDiskVolume(const DiskVolumes& volumes, uint32_t index);

// "MBR", "GPT", "none" (one volume, no table) or "unknown".
std::u16string_view TableName(uint32_t table);
// Where a partition was listed: "table", "backup table" or "search".
std::u16string_view OriginName(const DiskVolume& volume);
// A GPT type GUID as stored, in its usual text form (mixed-endian, upper
// case); empty when it is all zeros.
std::u16string TypeGuidText(const std::array<uint8_t, 16>& guid);

// Free drive letters for `count` partitions, from Z: down to D:, that
// neither the system (`used_mask`, GetLogicalDrives' bits) nor a listed
// drive uses; fewer when the letters run out.
std::vector<char16_t> FreeLetters(uint32_t used_mask, const DriveInfoList& drives, size_t count);

// The drive record of a partition shown under `letter` ("Z:\").
DriveInfo PartitionDrive(char16_t letter, const DiskPartition& partition, std::u16string type_text);

// The text of a partition row's first cell: "Z: partition 2", or with the
// disk's label "Z: disk 1 #2".
std::u16string PartitionRowName(const DriveInfo& drive, uint32_t index, std::u16string_view disk_label = {});

// The drive name a row's first cell starts with ("Z:" of "Z: partition 2").
std::u16string_view DriveNameOfRow(std::u16string_view cell);

// "\\.\PhysicalDrive3" -> 3; nothing for any other path.
std::optional<uint32_t> PhysicalDriveNumber(std::u16string_view path);

}  // namespace salvor::app
