#include "driveinfo/drive_rules.h"

#include <cstdlib>

#include "common/text.h"

namespace salvor::driveinfo {
namespace {

constexpr double kBytesToGiB = 1.0 / (1024.0 * 1024.0 * 1024.0);
// Below this a volume has no room for anything worth listing.
constexpr double kSmallestTotalGiB = 0.00001;

bool IsSupportedFileSystem(std::u16string_view upper) {
  return upper == u"EXFAT" || upper == u"NTFS" || upper == u"FAT" || upper == u"FAT32";
}

}  // namespace

SurveyRules DefaultRules() {
  SurveyRules rules;
#if !defined(_WIN32)
  // Mounting a volume writes to it, so the volumes worth recovering from
  // are usually not mounted; their free space is simply not known.
  rules.list_without_free_space = true;
#endif
  const auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value && std::string_view(value) != "0";
  };
  rules.include_loop = set(kIncludeLoopVariable);
  rules.list_every_volume = set(kListEveryVolumeVariable);
  return rules;
}

bool IsCandidate(const VolumeProbe& probe, const SurveyRules& rules) {
  switch (probe.type) {
    case DriveType::kFixed:
      return true;
    case DriveType::kRemovable:
      return probe.usb;
    case DriveType::kLoop:
      return rules.include_loop;
    case DriveType::kPhysicalDisk:
      return true;
    case DriveType::kOther:
      return false;
  }
  return false;
}

std::optional<DriveInfo> MakeDriveInfo(const VolumeProbe& probe, const SurveyRules& rules) {
  if (!IsCandidate(probe, rules)) return std::nullopt;
  DriveInfo info;
  info.RootPath = probe.root;
  if (probe.type == DriveType::kPhysicalDisk) {
    // Listed for the partitions on it, whatever they hold; only its size
    // is known.
    if (!probe.capacity_bytes) return std::nullopt;
    info.TypeText = kPhysicalDiskText;
    info.TotalGB = static_cast<double>(*probe.capacity_bytes) * kBytesToGiB;
    if (!(info.TotalGB > kSmallestTotalGiB)) return std::nullopt;
    return info;
  }
  info.TypeText = probe.type == DriveType::kRemovable ? kRemovableDriveText : kFixedDriveText;
  info.FileSystem = UpperCaseName(probe.file_system);

  // An empty file-system name means the volume could not be read, and then
  // its figures mean nothing either; unless every volume is asked for, whose
  // capacity the system knows without reading it.
  const bool readable = !probe.file_system.empty() || rules.list_every_volume;
  info.SpaceKnown = readable && probe.capacity_bytes && probe.available_bytes;
  if (info.SpaceKnown) {
    const uint64_t total = *probe.capacity_bytes;
    // The available bytes never exceed the total on a sane volume; should a
    // file system claim more, the used space is 0, not a wrapped-around
    // number.
    const uint64_t available = *probe.available_bytes;
    info.TotalGB = static_cast<double>(total) * kBytesToGiB;
    info.FreeGB = static_cast<double>(available) * kBytesToGiB;
    info.UsedGB = static_cast<double>(total > available ? total - available : 0) * kBytesToGiB;
  } else if (rules.list_without_free_space && readable && probe.capacity_bytes) {
    info.TotalGB = static_cast<double>(*probe.capacity_bytes) * kBytesToGiB;
  } else {
    return std::nullopt;
  }
  if (!(info.TotalGB > kSmallestTotalGiB)) return std::nullopt;
  if (!rules.list_every_volume && !IsSupportedFileSystem(info.FileSystem)) return std::nullopt;
  return info;
}

DriveInfoList SelectDrives(const std::vector<VolumeProbe>& probes, const SurveyRules& rules) {
  DriveInfoList drives;
  for (const VolumeProbe& probe : probes) {
    if (auto info = MakeDriveInfo(probe, rules)) drives.push_back(std::move(*info));
  }
  return drives;
}

std::u16string PhysicalDrivePath(uint32_t number) {
  return u"\\\\.\\PhysicalDrive" + text::from_utf8(std::to_string(number));
}

std::u16string UpperCaseName(std::u16string_view name) {
  std::u16string upper(name);
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - (u'a' - u'A'));
  }
  return upper;
}

std::vector<std::u16string> RootsFromDriveMask(uint32_t mask) {
  std::vector<std::u16string> roots;
  for (int letter = 2; letter < 26; ++letter) {  // C to Z
    if (mask & (uint32_t{1} << letter)) roots.push_back({static_cast<char16_t>(u'A' + letter), u':', u'\\'});
  }
  return roots;
}

std::optional<uint32_t> BusTypeFromDescriptor(Bytes descriptor) {
  // STORAGE_DEVICE_DESCRIPTOR: Version u32 @0, Size u32 @4, DeviceType u8
  // @8, DeviceTypeModifier u8 @9, RemovableMedia u8 @10, CommandQueueing u8
  // @11, four u32 string offsets @12..27, BusType u32 @28.
  constexpr size_t kBusTypeOffset = 28;
  ByteReader reader(descriptor);
  const uint32_t bus = reader.u32(kBusTypeOffset);
  if (!reader.ok()) return std::nullopt;
  return bus;
}

std::u16string FileSystemFromBlkid(std::string_view type, std::string_view version) {
  if (type == "vfat" || type == "msdos") return version == "FAT32" ? u"FAT32" : u"FAT";
  if (type == "exfat") return u"exFAT";
  if (type == "ntfs") return u"NTFS";
  return text::from_utf8(type);
}

}  // namespace salvor::driveinfo
