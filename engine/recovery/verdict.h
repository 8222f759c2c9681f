// Recoverability verdicts: before a byte is copied, how much of what a
// recovery would read still belongs to nobody else, judged from the file
// system's own allocation data (the FAT, the exFAT allocation bitmap, the
// NTFS $Bitmap).
//
// A file system hands the clusters its recovery would read, run by run in
// file order, to a VerdictTally together with how many of each run are
// claimed now (allocated to a present file, a folder or the file system
// itself). "Intact": none is claimed. "Overwritten": the first cluster, or
// every one, is claimed. "Partly overwritten": some are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "common/byte_reader.h"
#include "engine/gleaner_api.h"

namespace salvor::engine::recovery {

class VerdictTally {
 public:
  // `count` clusters read next, `claimed` of them taken now, the run's first
  // one among them when `first_claimed`.
  void add_run(uint64_t count, uint64_t claimed, bool first_claimed);
  // A file with nothing to read from the volume (empty, or its data held in
  // its own record) is intact.
  uint32_t verdict() const;
  uint64_t clusters() const { return clusters_; }

 private:
  uint64_t clusters_ = 0;
  uint64_t claimed_ = 0;
  bool first_claimed_ = false;
};

// Set bits among `count` bits from bit `first` of `bits` (bit 0 is the low
// bit of byte 0); bits past the end count as clear.
uint64_t CountSetBits(Bytes bits, uint64_t first, uint64_t count);

// A large on-disk table (a FAT, an allocation bitmap) read in 64 KiB blocks
// on demand, keeping the last kMaxBlocks of them: a whole pass of verdicts
// over a scan's files reads each block about once, in memory bounded
// whatever the volume's size.
class BlockCache {
 public:
  static constexpr uint64_t kBlockBytes = 64 * 1024;
  static constexpr size_t kMaxBlocks = 64;
  // Fills the bytes at an offset of the table; false when it cannot.
  using Read = std::function<bool(uint64_t offset, MutableBytes out)>;

  BlockCache(uint64_t table_bytes, Read read) : table_bytes_(table_bytes), read_(std::move(read)) {}
  // The block holding byte `offset`, from the block's start; nothing past the
  // table's end or when the read fails.
  std::optional<Bytes> block(uint64_t offset, uint64_t& block_start);
  uint64_t table_bytes() const { return table_bytes_; }

 private:
  struct Block {
    uint64_t start = 0;
    std::vector<std::byte> bytes;
  };
  uint64_t table_bytes_;
  Read read_;
  std::vector<Block> blocks_;
  size_t next_victim_ = 0;
};

// Set bits of a bitmap kept in a BlockCache, as CountSetBits.
std::optional<uint64_t> CountSetBits(BlockCache& bitmap, uint64_t first, uint64_t count);

}  // namespace salvor::engine::recovery
