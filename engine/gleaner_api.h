// The Gleaner engine's binary interface: the record of a found FAT-family
// entry, the callback contracts and the exported functions.
//
// The program binds the exports by name at run time (dlsym/GetProcAddress);
// the *Fn typedefs below are the types it binds them to. Every export works
// on the one engine object of the library and returns false on any failure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/rc_wstring.h"

#if defined(_WIN32)
#define GLEANER_EXPORT extern "C" __declspec(dllexport)
#else
#define GLEANER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace salvor {

// File-system kinds shared by program and engine.
enum VolumeKind : int32_t {
  kVolumeFat16 = 16,
  kVolumeFat32 = 32,
  kVolumeExFat = 88,
  kVolumeNtfs = 99,
};

inline constexpr uint32_t kDeleted = 1;
inline constexpr uint32_t kPresent = 2;
inline constexpr uint32_t kEntryFolder = 1;
inline constexpr uint32_t kEntryFile = 2;

}  // namespace salvor

// One found FAT16, FAT32 or exFAT entry, handed to the scan callback by value.
// Byte-packed; the field order and widths are fixed.
#pragma pack(push, 1)
struct _FileInfoFat {
  uint32_t ParentFolder = 0;  // folder number of the holding folder's parent (0: root or unknown)
  uint32_t Folder = 0;        // folder number of the holding folder (0: root or unknown)
  uint32_t FirstCluster = 0;
  uint32_t DeleteState = 0;  // 1 deleted, 2 present
  uint32_t EntryType = 0;    // 1 folder, 2 file
  uint32_t Attributes = 0;
  uint32_t Reserved = 0;
  uint64_t FileSize = 0;
  uint8_t Second = 0;  // 0..58, even
  uint8_t Minute = 0;
  uint8_t Hour = 0;
  uint8_t Day = 0;
  uint8_t Month = 0;
  uint16_t Year = 0;  // full year
  salvor::RcWString FullPath;
};
#pragma pack(pop)

static_assert(offsetof(_FileInfoFat, FileSize) == 28);
static_assert(offsetof(_FileInfoFat, Second) == 36);
static_assert(offsetof(_FileInfoFat, Year) == 41);
static_assert(offsetof(_FileInfoFat, FullPath) == 43);
static_assert(sizeof(_FileInfoFat) == 43 + sizeof(void*));

// Results of both callbacks are ignored by the engine.
using ScanCallback = uint32_t (*)(_FileInfoFat record, void* user);
using ProgressCallback = uint32_t (*)(uint64_t bytes_left, void* user);

using InitReEngineFn = bool (*)(int kind, const char16_t* path);
using ReScanFatDiskFn = bool (*)(ScanCallback callback, void* user, int kind, const char16_t* path);
using ReFatDirectoryFn = bool (*)(uint32_t cluster, _FileInfoFat* record);
using ReSearchClusterFn = bool (*)(salvor::RcWString parent_path, const char16_t* name, uint32_t cluster,
                                   uint32_t* found_cluster, ScanCallback callback, void* user);
using ReInitFatExFn = bool (*)(const char16_t* path);
using ReScanFatFormatDiskFn = bool (*)(uint64_t volume_size_bytes, ScanCallback callback, void* user);
using ReIsDirectory32Fn = bool (*)(uint64_t volume_size_bytes, _FileInfoFat* record, ScanCallback callback,
                                   void* user);
using ReFatRecoverDataFn = bool (*)(const char16_t* output_path, uint32_t first_cluster, uint32_t size_bytes,
                                    ProgressCallback progress, void* user);
using ReFatRecoverData64Fn = bool (*)(const char16_t* output_path, uint32_t first_cluster, uint64_t size_bytes,
                                      ProgressCallback progress, void* user);
using ReMountImageFn = bool (*)(char16_t letter, const char16_t* image_path);

GLEANER_EXPORT bool InitReEngine(int kind, const char16_t* path);
GLEANER_EXPORT bool ReScanFatDisk(ScanCallback callback, void* user, int kind, const char16_t* path);
GLEANER_EXPORT bool ReFatDirectory(uint32_t cluster, _FileInfoFat* record);
GLEANER_EXPORT bool ReSearchCluster(salvor::RcWString parent_path, const char16_t* name, uint32_t cluster,
                                    uint32_t* found_cluster, ScanCallback callback, void* user);
GLEANER_EXPORT bool ReInitFatEx(const char16_t* path);
// Sweeps the whole volume for the directory clusters of a file system that
// was formatted over; records carry bare names and folder numbers.
GLEANER_EXPORT bool ReScanFatFormatDisk(uint64_t volume_size_bytes, ScanCallback callback, void* user);
// FAT32: finds the directory of a deleted folder whose first cluster lost its
// high half, and reports its entries.
GLEANER_EXPORT bool ReIsDirectory32(uint64_t volume_size_bytes, _FileInfoFat* record, ScanCallback callback,
                                    void* user);
// Writes one found file to a new file at `output_path` (an existing file is
// replaced). ReFatRecoverData64 takes the size in 64 bits (exFAT files of
// 4 GiB and more); otherwise the two are the same.
GLEANER_EXPORT bool ReFatRecoverData(const char16_t* output_path, uint32_t first_cluster, uint32_t size_bytes,
                                     ProgressCallback progress, void* user);
GLEANER_EXPORT bool ReFatRecoverData64(const char16_t* output_path, uint32_t first_cluster, uint64_t size_bytes,
                                       ProgressCallback progress, void* user);

// Makes drive letter `letter` name an image file or block device inside the
// engine: a later InitReEngine for "X:..." opens `image_path` instead of the
// drive. A null or empty path removes the mapping.
GLEANER_EXPORT bool ReMountImage(char16_t letter, const char16_t* image_path);

namespace salvor {
class IComponent;
}
GLEANER_EXPORT int GetVantorComponentPtr(void* reserved, salvor::IComponent* manager);
