// CExFat: the exFAT scanner. Quick scan of one folder at a time (the caller
// descends into subfolders itself), name lookup, the unformat sweep and
// file recovery.
//
// The records it reports carry a first cluster and a size only, yet how a
// file's or folder's data is laid out is told by its stream extension
// (NoFatChain, data length, valid data length). The scanner therefore
// remembers the stream extensions of the sets it reported since the volume
// was opened, so that a later SearchCluster or FatRecoverData on one of them
// reads the data where it lies.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "engine/exfat/exfat_directory.h"
#include "engine/exfat/exfat_geometry.h"
#include "engine/exfat/exfat_recover.h"
#include "engine/fat_family_scanner.h"
#include "engine/gleaner_api.h"
#include "engine/volume_access.h"

namespace salvor::engine {

class CExFat final : public FatFamilyScanner {
 public:
  // Opens the volume, keeps its boot sector and derives the sector and
  // cluster sizes (0 when the boot sector gives no sound geometry).
  bool OpenVolume(const char16_t* path) override;

  // Reports the sets of the folder that `path` names ("E:\", "E:\A\B").
  // False when the path names no folder or the volume cannot be read.
  bool ScanFatDisk(std::u16string_view path, ScanCallback callback, void* user) override;
  // Scans the folder whose directory starts at `cluster`, or with a name,
  // looks the name up in it and stores its first cluster in `found_cluster`
  // (0: not found).
  bool SearchCluster(std::u16string_view parent_path, const char16_t* name, uint32_t cluster, uint32_t* found_cluster,
                     ScanCallback callback, void* user) override;
  // The unformat sweep over the first `volume_size_bytes` of the volume.
  bool ScanFatFormatDisk(uint64_t volume_size_bytes, ScanCallback callback, void* user) override;
  // Hands the file of `size_bytes` that starts at `first_cluster` to `job`.
  bool FatRecoverData(uint32_t first_cluster, uint64_t size_bytes, recovery::FileJob& job) override;
  std::optional<recovery::VerdictTally> JudgeFile(uint32_t first_cluster, uint64_t size_bytes) override;

  // First cluster of the folder `path` names, or 0.
  uint32_t LocateFolder(std::u16string_view path);

  uint32_t bytes_per_sector() const { return bytes_per_sector_; }
  uint32_t sectors_per_cluster() const { return sectors_per_cluster_; }
  const std::optional<exfat::ExFatGeometry>& geometry() const { return geometry_; }
  const ScannerVolume& volume() const { return volume_; }

 private:
  // What a reported set's stream extension said about its data.
  struct KnownStream {
    uint64_t data_length = 0;
    uint64_t valid_data_length = 0;
    bool no_fat_chain = false;
    bool folder = false;
    // A present set of the live file system: its FAT chain, if any, is
    // current. Deleted sets and sets found by the sweep have lost theirs.
    bool live = false;
  };
  // Bounds the memory a volume with very many sets can take.
  static constexpr size_t kMaxKnownStreams = 4u << 20;

  // How the file's data is laid out, from what its set's stream extension
  // said when it was reported.
  exfat::RecoveryPlan PlanFor(uint32_t first_cluster, uint64_t size_bytes);
  void Remember(const exfat::EntrySet& set, bool from_live_directory);
  exfat::DirectoryExtent ExtentOfFolder(uint32_t cluster) const;
  // False for a folder known to be deleted or found by the sweep.
  bool IsLiveFolder(uint32_t cluster) const;
  exfat::SetTarget MakeTarget(bool from_live_directory);
  // The allocation bitmap, read the first time a deleted folder is scanned
  // (null when the volume has none that can be read).
  const exfat::AllocationBitmap* Bitmap();
  // What the search for a deleted folder's later clusters needs; nothing
  // without a bitmap.
  std::optional<exfat::LostFolderSearch> LostSearch();
  // Reports the clusters searches saw and no folder took, under
  // LostEntriesPath(`root_path`).
  void ReportLostClusters(std::u16string_view root_path, ScanCallback callback, void* user);

  ScannerVolume volume_;
  uint32_t bytes_per_sector_ = 0;
  uint32_t sectors_per_cluster_ = 0;
  std::optional<exfat::ExFatGeometry> geometry_;
  std::unordered_map<uint32_t, KnownStream> known_streams_;  // first cluster -> stream
  std::optional<exfat::AllocationBitmap> bitmap_;
  std::optional<uint64_t> judge_volume_end_;  // the volume's end, asked once for the verdicts
  bool bitmap_tried_ = false;
  // The later clusters of deleted folders taken during this volume's scans.
  LostClusterClaims claims_;
};

}  // namespace salvor::engine
