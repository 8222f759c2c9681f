#include "engine/volsys/crc32.h"

#include <array>

namespace salvor::engine::volsys {
namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    table[i] = value;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

uint32_t Crc32(Bytes data, uint32_t crc) {
  crc = ~crc;
  for (const std::byte b : data) crc = kTable[(crc ^ std::to_integer<uint8_t>(b)) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

}  // namespace salvor::engine::volsys
