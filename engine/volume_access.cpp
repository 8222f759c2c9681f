#include "engine/volume_access.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

namespace salvor::engine {
namespace {

// An image file or device under a drive letter, whole or one byte range
// of it (a partition of a disk).
struct MountedImage {
  std::u16string path;
  uint64_t offset_bytes = 0;
  std::optional<uint64_t> length_bytes;  // nothing: to the end
};

struct MountTable {
  std::mutex lock;
  std::map<char16_t, MountedImage> images;  // upper-case letter -> image
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
  return MountImageRange(letter, image_path, 0, std::nullopt);
}

bool MountImageRange(char16_t letter, std::u16string_view image_path, uint64_t offset_bytes,
                     std::optional<uint64_t> length_bytes) {
  if (!is_letter(letter)) return false;
  if (length_bytes && offset_bytes > UINT64_MAX - *length_bytes) return false;
  MountTable& table = mounts();
  std::lock_guard guard(table.lock);
  table.volumes.erase(upper_letter(letter));
  if (image_path.empty()) {
    table.images.erase(upper_letter(letter));
  } else {
    table.images[upper_letter(letter)] = MountedImage{std::u16string(image_path), offset_bytes, length_bytes};
  }
  return true;
}

namespace {

// The image mounted under the letter `path` starts with, if any.
std::optional<MountedImage> mounted_image(std::u16string_view path) {
  if (path.empty()) return std::nullopt;
  MountTable& table = mounts();
  std::lock_guard guard(table.lock);
  const auto found = table.images.find(upper_letter(path[0]));
  if (found == table.images.end()) return std::nullopt;
  return found->second;
}

// Opens what `path` names: the mounted image (narrowed to its range), else
// the drive's volume device.
bool open_device(std::u16string_view path, platform::RawVolume& device) {
  const auto image = mounted_image(path);
  if (!image) return device.open(VolumeDevicePath(path));
  if (!device.open(image->path)) return false;
  if (image->offset_bytes == 0 && !image->length_bytes) return true;
  const auto size = device.size_bytes();
  const uint64_t length = image->length_bytes ? *image->length_bytes
                          : size && *size >= image->offset_bytes ? *size - image->offset_bytes
                                                                 : 0;
  if (device.set_window(image->offset_bytes, length)) return true;
  device.close();
  return false;
}

}  // namespace

bool MountVolume(char16_t letter, intptr_t native_handle, uint64_t offset_bytes,
                 std::optional<uint64_t> length_bytes) {
  if (!is_letter(letter)) return false;
  auto volume = std::make_unique<platform::RawVolume>();
  if (!volume->adopt(native_handle)) return false;
  if (offset_bytes != 0 || length_bytes) {
    const auto size = volume->size_bytes();
    const uint64_t length = length_bytes ? *length_bytes
                            : size && *size >= offset_bytes ? *size - offset_bytes
                                                            : 0;
    if (!volume->set_window(offset_bytes, length)) return false;
  }
  MountTable& table = mounts();
  std::lock_guard guard(table.lock);
  table.images.erase(upper_letter(letter));
  table.volumes[upper_letter(letter)] = std::move(volume);
  return true;
}

std::u16string VolumeDevicePath(std::u16string_view path) {
  if (const auto image = mounted_image(path)) return image->path;
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
  bool ok = ShareMountedVolume(path, volume.device) || open_device(path, volume.device);
  if (!ok) platform::debug_output(u"Open Path Fail\uFF01\n");

  BootSector boot{};
  if (!volume.device.read_at(0, boot)) {
    platform::debug_output(u"Read Disk Fail\uFF01\n");
    ok = false;
  }
  volume.boot = boot;
  return ok;
}

namespace {

uint32_t (*g_sweep_progress)(uint64_t, uint64_t, void*) = nullptr;
void* g_sweep_progress_user = nullptr;

}  // namespace

void SetSweepProgress(uint32_t (*callback)(uint64_t bytes_swept, uint64_t bytes_total, void* user), void* user) {
  g_sweep_progress = callback;
  g_sweep_progress_user = user;
}

void ReportSweepPosition(uint64_t bytes_swept, uint64_t bytes_total) {
  if (g_sweep_progress) g_sweep_progress(std::min(bytes_swept, bytes_total), bytes_total, g_sweep_progress_user);
}

}  // namespace salvor::engine
