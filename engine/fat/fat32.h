// CFat32: the FAT32 scanner. Quick scan of one folder at a time (the caller
// descends into subfolders itself) and the directory-cluster test.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/fat/fat_geometry.h"
#include "engine/gleaner_api.h"
#include "engine/volume_access.h"

namespace salvor::engine {

class CFat32 {
 public:
  virtual ~CFat32() = default;

  bool OpenVolume(const char16_t* path) { return engine::OpenVolume(path, volume_); }

  // Reports the entries of the folder that `path` names ("E:\", "E:\A\B").
  // False when the path names no folder or the volume cannot be read.
  bool ScanFatDisk(std::u16string_view path, ScanCallback callback, void* user);
  // Scans the folder starting at `cluster`, or with a name, looks the name
  // up in it and stores its first cluster in `found_cluster` (0: not found).
  bool SearchCluster(std::u16string_view parent_path, const char16_t* name, uint32_t cluster,
                     uint32_t* found_cluster, ScanCallback callback, void* user);
  // True when `cluster` begins with the dot pair and, with a record, its ".."
  // entry names the record's folder.
  bool FatDirectory(uint32_t cluster, const _FileInfoFat* record);
  // First cluster of the folder `path` names, or 0.
  uint32_t LocateFolder(std::u16string_view path);

  const ScannerVolume& volume() const { return volume_; }
  std::optional<fat::FatGeometry> geometry() const;

 private:
  ScannerVolume volume_;
};

}  // namespace salvor::engine
