// CRC-32 as the GPT uses it (IEEE 802.3: reflected polynomial 0xEDB88320,
// initial value and final XOR 0xFFFFFFFF).
#pragma once

#include <cstdint>

#include "common/byte_reader.h"

namespace salvor::engine::volsys {

// The CRC of `data`; `crc` continues one computed over earlier bytes.
uint32_t Crc32(Bytes data, uint32_t crc = 0);

}  // namespace salvor::engine::volsys
