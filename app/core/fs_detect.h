// Recognising a volume's file system from its boot sector.
#pragma once

#include <optional>
#include <string>

#include "common/byte_reader.h"

namespace salvor::app {

enum class FileSystem { kFat16, kFat32, kExFat, kNtfs };

struct FileSystemInfo {
  FileSystem type;
  int kind;               // the engine's VolumeKind
  const char16_t* name;   // as Windows reports it, upper-cased: "FAT", "FAT32", "EXFAT", "NTFS"
};

// Recognises FAT12/16 (reported as "FAT"), FAT32, exFAT and NTFS from the
// first 512 bytes of a volume; nothing for anything else.
std::optional<FileSystemInfo> DetectFileSystem(Bytes boot_sector);

// Parses a file-system name as the user types it ("fat32", "FAT", "exfat",
// "ntfs", "fat16").
std::optional<FileSystemInfo> FileSystemByName(std::u16string_view name);

}  // namespace salvor::app
