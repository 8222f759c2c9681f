#include "engine/exfat/exfat.h"

#include "common/byte_reader.h"

namespace salvor::engine {

bool CExFat::OpenVolume(const char16_t* path) {
  const bool opened = engine::OpenVolume(path, volume_);
  // Offsets 108 and 109 of the exFAT boot sector hold the two sizes as
  // powers of two; shifts outside the format's range leave them 0.
  ByteReader reader(volume_.boot);
  const uint32_t sector_shift = reader.u8(108);
  const uint32_t cluster_shift = reader.u8(109);
  const bool sane = sector_shift >= 9 && sector_shift <= 12 && cluster_shift <= 25 - sector_shift;
  bytes_per_sector_ = sane ? 1u << sector_shift : 0;
  sectors_per_cluster_ = sane ? 1u << cluster_shift : 0;
  return opened;
}

}  // namespace salvor::engine
