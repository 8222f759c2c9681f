// Surveyor's probe on Linux: every block device and partition in sysfs.
//
// The type comes from sysfs (a loop device; "removable" of the whole disk;
// a disk with a "device" link is real hardware, anything else is virtual),
// the bus from the device's path in sysfs (under a USB controller or not),
// the capacity from the device size, the file system from libblkid, and the
// free space from the mounted file system when the volume is mounted.
// Devices are opened only for reading, and only when they are candidates.
#include <blkid/blkid.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "driveinfo/drive_probe.h"

namespace salvor::driveinfo {
namespace {

namespace fs = std::filesystem;

const fs::path kSysBlock = "/sys/class/block";
constexpr uint64_t kSysfsSectorBytes = 512;  // sysfs sizes are in 512-byte units on every device
// Bounds for what is read from sysfs and procfs.
constexpr size_t kMaxDevices = 4096;
constexpr size_t kMaxMountLines = 65536;

std::optional<std::string> ReadLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  return line;
}

std::optional<uint64_t> ReadNumber(const fs::path& path) {
  const auto line = ReadLine(path);
  if (!line || line->empty()) return std::nullopt;
  try {
    size_t used = 0;
    const unsigned long long value = std::stoull(*line, &used);
    return static_cast<uint64_t>(value);
  } catch (...) {
    return std::nullopt;
  }
}

// The /dev name of a sysfs block name ("cciss!c0d0" is /dev/cciss/c0d0).
std::string DevicePath(std::string name) {
  for (char& c : name) {
    if (c == '!') c = '/';
  }
  return "/dev/" + name;
}

bool IsLoopName(const std::string& name) { return name.rfind("loop", 0) == 0; }

// The whole disk's sysfs directory for a block device: itself, or the
// parent of a partition.
fs::path WholeDisk(const fs::path& device_dir) {
  std::error_code error;
  if (fs::exists(device_dir / "partition", error)) return device_dir.parent_path();
  return device_dir;
}

bool UnderUsb(const fs::path& real_dir) {
  for (const auto& part : real_dir) {
    if (part.string().rfind("usb", 0) == 0) return true;
  }
  return false;
}

// The file system that libblkid finds, in the name Windows would give it;
// empty when the device cannot be read or holds none that it knows.
std::u16string ProbeFileSystem(const std::string& device) {
  blkid_probe probe = blkid_new_probe_from_filename(device.c_str());
  if (!probe) return {};
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION);
  std::u16string name;
  // Safe probing: an ambiguous result (two signatures) counts as none.
  if (blkid_do_safeprobe(probe) == 0) {
    const char* type = nullptr;
    const char* version = nullptr;
    if (blkid_probe_lookup_value(probe, "TYPE", &type, nullptr) == 0 && type) {
      if (blkid_probe_lookup_value(probe, "VERSION", &version, nullptr) != 0) version = nullptr;
      name = FileSystemFromBlkid(type, version ? version : "");
    }
  }
  blkid_free_probe(probe);
  return name;
}

// "/mnt/my\040disk" as mountinfo writes it, decoded.
std::string UnescapeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    const auto octal = [&](size_t at) { return field[at] >= '0' && field[at] <= '7'; };
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] <= '3' && octal(i + 1) && octal(i + 2) &&
        octal(i + 3)) {
      const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      out.push_back(static_cast<char>(value));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

// Where the volume is mounted: matched by device number, or by source path
// for FUSE mounts (ntfs-3g, exfat-fuse), whose device number is FUSE's.
std::optional<std::string> FindMountPoint(const std::string& device, const std::string& dev_number) {
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  for (size_t count = 0; count < kMaxMountLines && std::getline(in, line); ++count) {
    std::istringstream fields(line);
    std::string id, parent, number, root, mount_point;
    if (!(fields >> id >> parent >> number >> root >> mount_point)) continue;
    std::string word;
    while (fields >> word && word != "-") {
    }
    std::string fs_type, source;
    fields >> fs_type >> source;
    if (number == dev_number || UnescapeMountField(source) == device) return UnescapeMountField(mount_point);
  }
  return std::nullopt;
}

std::optional<uint64_t> AvailableBytes(const std::string& mount_point) {
  struct statvfs info {};
  if (::statvfs(mount_point.c_str(), &info) != 0) return std::nullopt;
  return static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
}

DriveType TypeOf(const std::string& name, const fs::path& disk_dir) {
  if (IsLoopName(name) || IsLoopName(disk_dir.filename().string())) return DriveType::kLoop;
  if (ReadNumber(disk_dir / "removable").value_or(0) == 1) return DriveType::kRemovable;
  std::error_code error;
  if (fs::exists(disk_dir / "device", error)) return DriveType::kFixed;
  return DriveType::kOther;  // device mapper, md, zram, ram: not a drive of its own
}

// "sda2" before "sda10": runs of digits compare by value.
bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      size_t ei = i, ej = j;
      while (ei < a.size() && digit(a[ei])) ++ei;
      while (ej < b.size() && digit(b[ej])) ++ej;
      const std::string_view da = std::string_view(a).substr(i, ei - i);
      const std::string_view db = std::string_view(b).substr(j, ej - j);
      const size_t za = da.find_first_not_of('0'), zb = db.find_first_not_of('0');
      const std::string_view va = za == std::string_view::npos ? "" : da.substr(za);
      const std::string_view vb = zb == std::string_view::npos ? "" : db.substr(zb);
      if (va.size() != vb.size()) return va.size() < vb.size();
      if (va != vb) return va < vb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

}  // namespace

std::vector<VolumeProbe> ProbeVolumes(const SurveyRules& rules) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(kSysBlock, error), end; !error && it != end; it.increment(error)) {
    if (names.size() >= kMaxDevices) break;
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end(), NaturalLess);

  std::vector<VolumeProbe> probes;
  for (const std::string& name : names) {
    std::error_code ignored;
    const fs::path real_dir = fs::canonical(kSysBlock / name, ignored);
    if (ignored) continue;
    const fs::path disk_dir = WholeDisk(real_dir);
    const std::string device = DevicePath(name);

    VolumeProbe probe;
    probe.root = text::from_utf8(device);
    probe.type = TypeOf(name, disk_dir);
    probe.usb = UnderUsb(disk_dir);
    if (IsCandidate(probe, rules)) {
      const auto sectors = ReadNumber(real_dir / "size");
      if (sectors && *sectors > 0 && *sectors <= UINT64_MAX / kSysfsSectorBytes) {
        probe.capacity_bytes = *sectors * kSysfsSectorBytes;
        probe.file_system = ProbeFileSystem(device);
        const std::string dev_number = ReadLine(real_dir / "dev").value_or("");
        if (!probe.file_system.empty()) {
          if (const auto mount_point = FindMountPoint(device, dev_number)) {
            probe.available_bytes = AvailableBytes(*mount_point);
          }
        }
      }
    }
    probes.push_back(std::move(probe));
  }
  return probes;
}

std::vector<VolumeProbe> ProbeDisks() { return {}; }

}  // namespace salvor::driveinfo
