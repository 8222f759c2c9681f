// FatFamilyScanner: what the engine asks of a FAT16, FAT32 or exFAT scanner.
// The engine object holds one scanner per kind and forwards every
// FAT-family export to the one of the kind last initialised.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/gleaner_api.h"
#include "engine/recovery/recovery_writer.h"
#include "engine/recovery/verdict.h"

namespace salvor::engine {

class FatFamilyScanner {
 public:
  virtual ~FatFamilyScanner() = default;

  virtual bool OpenVolume(const char16_t* path) = 0;
  // Reports the entries of the folder `path` names ("E:\", "E:\A\B"). False
  // when it names no folder or the volume cannot be read.
  virtual bool ScanFatDisk(std::u16string_view path, ScanCallback callback, void* user) = 0;
  // Scans the folder starting at `cluster`, or with a name, looks the name
  // up in it and stores its first cluster in `found_cluster` (0: not found).
  virtual bool SearchCluster(std::u16string_view parent_path, const char16_t* name, uint32_t cluster,
                             uint32_t* found_cluster, ScanCallback callback, void* user) = 0;
  // True when `cluster` holds a folder's first directory cluster (and, where
  // the kind can tell, one of the record's folder). exFAT folders carry no
  // dot pair, so its scanner cannot tell.
  virtual bool FatDirectory(uint32_t /*cluster*/, const _FileInfoFat* /*record*/) { return false; }
  // Sweeps the first `volume_size_bytes` of the volume for the directory
  // data of a file system that was formatted over.
  virtual bool ScanFatFormatDisk(uint64_t volume_size_bytes, ScanCallback callback, void* user) = 0;
  // Hands the file at `first_cluster` of `size_bytes` to `job`.
  virtual bool FatRecoverData(uint32_t first_cluster, uint64_t size_bytes, recovery::FileJob& job) = 0;
  // The clusters FatRecoverData would read for a deleted (or formatted
  // over) file, against what the file system allocates now; nothing when it
  // cannot tell.
  virtual std::optional<recovery::VerdictTally> JudgeFile(uint32_t first_cluster, uint64_t size_bytes) = 0;
};

}  // namespace salvor::engine
