#include "engine/recovery/verdict.h"

#include <algorithm>
#include <bit>

namespace salvor::engine::recovery {

void VerdictTally::add_run(uint64_t count, uint64_t claimed, bool first_claimed) {
  if (count == 0) return;
  if (clusters_ == 0) first_claimed_ = first_claimed;
  clusters_ += count;
  claimed_ += std::min(claimed, count);
}

uint32_t VerdictTally::verdict() const {
  if (claimed_ == 0) return kVerdictIntact;
  if (first_claimed_ || claimed_ == clusters_) return kVerdictOverwritten;
  return kVerdictPartlyOverwritten;
}

uint64_t CountSetBits(Bytes bits, uint64_t first, uint64_t count) {
  const uint64_t total_bits = static_cast<uint64_t>(bits.size()) * 8;
  if (first >= total_bits) return 0;
  const uint64_t end = first + std::min(count, total_bits - first);
  uint64_t set = 0;
  uint64_t bit = first;
  // Ragged head and tail bit by bit, whole bytes between eight at a time.
  while (bit < end && bit % 8 != 0) {
    set += (std::to_integer<uint8_t>(bits[static_cast<size_t>(bit / 8)]) >> (bit % 8)) & 1;
    ++bit;
  }
  while (end - bit >= 8) {
    set += static_cast<uint64_t>(std::popcount(std::to_integer<uint8_t>(bits[static_cast<size_t>(bit / 8)])));
    bit += 8;
  }
  while (bit < end) {
    set += (std::to_integer<uint8_t>(bits[static_cast<size_t>(bit / 8)]) >> (bit % 8)) & 1;
    ++bit;
  }
  return set;
}

std::optional<Bytes> BlockCache::block(uint64_t offset, uint64_t& block_start) {
  if (offset >= table_bytes_) return std::nullopt;
  const uint64_t start = offset - offset % kBlockBytes;
  block_start = start;
  for (const Block& held : blocks_) {
    if (held.start == start && !held.bytes.empty()) return Bytes(held.bytes);
  }
  Block* slot = nullptr;
  if (blocks_.size() < kMaxBlocks) {
    slot = &blocks_.emplace_back();
  } else {
    slot = &blocks_[next_victim_];
    next_victim_ = (next_victim_ + 1) % kMaxBlocks;
  }
  slot->start = start;
  slot->bytes.assign(static_cast<size_t>(std::min(kBlockBytes, table_bytes_ - start)), std::byte{0});
  if (!read_(start, slot->bytes)) {
    slot->bytes.clear();
    return std::nullopt;
  }
  return Bytes(slot->bytes);
}

std::optional<uint64_t> CountSetBits(BlockCache& bitmap, uint64_t first, uint64_t count) {
  const uint64_t total_bits = bitmap.table_bytes() * 8;
  if (first >= total_bits) return 0;
  count = std::min(count, total_bits - first);
  uint64_t set = 0;
  // One block at a time; at most count / (8 * kBlockBytes) + 2 blocks.
  while (count > 0) {
    uint64_t block_start = 0;
    const auto block = bitmap.block(first / 8, block_start);
    if (!block) return std::nullopt;
    const uint64_t bit_in_block = first - block_start * 8;
    const uint64_t bits_here = std::min(count, static_cast<uint64_t>(block->size()) * 8 - bit_in_block);
    if (bits_here == 0) return std::nullopt;  // an empty block: the table is shorter than it said
    set += CountSetBits(*block, bit_in_block, bits_here);
    first += bits_here;
    count -= bits_here;
  }
  return set;
}

}  // namespace salvor::engine::recovery
