// LZNT1, the compression of NTFS compressed files: one compression unit
// (16 clusters, as a rule) is stored as a series of chunks, each holding
// 4 KiB of data raw or as literals and back-references.
#pragma once

#include <cstddef>
#include <optional>

#include "common/byte_reader.h"

namespace salvor::engine::ntfs {

inline constexpr size_t kLznt1ChunkBytes = 4096;

// Decompresses `in` into `out` (which the caller zero-fills: what the data
// does not cover stays zero). Returns the bytes written, or nothing when the
// data is malformed (a back-reference before the chunk's start, a chunk
// running past its input, or more output than `out` holds).
std::optional<size_t> DecompressLznt1(Bytes in, MutableBytes out);

}  // namespace salvor::engine::ntfs
