#include "engine/fat/fat_sweep.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/fat/fat_layout.h"
#include "engine/volume_access.h"

namespace salvor::engine::fat {
bool ReadSweepCluster(const platform::RawVolume& volume, const SweepWindow& window, uint64_t offset,
                      MutableBytes cluster) {
  const uint64_t window_end = window.offset_bytes + window.data.size();
  if (offset >= window.offset_bytes && offset <= window_end && cluster.size() <= window_end - offset) {
    std::memcpy(cluster.data(), window.data.data() + (offset - window.offset_bytes), cluster.size());
    return true;
  }
  const auto got = volume.read_some_at(offset, cluster);
  if (!got) {
    std::fill(cluster.begin(), cluster.end(), std::byte{0});
    return false;
  }
  // A cluster cut short by the end of the volume: zeros end its directory.
  std::fill(cluster.begin() + static_cast<ptrdiff_t>(*got), cluster.end(), std::byte{0});
  return true;
}

bool BeginsWithLongName(Bytes unit) {
  ByteReader reader(unit);
  const bool long_name = reader.u8(entry::kAttributes) == 0x0F && reader.u16(long_name::kZeroCluster) == 0 &&
                         reader.u8(long_name::kType) == 0;
  return reader.ok() && long_name;
}

void ReportSweepCluster(Bytes cluster, bool first_of_folder, LongNameState& long_name, const FolderPair& folders,
                        ScanCallback callback, void* user, const FatGeometry* geometry) {
  // Parts left over from another folder would otherwise name this folder's
  // first entry.
  if (first_of_folder) long_name.clear();
  EntryTarget target;
  target.callback = callback;
  target.user = user;
  target.geometry = geometry;
  uint32_t found_cluster = 0;
  for (size_t at = 0; at + entry::kSize <= cluster.size(); at += entry::kSize) {
    if (ParseEntry(cluster.subspan(at, entry::kSize), target, long_name, folders, found_cluster) ==
        EntryResult::kEndOfDirectory) {
      break;
    }
  }
}

bool SweepOldDirectories(const platform::RawVolume& volume, const FatGeometry& g, uint64_t volume_size_bytes,
                         const SweepRules& rules, ScanCallback callback, void* user) {
  std::unique_ptr<std::byte[]> buffer(new (std::nothrow) std::byte[g.cluster_size_bytes]());
  if (!buffer) return false;
  const MutableBytes cluster_data(buffer.get(), g.cluster_size_bytes);

  FatCache fat(volume, g);
  LongNameState long_name;  // one for the whole sweep
  bool result = true;
  const uint64_t data_start = g.data_start_bytes();
  const bool swept = SweepWindows(volume, volume_size_bytes, /*tail_bytes=*/0, [&](const SweepWindow& window) {
    for (size_t at = 0; at + kSweepUnitBytes <= window.data.size(); at += kSweepUnitBytes) {
      const Bytes unit = window.data.subspan(at, kSweepUnitBytes);
      // Most units are file data: two bytes rule them out (no "." name, no
      // long-name attribute) before any arithmetic.
      if (!MayBeginDirectory(unit, /*long_name_units=*/true)) continue;
      const uint64_t offset = window.offset_bytes + at;
      // Units before the data region hold no clusters.
      if (offset < data_start) continue;
      const uint64_t into_data = offset - data_start;
      const uint64_t cluster = into_data / g.cluster_size_bytes + 2;
      if (cluster > UINT32_MAX) continue;
      FolderPair folders;
      const bool dot_pair = HasDotPair(unit);
      if (dot_pair) {
        // A dot pair anywhere in a cluster counts (an old file system may
        // have placed its clusters differently); ".." names the parent (0
        // for the root).
        const uint32_t folder = rules.folder_from_dot_entry ? DecodeShortEntry(unit).first_cluster
                                                            : static_cast<uint32_t>(cluster);
        if (folder < 2) continue;  // clusters 0 and 1 are no folder
        folders = {DotDotCluster(unit), folder};
      } else if (into_data > 0 && into_data % g.cluster_size_bytes == 0 && BeginsWithLongName(unit)) {
        folders = {0, static_cast<uint32_t>(cluster)};  // its parent is not known
      } else {
        continue;
      }
      // A cluster the new file system uses is none of the old directories.
      // Clusters past the end of the new FAT are free by definition.
      if (folders.folder < g.fat_entry_count) {
        const auto value = fat.entry(folders.folder);
        if (!value) {
          result = false;
          continue;
        }
        if (*value != 0) continue;
      }
      // A cluster that cannot be read is not parsed: a stale buffer would
      // report the previous cluster's entries again under this folder.
      if (!ReadSweepCluster(volume, window, offset, cluster_data)) {
        result = false;
        continue;
      }
      ReportSweepCluster(cluster_data, dot_pair, long_name, folders, callback, user, &g);
    }
  });
  return swept && result;
}

}  // namespace salvor::engine::fat
