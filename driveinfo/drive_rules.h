// Which drives Surveyor lists, and how an entry is filled, as pure functions
// over what the operating system said about each drive (VolumeProbe). The
// OS-specific probes (drive_probe_win32.cpp, drive_probe_linux.cpp) only ask
// the questions; every decision is made here, where tests can reach it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_reader.h"
#include "common/drive_info.h"

namespace salvor::driveinfo {

enum class DriveType {
  kOther,      // network, CD-ROM, RAM disk, virtual block device, no root
  kRemovable,  // removable medium
  kFixed,      // fixed disk
  kLoop,       // a loop device (Linux), listed only on request
  kPhysicalDisk,  // a whole disk (Windows: \\.\PhysicalDriveN) that could be opened for reading
};

// The answers of the OS about one drive or volume.
struct VolumeProbe {
  std::u16string root;  // "E:\" or "/dev/sdb1"
  DriveType type = DriveType::kOther;
  bool usb = false;           // removable drives: attached over USB
  std::u16string file_system;  // as the volume reports it; empty when unknown
  // Windows: both from the free-space query, present when it succeeded.
  // Linux: the capacity from the device size, the available bytes from the
  // mounted file system when the volume is mounted.
  std::optional<uint64_t> capacity_bytes;
  std::optional<uint64_t> available_bytes;
};

struct SurveyRules {
  bool include_loop = false;
  // List a volume whose free space is unknown (an unmounted volume on Linux)
  // instead of dropping it, as long as its capacity is known.
  bool list_without_free_space = false;
  // List every candidate whose capacity is known, whatever its file system
  // (none, unknown, or another than the four): a whole disk, a blank or
  // damaged volume. Its FileSystem is what the system reported (may be
  // empty); the caller reads its boot sector for the rest.
  bool list_every_volume = false;
};

// The rules this build uses: Linux lists unmounted volumes; loop devices
// when the environment variable SALVOR_SURVEYOR_LOOP is set to anything
// but "0" or "", every volume when SALVOR_SURVEYOR_ALL is.
SurveyRules DefaultRules();
inline constexpr const char* kIncludeLoopVariable = "SALVOR_SURVEYOR_LOOP";
inline constexpr const char* kListEveryVolumeVariable = "SALVOR_SURVEYOR_ALL";

// Worth querying further: fixed drives, removable drives on USB, and loop
// devices when the rules ask for them.
bool IsCandidate(const VolumeProbe& probe, const SurveyRules& rules);

// The entry for a probe, or nothing when it is not listed: not a candidate,
// a file system other than FAT, FAT32, exFAT or NTFS, no capacity, or (unless
// the rules allow it) unknown free space.
std::optional<DriveInfo> MakeDriveInfo(const VolumeProbe& probe, const SurveyRules& rules);
DriveInfoList SelectDrives(const std::vector<VolumeProbe>& probes, const SurveyRules& rules);

// Windows: physical drives \\.\PhysicalDrive0 to 31 are asked about.
inline constexpr uint32_t kMaxPhysicalDrives = 32;
std::u16string PhysicalDrivePath(uint32_t number);

// ASCII upper case, as file-system names are compared ("exFAT" -> "EXFAT").
std::u16string UpperCaseName(std::u16string_view name);

// Drive roots for a GetLogicalDrives mask, in letter order; A: and B: are
// never scanned.
std::vector<std::u16string> RootsFromDriveMask(uint32_t mask);

// The bus type of a STORAGE_DEVICE_DESCRIPTOR as returned by the storage
// property query (`returned` bytes of it valid); nothing when too short.
std::optional<uint32_t> BusTypeFromDescriptor(Bytes descriptor);
inline constexpr uint32_t kBusTypeUsb = 7;

// The file-system name Windows would report for libblkid's TYPE and VERSION
// values: FAT12 and FAT16 are "FAT", FAT32 "FAT32", exFAT "exFAT", NTFS
// "NTFS"; anything else is passed on as it is.
std::u16string FileSystemFromBlkid(std::string_view type, std::string_view version);

}  // namespace salvor::driveinfo
