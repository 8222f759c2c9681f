#include "engine/volsys/disk_reader.h"

#include <algorithm>

namespace salvor::engine::volsys {

bool MemoryDisk::read_at(uint64_t offset, MutableBytes out) const {
  const auto range = slice(data_, offset, out.size());
  if (!range) return false;
  std::copy(range->begin(), range->end(), out.begin());
  return true;
}

bool VolumeDisk::read_at(uint64_t offset, MutableBytes out) const {
  if (offset > size_ || out.size() > size_ - offset) return false;
  return volume_.read_at(offset, out);
}

}  // namespace salvor::engine::volsys
