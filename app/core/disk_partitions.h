// The partitions of a disk image or a physical drive as the drive page
// shows them: the engine lists the disk (ReListPartitions, the same list as
// `salvor-cli partitions`), every scannable partition becomes a row of its
// own under a drive letter, and the engine maps that letter to the
// partition's byte range (ReMountImageRange) so that a scan of the row
// scans the partition.
#pragma once

#include <cstdint>
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
