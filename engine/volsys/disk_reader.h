// The reads a volume-system parser makes of a disk: whole ranges at absolute
// byte offsets and the disk's size. The parsers only see this interface, so
// they run over an open device or image and, in tests and fuzzing, over
// bytes in memory.
#pragma once

#include <cstdint>

#include "common/byte_reader.h"
#include "platform/platform.h"

namespace salvor::engine::volsys {

class DiskReader {
 public:
  virtual ~DiskReader() = default;
  // Size of the disk in bytes.
  virtual uint64_t size_bytes() const = 0;
  // Reads exactly out.size() bytes at `offset`; false when any of them lies
  // past the end or cannot be read.
  virtual bool read_at(uint64_t offset, MutableBytes out) const = 0;
};

// Bytes in memory as a disk.
class MemoryDisk final : public DiskReader {
 public:
  explicit MemoryDisk(Bytes data) : data_(data) {}
  uint64_t size_bytes() const override { return data_.size(); }
  bool read_at(uint64_t offset, MutableBytes out) const override;

 private:
  Bytes data_;
};

// An open device or image as a disk of `size_bytes` bytes.
class VolumeDisk final : public DiskReader {
 public:
  VolumeDisk(const platform::RawVolume& volume, uint64_t size_bytes) : volume_(volume), size_(size_bytes) {}
  uint64_t size_bytes() const override { return size_; }
  bool read_at(uint64_t offset, MutableBytes out) const override;

 private:
  const platform::RawVolume& volume_;
  uint64_t size_;
};

}  // namespace salvor::engine::volsys
