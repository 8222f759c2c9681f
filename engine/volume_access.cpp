#include "engine/volume_access.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

namespace salvor::engine {
namespace {

struct MountTable {
  std::mutex lock;
  std::map<char16_t, std::u16string> images;  // upper-case letter -> path
  std::map<char16_t, std::unique_ptr<platform::RawVolume>> volumes;  // upper-case letter -> open volume
};

MountTable& mounts() {
  static MountTable table;
  return table;
}

char16_t upper_letter(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - u'a' + u'A');
  return c;
}

bool is_letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

}  // namespace

bool MountImage(char16_t letter, std::u16string_view image_path) {
  if (!is_letter(letter)) return false;
  MountTable& table = mounts();
  std::lock_guard guard(table.lock);
  table.volumes.erase(upper_letter(letter));
  if (image_path.empty()) {
    table.images.erase(upper_letter(letter));
  } else {
    table.images[upper_letter(letter)] = std::u16string(image_path);
  }
  return true;
}

bool MountVolume(char16_t letter, intptr_t native_handle) {
  if (!is_letter(letter)) return false;
  auto volume = std::make_unique<platform::RawVolume>();
  if (!volume->adopt(native_handle)) return false;
  MountTable& table = mounts();
  std::lock_guard guard(table.lock);
  table.images.erase(upper_letter(letter));
  table.volumes[upper_letter(letter)] = std::move(volume);
  return true;
}

std::u16string VolumeDevicePath(std::u16string_view path) {
  if (!path.empty()) {
    MountTable& table = mounts();
    std::lock_guard guard(table.lock);
    const auto found = table.images.find(upper_letter(path[0]));
    if (found != table.images.end()) return found->second;
  }
  return u"\\\\.\\" + std::u16string(path.substr(0, std::min<size_t>(2, path.size())));
}

std::optional<std::vector<std::u16string_view>> FolderComponents(std::u16string_view path) {
  if (path.size() > 259) return std::nullopt;
  std::vector<std::u16string_view> components;
  bool drive_skipped = false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view component = path.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;
    if (drive_skipped) components.push_back(component);
    drive_skipped = true;
  }
  return components;
}

namespace {

// Shares the volume mounted under the letter `path` starts with, if any.
bool ShareMountedVolume(std::u16string_view path, platform::RawVolume& device) {
  if (path.empty()) return false;
  MountTable& table = mounts();
  std::lock_guard guard(table.lock);
  const auto found = table.volumes.find(upper_letter(path[0]));
  if (found == table.volumes.end()) return false;
  device.share(*found->second);
  return true;
}

}  // namespace

bool OpenVolume(const char16_t* path, ScannerVolume& volume) {
  if (!path) return false;
  bool ok = ShareMountedVolume(path, volume.device) || volume.device.open(VolumeDevicePath(path));
  if (!ok) platform::debug_output(u"Open Path Fail\uFF01\n");

  BootSector boot{};
  if (!volume.device.read_at(0, boot)) {
    platform::debug_output(u"Read Disk Fail\uFF01\n");
    ok = false;
  }
  volume.boot = boot;
  return ok;
}

}  // namespace salvor::engine
