// DriveInfo: one scannable drive in Surveyor's answer to the drive
// information request. The answer is a DriveInfoList owned by Surveyor and
// handed over the bus by address with "Cmd_SV_BackDriveInfo"; it lives only
// during that send, so a receiver copies what it keeps.
//
// The list crosses the library boundary by reference, so both sides must be
// built by the same compiler and standard library (they are: one build).
#pragma once

#include <string>
#include <vector>

namespace salvor {

struct DriveInfo {
  std::u16string RootPath;  // "E:\" on Windows; the device path ("/dev/sdb1") on Linux
  std::u16string TypeText;  // kRemovableDriveText or kFixedDriveText
  double TotalGB = 0;       // capacity in GiB (bytes * 2^-30)
  double FreeGB = 0;        // bytes available to the caller, in GiB; 0 unless SpaceKnown
  double UsedGB = 0;        // TotalGB - FreeGB; 0 unless SpaceKnown
  std::u16string FileSystem;  // "FAT", "FAT32", "EXFAT" or "NTFS"
  bool SpaceKnown = false;    // the free-space figures are real
};

using DriveInfoList = std::vector<DriveInfo>;

inline constexpr const char16_t* kRemovableDriveText = u"Removable Storage Device";
inline constexpr const char16_t* kFixedDriveText = u"Fixed Storage Device";
// A whole disk (Windows: "\\.\PhysicalDriveN"), listed for its partitions;
// its FileSystem is empty.
inline constexpr const char16_t* kPhysicalDiskText = u"Physical Disk";

}  // namespace salvor
