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

// Maps drive letter `letter` to a volume the caller has open (a handle that
// platform::RawVolume::native_handle() gave in this process): every
// OpenVolume of that letter reads through a duplicate of it and opens
// nothing. False for no letter, or a handle that is no open volume.
bool MountVolume(char16_t letter, intptr_t native_handle);

}  // namespace salvor::engine
