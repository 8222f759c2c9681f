#include "engine/ntfs/ntfs_lznt1.h"

#include <algorithm>

namespace salvor::engine::ntfs {

std::optional<size_t> DecompressLznt1(Bytes in, MutableBytes out) {
  size_t at = 0;
  size_t written = 0;
  // Every chunk consumes at least its 2-byte header, so the input bounds it.
  while (at + 2 <= in.size()) {
    const uint16_t header = ByteReader(in).u16(at);
    if (header == 0) break;  // end of the unit's data
    const size_t size = (header & 0x0FFF) + 1u;
    const bool compressed = (header & 0x8000) != 0;
    at += 2;
    auto chunk = slice(in, at, size);
    if (!chunk) return std::nullopt;
    at += size;
    if (written >= out.size()) return std::nullopt;  // more chunks than the unit holds
    const size_t chunk_start = written;
    const size_t chunk_end = std::min(out.size(), chunk_start + kLznt1ChunkBytes);
    if (!compressed) {
      if (size > chunk_end - chunk_start) return std::nullopt;
      std::copy(chunk->begin(), chunk->end(), out.begin() + static_cast<ptrdiff_t>(written));
      written += size;
    } else {
      size_t c = 0;
      while (c < chunk->size()) {
        const uint8_t flags = std::to_integer<uint8_t>((*chunk)[c++]);
        for (int bit = 0; bit < 8 && c < chunk->size(); ++bit) {
          if (!(flags & (1u << bit))) {
            if (written >= chunk_end) return std::nullopt;
            out[written++] = (*chunk)[c++];
            continue;
          }
          if (c + 2 > chunk->size()) return std::nullopt;
          const uint16_t token = ByteReader(*chunk).u16(c);
          c += 2;
          const size_t position = written - chunk_start;
          if (position == 0) return std::nullopt;
          // The split between offset and length bits moves as the chunk fills.
          uint32_t length_mask = 0x0FFF;
          uint32_t offset_shift = 12;
          for (size_t i = position - 1; i >= 0x10; i >>= 1) {
            length_mask >>= 1;
            --offset_shift;
          }
          const size_t offset = (token >> offset_shift) + 1u;
          const size_t length = (token & length_mask) + 3u;
          if (offset > position || length > chunk_end - written) return std::nullopt;
          for (size_t k = 0; k < length; ++k, ++written) out[written] = out[written - offset];
        }
      }
    }
    // A chunk stands for 4 KiB; one that decompressed to less leaves zeros.
    written = std::max(written, std::min(chunk_end, chunk_start + kLznt1ChunkBytes));
    if (chunk_end < chunk_start + kLznt1ChunkBytes) break;
  }
  return written;
}

}  // namespace salvor::engine::ntfs
