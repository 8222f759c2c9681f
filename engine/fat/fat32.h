// CFat32: the FAT32 scanner. Quick scan of one folder at a time (the caller
// descends into subfolders itself), the directory-cluster test, the search
// for a deleted folder whose cluster lost its high half, the unformat sweep
// and file recovery.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/fat/fat_geometry.h"
#include "engine/fat/fat_lost_chain.h"
#include "engine/fat/fat_recover.h"
#include "engine/fat_family_scanner.h"
#include "engine/gleaner_api.h"
#include "engine/volume_access.h"

namespace salvor::engine {

class CFat32 final : public FatFamilyScanner {
 public:
  bool OpenVolume(const char16_t* path) override;

  // Reports the entries of the folder that `path` names ("E:\", "E:\A\B").
  // False when the path names no folder or the volume cannot be read.
  bool ScanFatDisk(std::u16string_view path, ScanCallback callback, void* user) override;
  // Scans the folder starting at `cluster`, or with a name, looks the name
  // up in it and stores its first cluster in `found_cluster` (0: not found).
  bool SearchCluster(std::u16string_view parent_path, const char16_t* name, uint32_t cluster,
                     uint32_t* found_cluster, ScanCallback callback, void* user) override;
  // True when `cluster` begins with the dot pair and, with a record, its ".."
  // entry names the record's folder.
  bool FatDirectory(uint32_t cluster, const _FileInfoFat* record) override;
  // First cluster of the folder `path` names, or 0.
  uint32_t LocateFolder(std::u16string_view path);

  // Sweeps `volume_size_bytes` of the volume for old directory clusters
  // (dot-pair clusters, and free clusters that begin with a long name) and
  // reports their entries with bare names and folder numbers.
  bool ScanFatFormatDisk(uint64_t volume_size_bytes, ScanCallback callback, void* user) override;
  // A deleted folder's entry keeps only the low half of its first cluster:
  // tries the record's cluster plus each multiple of 65536 for a directory
  // whose ".." names the record's folder, and scans the first that fits.
  bool IsDirectory32(uint64_t volume_size_bytes, const _FileInfoFat* record, ScanCallback callback, void* user);
  // Hands the file at `first_cluster` of `size_bytes` to `job`.
  bool FatRecoverData(uint32_t first_cluster, uint64_t size_bytes, recovery::FileJob& job) override;
  std::optional<recovery::VerdictTally> JudgeFile(uint32_t first_cluster, uint64_t size_bytes) override;

  const ScannerVolume& volume() const { return volume_; }
  std::optional<fat::FatGeometry> geometry() const;

 private:
  ScannerVolume volume_;
  // The FAT as the verdicts of this volume read it (made on the first).
  std::optional<fat::FatAllocation> allocation_;
  // The later clusters of deleted folders taken during this volume's scans.
  LostClusterClaims claims_;
};

}  // namespace salvor::engine
