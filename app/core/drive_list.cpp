#include "app/core/drive_list.h"

#include <cstdio>

#include "common/text.h"
#include "engine/gleaner_api.h"

namespace salvor::app {

std::u16string DriveName(const DriveInfo& drive) {
  std::u16string name = drive.RootPath;
  while (!name.empty() && (name.back() == u'\\' || name.back() == u'/')) name.pop_back();
  return name;
}

std::u16string GigabytesText(double gigabytes) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.02f GB", gigabytes);
  return text::from_utf8(buffer);
}

DriveRowTexts DriveRow(const DriveInfo& drive) {
  return {DriveName(drive), GigabytesText(drive.TotalGB), GigabytesText(drive.FreeGB), drive.FileSystem};
}

const DriveInfo* FindDriveByName(const DriveInfoList& drives, std::u16string_view name) {
  for (const DriveInfo& drive : drives)
    if (DriveName(drive) == name) return &drive;
  return nullptr;
}

namespace {
constexpr double kBytesPerGigabyte = 1073741824.0;
}  // namespace

void ApplyVolumeFacts(DriveInfo& drive, const std::optional<VolumeFacts>& facts) {
  if (!facts) return;
  if (facts->file_system) drive.FileSystem = facts->file_system->name;
  const double device_gigabytes = static_cast<double>(facts->size_bytes) / kBytesPerGigabyte;
  if (facts->size_bytes != 0 && drive.TotalGB > device_gigabytes + 1e-9) {
    drive.TotalGB = device_gigabytes;
    drive.FreeGB = 0;
    drive.UsedGB = 0;
    drive.SpaceKnown = false;
  }
}

std::optional<DriveInfo> DriveFromBootSector(std::u16string root, std::u16string type_text,
                                             const std::optional<VolumeFacts>& facts,
                                             std::optional<uint64_t> os_total_bytes,
                                             std::optional<uint64_t> os_free_bytes) {
  if (!facts || !facts->file_system) return std::nullopt;
  const uint64_t total = os_total_bytes && *os_total_bytes != 0 ? *os_total_bytes : facts->size_bytes;
  if (total == 0) return std::nullopt;
  DriveInfo drive;
  drive.RootPath = std::move(root);
  drive.TypeText = std::move(type_text);
  drive.FileSystem = facts->file_system->name;
  drive.TotalGB = static_cast<double>(total) / kBytesPerGigabyte;
  if (os_free_bytes && os_total_bytes && *os_total_bytes != 0) {
    drive.FreeGB = static_cast<double>(*os_free_bytes) / kBytesPerGigabyte;
    drive.UsedGB = drive.TotalGB - drive.FreeGB;
    drive.SpaceKnown = true;
  }
  return drive;
}

int FatFamilyFlag(std::u16string_view file_system) {
  return file_system == u"NTFS" || file_system == u"EXFAT" ? 0 : 1;
}

int VolumeKindOf(std::u16string_view file_system) {
  if (file_system == u"FAT") return kVolumeFat16;
  if (file_system == u"FAT32") return kVolumeFat32;
  if (file_system == u"EXFAT") return kVolumeExFat;
  if (file_system == u"NTFS") return kVolumeNtfs;
  return 0;
}

}  // namespace salvor::app
