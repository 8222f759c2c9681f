#include "engine/fat/fat32.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "engine/fat/fat_directory.h"
#include "engine/fat/fat_recover.h"
#include "engine/fat/fat_sweep.h"

namespace salvor::engine {

bool CFat32::OpenVolume(const char16_t* path) {
  const bool opened = engine::OpenVolume(path, volume_);
  const auto g = geometry();
  claims_.reset(g ? fat::DataRegionBytes(*g) : 0);
  allocation_.reset();
  return opened;
}

std::optional<fat::FatGeometry> CFat32::geometry() const { return fat::FatGeometry::parse_fat32(volume_.boot); }

uint32_t CFat32::LocateFolder(std::u16string_view path) {
  const auto g = geometry();
  const auto components = FolderComponents(path);
  if (!g || !components) return 0;

  uint32_t cluster = g->root_cluster;
  for (const std::u16string_view component : *components) {
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
  const bool scanned = SearchCluster(path, nullptr, cluster, nullptr, callback, user);
  // The caller has descended into every folder from its callback by now.
  const auto g = geometry();
  if (g && cluster == g->root_cluster) fat::ReportLostClusters(volume_.device, *g, path, claims_, callback, user);
  return scanned;
}

bool CFat32::SearchCluster(std::u16string_view parent_path, const char16_t* name, uint32_t cluster,
                           uint32_t* found_cluster, ScanCallback callback, void* user) {
  if (found_cluster) *found_cluster = 0;
  const auto g = geometry();
  if (!g) return false;
  return fat::SearchFolder(volume_.device, *g, parent_path, name, cluster, found_cluster, callback, user, &claims_);
}

bool CFat32::FatDirectory(uint32_t cluster, const _FileInfoFat* record) {
  const auto g = geometry();
  if (!g || !g->is_data_cluster(cluster)) return false;
  std::vector<std::byte> sector(g->bytes_per_sector);
  if (!volume_.device.read_at(g->cluster_offset_bytes(cluster), sector)) return false;
  if (!fat::HasDotPair(sector)) return false;
  return !record || fat::DotDotCluster(sector) == record->Folder;
}

bool CFat32::ScanFatFormatDisk(uint64_t volume_size_bytes, ScanCallback callback, void* user) {
  const auto g = geometry();
  if (!g) return false;
  fat::SweepRules rules;
  rules.folder_from_dot_entry = false;
  return fat::SweepOldDirectories(volume_.device, *g, volume_size_bytes, rules, callback, user);
}

bool CFat32::IsDirectory32(uint64_t volume_size_bytes, const _FileInfoFat* record, ScanCallback callback,
                           void* user) {
  if (!record) return false;
  const auto g = geometry();
  if (!g) return false;
  const uint64_t data_start = g->data_start_bytes();
  if (volume_size_bytes <= data_start) return false;
  // Clusters are numbered from 2, so the last one the volume holds is its
  // count plus 1; candidates also stay inside the FAT. At most 65536
  // candidates, one sector read each.
  const uint64_t cluster_count = (volume_size_bytes - data_start) / g->cluster_size_bytes;
  const uint64_t last_cluster = std::min<uint64_t>(cluster_count + 1, g->fat_entry_count - 1);
  fat::FatCache fat(volume_.device, *g);
  for (uint64_t candidate = static_cast<uint64_t>(record->FirstCluster) + 0x10000; candidate <= last_cluster;
       candidate += 0x10000) {
    const auto cluster = static_cast<uint32_t>(candidate);
    if (!FatDirectory(cluster, record)) continue;
    // A deleted folder's directory is free in the FAT; an allocated one
    // with the same parent is a live sibling, whose entries are not the
    // deleted folder's.
    const auto value = fat.entry(cluster);
    if (!value || *value != 0) continue;
    SearchCluster(record->FullPath.view(), nullptr, cluster, nullptr, callback, user);
    return true;
  }
  return false;
}

bool CFat32::FatRecoverData(uint32_t first_cluster, uint64_t size_bytes, recovery::FileJob& job) {
  const auto g = geometry();
  if (!g) return job.refuse(u"the volume is not FAT32");
  return fat::RecoverFatFile(volume_.device, *g, first_cluster, size_bytes, job);
}

std::optional<recovery::VerdictTally> CFat32::JudgeFile(uint32_t first_cluster, uint64_t size_bytes) {
  const auto g = geometry();
  if (!g) return std::nullopt;
  if (!allocation_) allocation_.emplace(volume_.device, *g);
  return fat::JudgeDeletedFatFile(*g, *allocation_, first_cluster, size_bytes);
}

}  // namespace salvor::engine
