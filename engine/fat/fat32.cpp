#include "engine/fat/fat32.h"

#include <vector>

#include "engine/fat/fat_directory.h"

namespace salvor::engine {

std::optional<fat::FatGeometry> CFat32::geometry() const { return fat::FatGeometry::parse_fat32(volume_.boot); }

uint32_t CFat32::LocateFolder(std::u16string_view path) {
  const auto g = geometry();
  if (!g) return 0;
  // Paths are limited to 259 characters, as the drive paths they come from.
  if (path.size() > 259) return 0;

  uint32_t cluster = g->root_cluster;
  bool first_component = true;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    const std::u16string_view component = path.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;
    if (first_component) {  // the drive
      first_component = false;
      continue;
    }
    fat::EntryTarget lookup;
    lookup.lookup_name = component;
    uint32_t found = 0;
    if (!fat::ScanDirectory(volume_.device, *g, lookup, cluster, &found) || found == 0) return 0;
    cluster = found;
  }
  return cluster;
}

bool CFat32::ScanFatDisk(std::u16string_view path, ScanCallback callback, void* user) {
  const uint32_t cluster = LocateFolder(path);
  if (cluster == 0) return false;
  return SearchCluster(path, nullptr, cluster, nullptr, callback, user);
}

bool CFat32::SearchCluster(std::u16string_view parent_path, const char16_t* name, uint32_t cluster,
                           uint32_t* found_cluster, ScanCallback callback, void* user) {
  if (found_cluster) *found_cluster = 0;
  const auto g = geometry();
  if (!g) return false;
  fat::EntryTarget target;
  if (name) target.lookup_name = std::u16string_view(name);
  target.parent_path = parent_path;
  target.callback = callback;
  target.user = user;
  return fat::ScanDirectory(volume_.device, *g, target, cluster, found_cluster);
}

bool CFat32::FatDirectory(uint32_t cluster, const _FileInfoFat* record) {
  const auto g = geometry();
  if (!g || !g->is_data_cluster(cluster)) return false;
  std::vector<std::byte> sector(g->bytes_per_sector);
  if (!volume_.device.read_at(g->cluster_offset_bytes(cluster), sector)) return false;
  if (!fat::HasDotPair(sector)) return false;
  return !record || fat::DotDotCluster(sector) == record->Folder;
}

}  // namespace salvor::engine
