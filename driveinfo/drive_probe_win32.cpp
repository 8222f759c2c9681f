// Surveyor's probe on Windows: the drive letters of GetLogicalDrives, their
// type (GetDriveTypeW), the bus of removable drives (the storage property
// query), the file system (GetVolumeInformationW) and the space figures
// (GetDiskFreeSpaceExW); then the physical drives this process may read,
// with their size.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "driveinfo/drive_probe.h"

namespace salvor::driveinfo {
namespace {

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// The descriptor buffer of the storage property query, with its Size member
// preset to the buffer's size.
constexpr DWORD kDescriptorBytes = 551;
constexpr DWORD kQueryBytes = 12;  // STORAGE_PROPERTY_QUERY: StorageDeviceProperty, PropertyStandardQuery

HANDLE OpenDevice(const wchar_t* path, DWORD access) {
  return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// True when the removable drive `letter` answers the storage property query
// with the USB bus. A drive that cannot be opened or queried is not USB.
bool IsOnUsb(char16_t letter) {
  wchar_t path[300];
  std::swprintf(path, 300, L"\\\\?\\%c:", static_cast<wchar_t>(letter));
  HANDLE device = OpenDevice(path, GENERIC_READ);
  // Read access to a volume needs administrator rights; the property query
  // itself does not, so a caller without them still learns the bus.
  if (device == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) device = OpenDevice(path, 0);
  if (device == INVALID_HANDLE_VALUE) return false;

  std::array<std::byte, kQueryBytes> query{};
  std::array<std::byte, kDescriptorBytes> descriptor{};
  const DWORD preset = kDescriptorBytes;
  std::memcpy(descriptor.data() + 4, &preset, sizeof preset);  // STORAGE_DEVICE_DESCRIPTOR.Size
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, query.data(), kQueryBytes, descriptor.data(),
                                  kDescriptorBytes, &returned, nullptr);
  CloseHandle(device);
  if (!ok) return false;
  const auto bus = BusTypeFromDescriptor(Bytes(descriptor.data(), std::min<DWORD>(returned, kDescriptorBytes)));
  return bus && *bus == kBusTypeUsb;
}

DriveType TypeOf(UINT drive_type) {
  switch (drive_type) {
    case DRIVE_REMOVABLE:
      return DriveType::kRemovable;
    case DRIVE_FIXED:
      return DriveType::kFixed;
    default:
      return DriveType::kOther;
  }
}

// The size of an open disk: its length, else its geometry's; nothing when
// the system tells neither.
std::optional<uint64_t> DiskSize(HANDLE disk) {
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  if (DeviceIoControl(disk, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned, nullptr) &&
      length.Length.QuadPart > 0)
    return static_cast<uint64_t>(length.Length.QuadPart);
  DISK_GEOMETRY_EX geometry{};
  if (DeviceIoControl(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry, sizeof geometry, &returned,
                      nullptr) &&
      geometry.DiskSize.QuadPart > 0)
    return static_cast<uint64_t>(geometry.DiskSize.QuadPart);
  LARGE_INTEGER size{};
  if (GetFileSizeEx(disk, &size) && size.QuadPart > 0) return static_cast<uint64_t>(size.QuadPart);
  return std::nullopt;
}

// Physical drives open for reading only with administrator rights; one
// that cannot be opened is not offered.
void ProbePhysicalDrives(std::vector<VolumeProbe>& probes) {
  for (uint32_t number = 0; number < kMaxPhysicalDrives; ++number) {
    const std::u16string path = PhysicalDrivePath(number);
    HANDLE disk = OpenDevice(Wide(path), GENERIC_READ);
    if (disk == INVALID_HANDLE_VALUE) continue;
    VolumeProbe probe;
    probe.root = path;
    probe.type = DriveType::kPhysicalDisk;
    probe.capacity_bytes = DiskSize(disk);
    CloseHandle(disk);
    probes.push_back(std::move(probe));
  }
}

}  // namespace

std::vector<VolumeProbe> ProbeVolumes(const SurveyRules& rules) {
  std::vector<VolumeProbe> probes;
  for (const std::u16string& root : RootsFromDriveMask(GetLogicalDrives())) {
    VolumeProbe probe;
    probe.root = root;
    probe.type = TypeOf(GetDriveTypeW(Wide(root)));
    if (probe.type == DriveType::kRemovable) probe.usb = IsOnUsb(root[0]);
    if (IsCandidate(probe, rules)) {
      std::array<wchar_t, MAX_PATH + 1> volume_name{};
      std::array<wchar_t, MAX_PATH + 1> file_system{};
      if (GetVolumeInformationW(Wide(root), volume_name.data(), MAX_PATH, nullptr, nullptr, nullptr,
                                file_system.data(), MAX_PATH)) {
        probe.file_system = reinterpret_cast<const char16_t*>(file_system.data());
      }
      ULARGE_INTEGER available{}, total{}, free{};
      if (!probe.file_system.empty() && GetDiskFreeSpaceExW(Wide(root), &available, &total, &free)) {
        probe.capacity_bytes = total.QuadPart;
        probe.available_bytes = available.QuadPart;
      }
    }
    probes.push_back(std::move(probe));
  }
  return probes;
}

std::vector<VolumeProbe> ProbeDisks() {
  std::vector<VolumeProbe> probes;
  ProbePhysicalDrives(probes);
  return probes;
}

}  // namespace salvor::driveinfo
