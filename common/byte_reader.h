// Bounds-checked little-endian access to untrusted bytes.
//
// Every integer read from a volume goes through ByteReader; every offset and
// length that comes from a volume goes through slice(). A reader never throws:
// an out-of-range read yields 0 and latches the failure flag, so a whole
// structure can be decoded first and checked once with ok().
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace salvor {

using Bytes = std::span<const std::byte>;
using MutableBytes = std::span<std::byte>;

// The sub-span [offset, offset + length) of `data`, or nothing when any part
// of it lies outside `data`. Written so that offset + length cannot overflow.
inline std::optional<Bytes> slice(Bytes data, uint64_t offset, uint64_t length) {
  if (offset > data.size() || length > data.size() - offset) return std::nullopt;
  return data.subspan(static_cast<size_t>(offset), static_cast<size_t>(length));
}

class ByteReader {
 public:
  explicit ByteReader(Bytes data) : data_(data) {}

  uint8_t u8(size_t offset) { return static_cast<uint8_t>(read(offset, 1)); }
  uint16_t u16(size_t offset) { return static_cast<uint16_t>(read(offset, 2)); }
  uint32_t u32(size_t offset) { return static_cast<uint32_t>(read(offset, 4)); }
  uint64_t u64(size_t offset) { return read(offset, 8); }

  // True while every read so far was inside the data.
  bool ok() const { return ok_; }
  Bytes data() const { return data_; }
  size_t size() const { return data_.size(); }

 private:
  uint64_t read(size_t offset, size_t width) {
    if (offset > data_.size() || width > data_.size() - offset) {
      ok_ = false;
      return 0;
    }
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) {
      value |= static_cast<uint64_t>(std::to_integer<uint8_t>(data_[offset + i])) << (8 * i);
    }
    return value;
  }

  Bytes data_;
  bool ok_ = true;
};

// Convenience for one-off reads where a failure can only mean a caller bug
// (the span was sized by the caller); returns 0 when out of range.
inline uint32_t read_u32_le(Bytes data, size_t offset) { return ByteReader(data).u32(offset); }
inline uint16_t read_u16_le(Bytes data, size_t offset) { return ByteReader(data).u16(offset); }

}  // namespace salvor
