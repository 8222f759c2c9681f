// Geometry of an exFAT volume decoded from its boot sector, and the reads
// that follow from it: FAT entries (with a small cache per walk), cluster
// chains, and the allocation bitmap.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "common/byte_reader.h"
#include "engine/exfat/exfat_layout.h"
#include "platform/platform.h"

namespace salvor::engine::exfat {

// A zero-filled byte buffer whose allocation failure is a value, not an
// exception: cluster buffers reach 32 MiB and bitmaps more.
class ByteBuffer {
 public:
  bool allocate(size_t size) {
    data_.reset(new (std::nothrow) std::byte[size]());
    size_ = data_ ? size : 0;
    return data_ != nullptr || size == 0;
  }
  MutableBytes bytes() const { return {data_.get(), size_}; }
  size_t size() const { return size_; }

 private:
  std::unique_ptr<std::byte[]> data_;
  size_t size_ = 0;
};

struct ExFatGeometry {
  uint32_t bytes_per_sector = 0;
  uint32_t sectors_per_cluster = 0;
  uint32_t cluster_size_bytes = 0;
  uint64_t fat_offset_bytes = 0;   // first FAT
  uint64_t fat_length_bytes = 0;   // one FAT
  uint64_t heap_offset_bytes = 0;  // start of cluster 2
  uint32_t heap_offset_sectors = 0;
  // Clusters of the heap that the arithmetic may touch: the boot sector's
  // count, cut to what the FAT can describe and, when the size of the
  // device is known, to what fits on it. Bounds every chain walk.
  uint32_t cluster_count = 0;
  uint32_t root_cluster = 0;

  // Decodes the boot sector. Nothing when a value would make the derived
  // geometry divide by zero, overflow or leave no cluster: bytes-per-sector
  // shift outside 9..12, clusters over 32 MiB, a FAT or heap at sector 0, an
  // empty FAT or heap. The file-system name is not checked: the caller's
  // kind decides. `device_size_bytes` (when known) trims the cluster count.
  static std::optional<ExFatGeometry> parse(Bytes boot_sector, std::optional<uint64_t> device_size_bytes = {});

  bool is_data_cluster(uint32_t cluster) const { return cluster >= 2 && cluster - 2 < cluster_count; }
  uint64_t cluster_offset_bytes(uint32_t cluster) const {
    return heap_offset_bytes + static_cast<uint64_t>(cluster - 2) * cluster_size_bytes;
  }
  // First byte after the last cluster.
  uint64_t heap_end_bytes() const {
    return cluster_offset_bytes(2) + static_cast<uint64_t>(cluster_count) * cluster_size_bytes;
  }
  // The most bytes a file that starts at `first_cluster` can hold: the
  // clusters from there to the heap's end (0 for no data cluster). A
  // recorded size beyond it is damage, and no recovery writes more.
  uint64_t max_file_bytes_from(uint32_t first_cluster) const {
    if (!is_data_cluster(first_cluster)) return 0;
    return static_cast<uint64_t>(cluster_count - (first_cluster - 2)) * cluster_size_bytes;
  }
  // Clusters needed for `bytes` of data (rounded up).
  uint64_t clusters_for(uint64_t bytes) const {
    return bytes / cluster_size_bytes + (bytes % cluster_size_bytes != 0 ? 1 : 0);
  }
};

// Reads FAT entries through a cache of one aligned block of the FAT, so that
// walking a long chain costs one read per 16384 entries, not one per cluster.
// One reader per walk: it keeps no state worth sharing between calls.
class FatReader {
 public:
  FatReader(const platform::RawVolume& volume, const ExFatGeometry& geometry) : volume_(volume), geometry_(geometry) {}

  // The FAT entry of `cluster`; nothing on a failed read or a cluster past
  // the FAT.
  std::optional<uint32_t> entry(uint32_t cluster);

 private:
  static constexpr uint64_t kBlockBytes = 64 * 1024;
  const platform::RawVolume& volume_;
  const ExFatGeometry& geometry_;
  std::vector<std::byte> block_;
  uint64_t block_start_ = UINT64_MAX;  // byte offset into the FAT
};

// True for a FAT value that continues a chain on this volume.
inline bool IsNextCluster(const ExFatGeometry& geometry, uint32_t value) { return geometry.is_data_cluster(value); }

enum class ChainEnd {
  kEndMark,     // an end-of-chain value (0xFFFFFFF8 and more)
  kOther,       // 0, a bad-cluster mark, or a value outside the heap
  kLimit,       // `max_clusters` were visited before the chain ended
  kReadFailed,  // a FAT sector could not be read
  kStopped,     // the visitor asked to stop
};

// Follows the chain from `first_cluster`, handing each cluster to `visit`
// (which returns false to stop: kStopped), until it ends or `max_clusters`
// clusters were visited (a chain that loops can only end that way; the
// heap's cluster count bounds it too).
template <typename Visit>
ChainEnd WalkChain(const platform::RawVolume& volume, const ExFatGeometry& geometry, uint32_t first_cluster,
                   uint64_t max_clusters, Visit&& visit) {
  if (!geometry.is_data_cluster(first_cluster)) return ChainEnd::kOther;
  FatReader fat(volume, geometry);
  uint32_t cluster = first_cluster;
  const uint64_t limit = max_clusters < geometry.cluster_count ? max_clusters : geometry.cluster_count;
  for (uint64_t walked = 0; walked < limit; ++walked) {
    if (!visit(cluster)) return ChainEnd::kStopped;
    const auto next = fat.entry(cluster);
    if (!next) return ChainEnd::kReadFailed;
    if (*next >= kEndOfChainMin) return ChainEnd::kEndMark;
    if (!IsNextCluster(geometry, *next)) return ChainEnd::kOther;
    cluster = *next;
  }
  return ChainEnd::kLimit;
}

// WalkChain that collects the clusters, ending (kStopped) before a cluster
// already collected, so a chain that loops yields each cluster once.
ChainEnd CollectChain(const platform::RawVolume& volume, const ExFatGeometry& geometry, uint32_t first_cluster,
                      uint64_t max_clusters, std::vector<uint32_t>& clusters);

// The allocation bitmap: one bit per heap cluster, bit 0 of byte 0 for
// cluster 2; a set bit means allocated.
class AllocationBitmap {
 public:
  AllocationBitmap() = default;
  AllocationBitmap(ByteBuffer bits, uint64_t length_bytes) : bits_(std::move(bits)), length_bytes_(length_bytes) {}

  // Clusters past the end of the bitmap count as free.
  bool is_allocated(uint32_t cluster) const;
  // Allocated clusters among the `count` from `first_cluster` (2 or more).
  uint64_t count_allocated(uint32_t first_cluster, uint64_t count) const;
  uint64_t size_bytes() const { return length_bytes_; }

 private:
  ByteBuffer bits_;
  uint64_t length_bytes_ = 0;
};

enum class BitmapLoad { kLoaded, kNoEntry, kReadFailed };

// Finds the first allocation-bitmap entry in the first cluster of the root
// directory and reads the bitmap it names as one contiguous run (at most one
// bit per cluster of the volume).
BitmapLoad LoadAllocationBitmap(const platform::RawVolume& volume, const ExFatGeometry& geometry,
                                AllocationBitmap& bitmap);

}  // namespace salvor::engine::exfat
