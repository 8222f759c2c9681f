#include "app/core/volume_probe.h"

#include "engine/gleaner_api.h"
#include "engine/volume_access.h"
#include "platform/platform.h"

namespace salvor::app {

uint64_t BootSectorSizeBytes(Bytes boot, const std::optional<FileSystemInfo>& file_system) {
  ByteReader reader(boot);
  const uint64_t sector_bytes = reader.u16(11);
  if (file_system && file_system->kind == kVolumeNtfs) {
    // The backup boot sector after the counted sectors is not included.
    const uint64_t sectors = reader.u64(0x28);
    return reader.ok() && sectors <= UINT64_MAX / 4096 ? sectors * sector_bytes : 0;
  }
  const uint64_t total16 = reader.u16(19);
  const uint64_t total = total16 != 0 ? total16 : reader.u32(32);
  return reader.ok() ? total * sector_bytes : 0;
}

std::optional<VolumeFacts> ProbeVolume(std::u16string_view device_path) {
  platform::RawVolume volume;
  if (!volume.open(device_path)) return std::nullopt;
  engine::BootSector boot{};
  if (!volume.read_at(0, boot)) return std::nullopt;
  VolumeFacts facts;
  facts.file_system = DetectFileSystem(boot);
  if (const auto size = volume.size_bytes()) facts.size_bytes = *size;
  if (facts.size_bytes == 0) facts.size_bytes = BootSectorSizeBytes(boot, facts.file_system);
  return facts;
}

}  // namespace salvor::app
