// Recognising a volume's file system from its boot sector.
#pragma once

#include <optional>
#include <string>

#include "app/core/engine_binding.h"
#include "common/byte_reader.h"

namespace salvor::app {

enum class FileSystem { kFat16, kFat32, kExFat, kNtfs };

struct FileSystemInfo {
  FileSystem type;
  int kind;               // the engine's VolumeKind
  const char16_t* name;   // as Windows reports it, upper-cased: "FAT", "FAT32", "EXFAT", "NTFS"
};

// What the engine's parsers make of a volume's first sector (512 bytes or
// more): FAT16 (reported as "FAT"), FAT32, exFAT or NTFS, and the volume's
// size as the boot sector gives it (0 when not known); nothing for any
// other sector, or when the engine cannot tell.
struct BootSectorFacts {
  std::optional<FileSystemInfo> file_system;
  uint64_t size_bytes = 0;
};
BootSectorFacts DetectFileSystem(const EngineBinding& engine, Bytes boot_sector);

// The file system of an engine VolumeKind; nothing for another number.
std::optional<FileSystemInfo> FileSystemOfKind(int kind);

// Parses a file-system name as the user types it ("fat32", "FAT", "exfat",
// "ntfs", "fat16").
std::optional<FileSystemInfo> FileSystemByName(std::u16string_view name);

}  // namespace salvor::app
