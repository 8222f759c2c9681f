#include "app/core/volume_probe.h"

#include "engine/volume_access.h"
#include "platform/platform.h"

namespace salvor::app {

std::optional<VolumeFacts> ProbeVolume(const EngineBinding& engine, std::u16string_view device_path) {
  platform::RawVolume volume;
  if (!volume.open(device_path)) return std::nullopt;
  engine::BootSector boot{};
  if (!volume.read_at(0, boot)) return std::nullopt;
  const BootSectorFacts decoded = DetectFileSystem(engine, boot);
  VolumeFacts facts;
  facts.file_system = decoded.file_system;
  if (const auto size = volume.size_bytes()) facts.size_bytes = *size;
  if (facts.size_bytes == 0) facts.size_bytes = decoded.size_bytes;
  return facts;
}

}  // namespace salvor::app
