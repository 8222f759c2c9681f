#include "engine/exfat/exfat.h"

#include <algorithm>

#include "engine/exfat/exfat_recover.h"
#include "engine/exfat/exfat_sweep.h"

namespace salvor::engine {

bool CExFat::OpenVolume(const char16_t* path) {
  const bool opened = engine::OpenVolume(path, volume_);
  geometry_ = exfat::ExFatGeometry::parse(volume_.boot, volume_.device.size_bytes());
  bytes_per_sector_ = geometry_ ? geometry_->bytes_per_sector : 0;
  sectors_per_cluster_ = geometry_ ? geometry_->sectors_per_cluster : 0;
  known_streams_.clear();
  bitmap_.reset();
  bitmap_tried_ = false;
  judge_volume_end_.reset();
  claims_.reset(geometry_ ? static_cast<uint64_t>(geometry_->cluster_count) * geometry_->cluster_size_bytes : 0);
  return opened;
}

std::optional<exfat::LostFolderSearch> CExFat::LostSearch() {
  const exfat::AllocationBitmap* bitmap = Bitmap();
  if (!bitmap) return std::nullopt;
  const exfat::ExFatGeometry& g = *geometry_;
  exfat::LostFolderSearch lost;
  lost.claims = &claims_;
  lost.space.cluster_bytes = g.cluster_size_bytes;
  lost.space.end_cluster = static_cast<uint32_t>(std::min<uint64_t>(g.cluster_count + 2ull, UINT32_MAX));
  lost.space.is_data_cluster = [&g](uint32_t c) { return g.is_data_cluster(c); };
  lost.space.offset_bytes = [&g](uint32_t c) { return g.cluster_offset_bytes(c); };
  lost.space.is_free = [bitmap](uint32_t c) { return !bitmap->is_allocated(c); };
  lost.space.looks_like_directory = [&g](Bytes data) { return exfat::LooksLikeLaterDirectoryCluster(data, g); };
  lost.space.full_cluster_goes_on_at = [&g](Bytes data) { return exfat::FullClusterGoesOnAt(data, g); };
  return lost;
}

void CExFat::ReportLostClusters(std::u16string_view root_path, ScanCallback callback, void* user) {
  const auto lost = LostSearch();
  if (!lost) return;
  const std::u16string parent = LostEntriesPath(root_path);
  exfat::SetTarget target = MakeTarget(/*from_live_directory=*/false);
  target.parent_path = parent;
  target.callback = callback;
  target.user = user;
  for (const uint32_t cluster : claims_.unclaimed()) {
    // One lost cluster may go on in another that was seen too.
    if (claims_.claimed(cluster)) continue;
    exfat::DirectoryExtent extent;
    extent.first_cluster = cluster;
    extent.length_bytes = geometry_->cluster_size_bytes;
    extent.contiguous = true;
    exfat::ScanDirectory(volume_.device, *geometry_, extent, target, nullptr, &*lost);
  }
}

const exfat::AllocationBitmap* CExFat::Bitmap() {
  if (!bitmap_tried_ && geometry_) {
    bitmap_tried_ = true;
    exfat::AllocationBitmap bitmap;
    if (exfat::LoadAllocationBitmap(volume_.device, *geometry_, bitmap) == exfat::BitmapLoad::kLoaded) {
      bitmap_ = std::move(bitmap);
    }
  }
  return bitmap_ ? &*bitmap_ : nullptr;
}

void CExFat::Remember(const exfat::EntrySet& set, bool from_live_directory) {
  const bool live = from_live_directory && !set.is_deleted();
  const auto found = known_streams_.find(set.stream.first_cluster);
  if (found == known_streams_.end()) {
    if (known_streams_.size() >= kMaxKnownStreams) return;
  } else if (found->second.live && !live) {
    return;  // a set whose data is current outranks one that lost its chain
  }
  KnownStream& known = known_streams_[set.stream.first_cluster];
  known.data_length = set.stream.data_length;
  known.valid_data_length = set.stream.valid_data_length;
  known.no_fat_chain = set.stream.no_fat_chain();
  known.folder = set.is_folder();
  known.live = live;
}

exfat::SetTarget CExFat::MakeTarget(bool from_live_directory) {
  exfat::SetTarget target;
  target.observe = [this, from_live_directory](const exfat::EntrySet& set) { Remember(set, from_live_directory); };
  // The first cluster of a deleted folder is its own, whoever searches for
  // later clusters before it is entered.
  target.folder_named = [this](uint32_t cluster) {
    const exfat::AllocationBitmap* bitmap = Bitmap();
    if (bitmap && !bitmap->is_allocated(cluster)) claims_.claim(cluster);
  };
  return target;
}

exfat::DirectoryExtent CExFat::ExtentOfFolder(uint32_t cluster) const {
  exfat::DirectoryExtent extent;
  extent.first_cluster = cluster;
  // The root directory has no stream extension; it always has a chain.
  if (geometry_ && cluster == geometry_->root_cluster) return extent;
  const auto found = known_streams_.find(cluster);
  if (found != known_streams_.end() && found->second.folder) {
    extent.length_bytes = found->second.data_length;
    extent.contiguous = found->second.no_fat_chain;
  }
  return extent;
}

bool CExFat::IsLiveFolder(uint32_t cluster) const {
  if (geometry_ && cluster == geometry_->root_cluster) return true;
  // The sets inside a deleted folder may still say they are in use (not
  // every system marks them when it deletes a folder tree), but their FAT
  // chains were freed with the folder.
  const auto found = known_streams_.find(cluster);
  return found == known_streams_.end() || !found->second.folder || found->second.live;
}

uint32_t CExFat::LocateFolder(std::u16string_view path) {
  const auto components = FolderComponents(path);
  if (!geometry_ || !components) return 0;

  exfat::DirectoryExtent extent = ExtentOfFolder(geometry_->root_cluster);
  bool live = true;
  for (const std::u16string_view component : *components) {
    exfat::SetTarget lookup = MakeTarget(live);
    lookup.lookup_name = component;
    std::optional<exfat::EntrySet> found;
    // A failed read ends the lookup of this component, and so the path.
    if (!exfat::ScanDirectory(volume_.device, *geometry_, extent, lookup, &found) || !found) return 0;
    if (!found->is_folder()) return 0;
    extent = exfat::ExtentOf(*found);
    live = live && !found->is_deleted();
  }
  return geometry_->is_data_cluster(extent.first_cluster) ? extent.first_cluster : 0;
}

bool CExFat::ScanFatDisk(std::u16string_view path, ScanCallback callback, void* user) {
  const uint32_t cluster = LocateFolder(path);
  if (cluster == 0) return false;
  const bool scanned = SearchCluster(path, nullptr, cluster, nullptr, callback, user);
  // The caller has descended into every folder from its callback by now.
  if (cluster == geometry_->root_cluster) ReportLostClusters(path, callback, user);
  return scanned;
}

bool CExFat::SearchCluster(std::u16string_view parent_path, const char16_t* name, uint32_t cluster,
                           uint32_t* found_cluster, ScanCallback callback, void* user) {
  if (found_cluster) *found_cluster = 0;
  if (!geometry_) return false;
  exfat::SetTarget target = MakeTarget(IsLiveFolder(cluster));
  if (name) target.lookup_name = std::u16string_view(name);
  target.parent_path = parent_path;
  target.callback = callback;
  target.user = user;
  // A deleted folder's later clusters are searched for.
  const auto lost = IsLiveFolder(cluster) ? std::nullopt : LostSearch();
  std::optional<exfat::EntrySet> found;
  const bool ok = exfat::ScanDirectory(volume_.device, *geometry_, ExtentOfFolder(cluster), target, &found,
                                       lost ? &*lost : nullptr);
  if (found_cluster && found) *found_cluster = found->stream.first_cluster;
  return ok;
}

bool CExFat::ScanFatFormatDisk(uint64_t volume_size_bytes, ScanCallback callback, void* user) {
  if (!geometry_) return false;
  exfat::SweepTarget target;
  target.callback = callback;
  target.user = user;
  target.observe = [this](const exfat::EntrySet& set) { Remember(set, /*from_live_directory=*/false); };
  return exfat::SweepFormatted(volume_.device, *geometry_, volume_size_bytes, target);
}

exfat::RecoveryPlan CExFat::PlanFor(uint32_t first_cluster, uint64_t size_bytes) {
  exfat::RecoveryPlan plan;
  plan.first_cluster = first_cluster;
  plan.size_bytes = size_bytes;
  plan.valid_bytes = size_bytes;
  const auto found = known_streams_.find(first_cluster);
  if (geometry_ && found != known_streams_.end() && found->second.data_length == size_bytes) {
    const KnownStream& known = found->second;
    plan.valid_bytes = std::min(known.valid_data_length, size_bytes);
    // NoFatChain says the data is one run. A deleted file that had a chain
    // usually keeps it (only the bitmap is cleared): it is followed when it
    // still fits the size and no cluster of it was taken since; otherwise
    // the data is taken as one run.
    plan.layout = exfat::DataLayout::kChain;
    if (known.no_fat_chain) {
      plan.layout = exfat::DataLayout::kContiguous;
    } else if (!known.live) {
      const exfat::AllocationBitmap* bitmap = Bitmap();
      const bool intact = bitmap && exfat::DeletedChainIsIntact(volume_.device, *geometry_, *bitmap, first_cluster,
                                                                size_bytes);
      plan.layout = intact ? exfat::DataLayout::kChain : exfat::DataLayout::kContiguous;
    }
  }
  return plan;
}

bool CExFat::FatRecoverData(uint32_t first_cluster, uint64_t size_bytes, recovery::FileJob& job) {
  if (!geometry_) return job.refuse(u"the volume is not exFAT");
  return exfat::RecoverFile(volume_.device, *geometry_, PlanFor(first_cluster, size_bytes), job);
}

std::optional<recovery::VerdictTally> CExFat::JudgeFile(uint32_t first_cluster, uint64_t size_bytes) {
  if (!geometry_) return std::nullopt;
  const exfat::AllocationBitmap* bitmap = Bitmap();
  if (!bitmap) return std::nullopt;
  if (!judge_volume_end_) judge_volume_end_ = volume_.device.size_bytes().value_or(geometry_->heap_end_bytes());
  return exfat::JudgeFile(volume_.device, *geometry_, *bitmap, PlanFor(first_cluster, size_bytes), *judge_volume_end_);
}

}  // namespace salvor::engine
