// Disk images that are more than their bytes: forensic (E01/EWF), virtual
// disks (VHD, VHDX, VMDK) and raw images split into numbered pieces
// (disk.001, disk.002, ...). Each is recognised by its signature (a split
// image by its name) and read through its format library as the disk it
// holds, so RawVolume's readers see plain disk bytes. Internal to the
// platform layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/platform.h"

namespace salvor::platform {

class DiskImageReader {
 public:
  virtual ~DiskImageReader() = default;
  // Up to buffer.size() bytes of the disk at `offset`; fewer at the disk's
  // end, nothing on a read error.
  virtual std::optional<size_t> read_some_at(uint64_t offset, std::span<std::byte> buffer) const = 0;
  virtual uint64_t size_bytes() const = 0;
};

// What the file open as `fd` (named `path`) holds: nothing with `error`
// empty for a raw image or a device; nothing with `error` set when it is an
// image of a known format that cannot be read (in words for the user); else
// the reader of the disk inside it.
std::unique_ptr<DiskImageReader> OpenDiskImage(int fd, const std::string& path, std::u16string& error);

}  // namespace salvor::platform
