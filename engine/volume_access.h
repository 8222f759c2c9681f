// Raw volume access shared by every scanner: the volume a drive path names
// (or the image mounted under its letter), opened read-only, and the copy of
// its first 512 bytes that each scanner keeps.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace salvor::engine {

inline constexpr size_t kBootSectorBytes = 512;
using BootSector = std::array<std::byte, kBootSectorBytes>;

struct ScannerVolume {
  platform::RawVolume device;
  BootSector boot{};
};

// Opens the volume that `path` names ("E:" plus anything) into `volume` and
// reads its boot sector: the volume mounted under its letter, else the
// device or image path VolumeDevicePath gives. Both the handle and the boot copy are replaced, also
// on failure (zeros where nothing was read). True only when the open and the
// read succeeded.
bool OpenVolume(const char16_t* path, ScannerVolume& volume);

// The device or image path that OpenVolume opens for `path`: the image
// mounted under its drive letter, else "\\.\" plus its first two characters.
std::u16string VolumeDevicePath(std::u16string_view path);

// The folder names of a drive path below its drive ("E:\A\\B\" gives A
// and B): empty components are skipped and the first one, the drive, too.
// Nothing for a path longer than the 259 characters a drive path can have.
std::optional<std::vector<std::u16string_view>> FolderComponents(std::u16string_view path);

// Maps drive letter `letter` (either case) to an image file or block device,
// opened by each OpenVolume of that letter; an empty path removes the
// mapping. False for a character that is no letter.
bool MountImage(char16_t letter, std::u16string_view image_path);
// The same for the `length_bytes` bytes at `offset_bytes` of the image (a
// partition of a disk image or of a whole disk): the scanners see that
// range as the whole volume. Nothing for the length: to the image's end.
bool MountImageRange(char16_t letter, std::u16string_view image_path, uint64_t offset_bytes,
                     std::optional<uint64_t> length_bytes);

// Where the running unformat sweep stands: the sweeps call
// ReportSweepPosition after each window they read, which tells the callback
// set last (none: nothing is told). The engine runs on one thread at a time.
void SetSweepProgress(uint32_t (*callback)(uint64_t bytes_swept, uint64_t bytes_total, void* user), void* user);
void ReportSweepPosition(uint64_t bytes_swept, uint64_t bytes_total);

// Maps drive letter `letter` to a volume the caller has open (a handle that
// platform::RawVolume::native_handle() gave in this process): every
// OpenVolume of that letter reads through a duplicate of it and opens
// nothing; with a range, only the `length_bytes` bytes at `offset_bytes` of
// it (nothing for the length: to its end), as MountImageRange. False for no
// letter, a handle that is no open volume, or a range outside it.
bool MountVolume(char16_t letter, intptr_t native_handle, uint64_t offset_bytes = 0,
                 std::optional<uint64_t> length_bytes = std::nullopt);

}  // namespace salvor::engine
