// libFuzzer harness for the volume-system parsers: the MBR with its chain
// of extended boot records, the GPT (both headers, CRCs, entry arrays), the
// boot-sector probes of every partition and the lost-partition search with
// its geometry checks. Each input is a disk of 2 MiB on which the input's
// bytes repeat, so sector numbers anywhere on the disk meet fuzzed bytes and
// the last sector (the backup GPT header) is the input's last.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "engine/volsys/partition_search.h"
#include "engine/volsys/partition_table.h"

namespace {

using namespace salvor::engine::volsys;

constexpr uint64_t kDiskBytes = 2u << 20;

class RepeatingDisk final : public DiskReader {
 public:
  RepeatingDisk(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t size_bytes() const override { return kDiskBytes; }
  bool read_at(uint64_t offset, salvor::MutableBytes out) const override {
    if (offset > kDiskBytes || out.size() > kDiskBytes - offset) return false;
    for (size_t i = 0; i < out.size();) {
      const size_t from = static_cast<size_t>((offset + i) % size_);
      const size_t run = std::min(out.size() - i, size_ - from);
      std::copy_n(reinterpret_cast<const std::byte*>(data_) + from, run, out.data() + i);
      i += run;
    }
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 512) return 0;
  const RepeatingDisk disk(data, size);
  VolumeSystem system = ReadVolumeSystem(disk);
  for (const Partition& p : system.partitions) {
    if (p.start_bytes > disk.size_bytes() || p.length_bytes > disk.size_bytes() - p.start_bytes) __builtin_trap();
  }
  AddSearchResults(system, SearchPartitions(disk, SearchDepth::kAligned));
  return 0;
}
