#include "engine/fat/fat16.h"

#include <memory>
#include <new>
#include <vector>

#include "engine/fat/fat_layout.h"
#include "engine/fat/fat_recover.h"
#include "engine/fat/fat_sweep.h"

namespace salvor::engine {

bool CFat16::OpenVolume(const char16_t* path) {
  const bool opened = engine::OpenVolume(path, volume_);
  const auto g = geometry();
  claims_.reset(g ? fat::DataRegionBytes(*g) : 0);
  allocation_.reset();
  return opened;
}

std::optional<fat::FatGeometry> CFat16::geometry() const { return fat::FatGeometry::parse_fat16(volume_.boot); }

bool CFat16::ScanRootRegion(const fat::FatGeometry& g, const fat::EntryTarget& target, uint32_t* found_cluster_out) {
  if (found_cluster_out) *found_cluster_out = 0;
  // At most 65535 entries of 32 bytes: the whole region is read at once.
  const uint64_t region_bytes = static_cast<uint64_t>(g.root_dir_sectors) * g.bytes_per_sector;
  std::unique_ptr<std::byte[]> buffer(new (std::nothrow) std::byte[region_bytes + 1]());
  if (!buffer) return false;
  const MutableBytes region(buffer.get(), static_cast<size_t>(region_bytes));
  if (!volume_.device.read_at(g.sector_offset_bytes(g.root_dir_start_sector), region)) return false;

  fat::LongNameState long_name;
  const fat::FolderPair root_folders;  // the root: 0 and 0
  uint32_t found_cluster = 0;
  bool matched = false;
  for (uint64_t index = 0; index < g.root_entry_count; ++index) {
    const auto entry = slice(region, index * fat::entry::kSize, fat::entry::kSize);
    if (!entry) break;
    const fat::EntryResult parsed = fat::ParseEntry(*entry, target, long_name, root_folders, found_cluster);
    if (parsed == fat::EntryResult::kFound) matched = true;
    if (parsed != fat::EntryResult::kContinue) break;
  }
  if (found_cluster_out) *found_cluster_out = (target.lookup_name && !matched) ? 0 : found_cluster;
  return true;
}

bool CFat16::ScanFatDisk(std::u16string_view path, ScanCallback callback, void* user) {
  const auto g = geometry();
  const auto components = FolderComponents(path);
  if (!g || !components) return false;

  // The components after the drive, looked up from the root region.
  uint32_t cluster = 0;  // 0: the root region
  for (const std::u16string_view component : *components) {
    fat::EntryTarget lookup;
    lookup.lookup_name = component;
    uint32_t found = 0;
    const bool read = cluster == 0 ? ScanRootRegion(*g, lookup, &found)
                                   : fat::ScanDirectory(volume_.device, *g, lookup, cluster, &found);
    if (!read || found == 0) return false;
    cluster = found;
  }

  if (cluster != 0) return SearchCluster(path, nullptr, cluster, nullptr, callback, user);
  fat::EntryTarget scan;
  scan.parent_path = path;
  scan.callback = callback;
  scan.user = user;
  scan.geometry = &*g;
  const bool scanned = ScanRootRegion(*g, scan, nullptr);
  // The caller has descended into every folder from its callback by now.
  fat::ReportLostClusters(volume_.device, *g, path, claims_, callback, user);
  return scanned;
}

bool CFat16::SearchCluster(std::u16string_view parent_path, const char16_t* name, uint32_t cluster,
                           uint32_t* found_cluster, ScanCallback callback, void* user) {
  if (found_cluster) *found_cluster = 0;
  const auto g = geometry();
  if (!g) return false;
  return fat::SearchFolder(volume_.device, *g, parent_path, name, cluster, found_cluster, callback, user, &claims_);
}

bool CFat16::FatDirectory(uint32_t cluster, const _FileInfoFat*) {
  const auto g = geometry();
  if (!g || !g->is_data_cluster(cluster)) return false;
  std::vector<std::byte> sector(g->bytes_per_sector);
  if (!volume_.device.read_at(g->cluster_offset_bytes(cluster), sector)) return false;
  return fat::HasDotPair(sector);
}

bool CFat16::ScanFatFormatDisk(uint64_t volume_size_bytes, ScanCallback callback, void* user) {
  const auto g = geometry();
  if (!g) return false;
  fat::SweepRules rules;
  rules.folder_from_dot_entry = true;
  return fat::SweepOldDirectories(volume_.device, *g, volume_size_bytes, rules, callback, user);
}

bool CFat16::FatRecoverData(uint32_t first_cluster, uint64_t size_bytes, recovery::FileJob& job) {
  const auto g = geometry();
  if (!g) return job.refuse(u"the volume is not FAT16");
  return fat::RecoverFatFile(volume_.device, *g, first_cluster, size_bytes, job);
}

std::optional<recovery::VerdictTally> CFat16::JudgeFile(uint32_t first_cluster, uint64_t size_bytes) {
  const auto g = geometry();
  if (!g) return std::nullopt;
  if (!allocation_) allocation_.emplace(volume_.device, *g);
  return fat::JudgeDeletedFatFile(*g, *allocation_, first_cluster, size_bytes);
}

}  // namespace salvor::engine
