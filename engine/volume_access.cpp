#include "engine/volume_access.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace salvor::engine {
namespace {

struct MountTable {
  std::mutex lock;
  std::map<char16_t, std::u16string> images;  // upper-case letter -> path
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
  if (image_path.empty()) {
    table.images.erase(upper_letter(letter));
  } else {
    table.images[upper_letter(letter)] = std::u16string(image_path);
  }
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

bool OpenVolume(const char16_t* path, ScannerVolume& volume) {
  if (!path) return false;
  bool ok = volume.device.open(VolumeDevicePath(path));
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
