// CFat16: the FAT16 scanner. It follows the FAT32 scanner step for step with
// the same entry rules; what differs is the fixed root directory region
// before the data clusters, 16-bit FAT entries, records of the quick scan
// that carry no folder numbers, and an unformat sweep that takes a folder's
// number from its "." entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/fat/fat_directory.h"
#include "engine/fat/fat_geometry.h"
#include "engine/fat/fat_lost_chain.h"
#include "engine/fat/fat_recover.h"
#include "engine/fat_family_scanner.h"
#include "engine/gleaner_api.h"
#include "engine/volume_access.h"

namespace salvor::engine {

class CFat16 final : public FatFamilyScanner {
 public:
  bool OpenVolume(const char16_t* path) override;

  // Reports the entries of the folder `path` names: the root directory for
  // a drive path ("E:\"), else the folder found by looking its components
  // up from the root. False when it names no folder or cannot be read.
  bool ScanFatDisk(std::u16string_view path, ScanCallback callback, void* user) override;
  // Scans the folder starting at `cluster`, or with a name, looks the name
  // up in it and stores its first cluster in `found_cluster` (0: not found).
  bool SearchCluster(std::u16string_view parent_path, const char16_t* name, uint32_t cluster,
                     uint32_t* found_cluster, ScanCallback callback, void* user) override;
  // True when `cluster` begins with the dot pair (the record is not asked:
  // FAT16 records of the quick scan carry no folder numbers).
  bool FatDirectory(uint32_t cluster, const _FileInfoFat* record) override;
  // Sweeps the volume for old directory clusters (fat::SweepOldDirectories)
  // and reports their entries with bare names; a first cluster's "." entry
  // gives its folder number, its ".." entry its parent's.
  bool ScanFatFormatDisk(uint64_t volume_size_bytes, ScanCallback callback, void* user) override;
  // Hands the file at `first_cluster` of `size_bytes` to `job`.
  bool FatRecoverData(uint32_t first_cluster, uint64_t size_bytes, recovery::FileJob& job) override;
  std::optional<recovery::VerdictTally> JudgeFile(uint32_t first_cluster, uint64_t size_bytes) override;

  const ScannerVolume& volume() const { return volume_; }
  std::optional<fat::FatGeometry> geometry() const;

 private:
  // Passes the root region's entries to ParseEntry until the end of the
  // directory (or a match, for a lookup).
  bool ScanRootRegion(const fat::FatGeometry& geometry, const fat::EntryTarget& target, uint32_t* found_cluster);

  ScannerVolume volume_;
  // The FAT as the verdicts of this volume read it (made on the first).
  std::optional<fat::FatAllocation> allocation_;
  // The later clusters of deleted folders taken during this volume's scans.
  LostClusterClaims claims_;
};

}  // namespace salvor::engine
