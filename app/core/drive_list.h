// The drive page's rules, apart from its windows: the texts of a drive row,
// which record a selected row stands for, and the file system a drive is
// scanned as.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/fs_detect.h"
#include "app/core/volume_probe.h"
#include "common/drive_info.h"

namespace salvor::app {

// "E:" for the root "E:\" (the drive's name as the list shows it).
std::u16string DriveName(const DriveInfo& drive);
// "%.02f GB".
std::u16string GigabytesText(double gigabytes);

// The four cells of a drive row: name, capacity, free space, format.
struct DriveRowTexts {
  std::u16string name, capacity, free_space, format;
};
DriveRowTexts DriveRow(const DriveInfo& drive);

// The first record whose name equals `name` exactly, or null.
const DriveInfo* FindDriveByName(const DriveInfoList& drives, std::u16string_view name);

// What the volume's own sectors say, over what the OS reported: the file
// system its boot sector shows when that is one of the four (a volume
// formatted over by another tool, a damaged one, or one behind an emulation
// layer can report a name its sectors disagree with), and the device's size
// when the OS reported a capacity beyond it (no volume is larger than its
// device; the free space is then unknown).
void ApplyVolumeFacts(DriveInfo& drive, const std::optional<VolumeFacts>& facts);

// A drive the OS lists but Surveyor does not (its file system reported as
// RAW or unknown): listed when its boot sector shows one of the four, with
// the boot sector's size when the OS knows none.
std::optional<DriveInfo> DriveFromBootSector(std::u16string root, std::u16string type_text,
                                             const std::optional<VolumeFacts>& facts,
                                             std::optional<uint64_t> os_total_bytes,
                                             std::optional<uint64_t> os_free_bytes);

// 0 when the file system is "NTFS" or "EXFAT", 1 otherwise (the FAT-family
// flag of the selected drive).
int FatFamilyFlag(std::u16string_view file_system);

// The engine's VolumeKind of a file-system name as the list shows it; 0 for
// a name the engine does not scan.
int VolumeKindOf(std::u16string_view file_system);

}  // namespace salvor::app
