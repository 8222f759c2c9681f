// What a volume's first sector says about it: the file system and, when the
// OS does not know it, the size. The program lists drives and opened images
// with this; salvor-cli prepares its sources with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "app/core/fs_detect.h"

namespace salvor::app {

struct VolumeFacts {
  std::optional<FileSystemInfo> file_system;  // none: not one of the four
  // The OS's size of the device or file, else the boot sector's (0 when
  // neither knows).
  uint64_t size_bytes = 0;
};

// Opens `device_path` read-only ("\\.\E:", an image file, a block device)
// and reads its boot sector, which the engine decodes. Nothing when it
// cannot be opened or is shorter than one sector.
std::optional<VolumeFacts> ProbeVolume(const EngineBinding& engine, std::u16string_view device_path);

}  // namespace salvor::app
