// Which file system a volume's boot sector starts, decoded by the engine's
// own geometry parsers, and whether the rest of the volume agrees with it
// (the FAT or the $MFT where the boot sector puts it). Used for every
// partition a table lists and for every boot sector the lost-partition
// search meets.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/byte_reader.h"
#include "engine/volsys/disk_reader.h"

namespace salvor::engine::volsys {

enum class FileSystemType {
  kBlank,    // the first sector is all zeros
  kUnknown,  // something no parser here recognises
  kFat12,    // recognised, but not scanned
  kFat16,
  kFat32,
  kExFat,
  kNtfs,
};

struct DetectedFileSystem {
  FileSystemType type = FileSystemType::kUnknown;
  int kind = 0;                   // the engine's VolumeKind (16, 32, 88, 99); 0 when not scannable
  uint32_t bytes_per_sector = 0;  // as the boot sector says
  // The volume's extent as its boot sector gives it (NTFS: with the backup
  // boot sector after the counted sectors); 0 when not known.
  uint64_t volume_size_bytes = 0;

  bool scannable() const { return kind != 0; }
};

// Decodes the first sector of a volume (512 bytes or more); pure.
DetectedFileSystem ProbeBootSector(Bytes boot_sector);

// The name shown for a file system: "FAT32", "FAT" (FAT16), "FAT12",
// "EXFAT", "NTFS", and "blank" or "unknown".
std::u16string_view FileSystemName(FileSystemType type);

// True when what the boot sector at `volume_start` describes is there: the
// volume fits the disk, and its first FAT starts with the media and
// end-of-chain values (FAT12/16/32, exFAT) or its $MFT starts with a FILE
// record (NTFS). Reads one sector or one record.
bool GeometryConsistent(const DiskReader& disk, uint64_t volume_start, Bytes boot_sector,
                        const DetectedFileSystem& detected);

}  // namespace salvor::engine::volsys
