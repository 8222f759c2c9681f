#include "engine/volsys/partition_search.h"

#include <algorithm>
#include <map>

#include "engine/volsys/volsys_layout.h"

namespace salvor::engine::volsys {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;
// Where backup boot sectors lie, in sectors of the volume.
constexpr uint64_t kFat32BackupSector = 6;
constexpr uint64_t kExFatBackupSector = 12;

// Whether the aligned search looks at the sector at `offset`: all of the
// first MiB; beyond, a volume that starts at a MiB boundary B has its boot
// sector at B, its FAT32 or exFAT backup at B plus 6 or 12 sectors (of 512
// or 4096 bytes), and a volume that ends at B has its NTFS backup in the
// last sector before B.
bool aligned_candidate(uint64_t offset) {
  if (offset < kMiB) return true;
  const uint64_t in_mib = offset % kMiB;
  for (const uint64_t bytes : {uint64_t{kSmallSectorBytes}, uint64_t{kLargeSectorBytes}}) {
    if (in_mib == kFat32BackupSector * bytes || in_mib == kExFatBackupSector * bytes || in_mib == kMiB - bytes) {
      return true;
    }
  }
  return in_mib == 0;
}

// The same offsets within each MiB, in order.
constexpr uint64_t kAlignedOffsets[] = {
    0,
    kFat32BackupSector * kSmallSectorBytes,
    kExFatBackupSector * kSmallSectorBytes,
    kFat32BackupSector * kLargeSectorBytes,
    kExFatBackupSector * kLargeSectorBytes,
    kMiB - kLargeSectorBytes,
    kMiB - kSmallSectorBytes,
};

bool has_boot_signature(Bytes sector) {
  return std::to_integer<uint8_t>(sector[510]) == 0x55 && std::to_integer<uint8_t>(sector[511]) == 0xAA;
}

// Where the volume would start if the boot sector at `offset` were the
// primary one, or each file system's backup copy.
std::vector<std::pair<uint64_t, bool>> possible_starts(uint64_t offset, const DetectedFileSystem& fs) {
  std::vector<std::pair<uint64_t, bool>> starts{{offset, false}};
  uint64_t back = 0;
  if (fs.type == FileSystemType::kFat32) back = kFat32BackupSector * fs.bytes_per_sector;
  if (fs.type == FileSystemType::kExFat) back = kExFatBackupSector * fs.bytes_per_sector;
  if (fs.type == FileSystemType::kNtfs) back = fs.volume_size_bytes - fs.bytes_per_sector;
  if (back != 0 && back <= offset) starts.emplace_back(offset - back, true);
  return starts;
}

void consider(const DiskReader& disk, uint64_t offset, Bytes sector, std::map<uint64_t, Partition>& found) {
  const DetectedFileSystem fs = ProbeBootSector(sector);
  if (fs.type == FileSystemType::kBlank || fs.type == FileSystemType::kUnknown) return;
  for (const auto& [start, backup] : possible_starts(offset, fs)) {
    const auto known = found.find(start);
    if (known != found.end() && (!known->second.from_backup_boot_sector || backup)) continue;
    if (!GeometryConsistent(disk, start, sector, fs)) continue;
    Partition p;
    p.start_bytes = start;
    p.length_bytes = fs.volume_size_bytes;
    p.origin = PartitionOrigin::kSearch;
    p.file_system = fs;
    p.from_backup_boot_sector = backup;
    found[start] = std::move(p);
  }
}

}  // namespace

SearchResult SearchPartitions(const DiskReader& disk, SearchDepth depth, const SearchProgress& progress) {
  SearchResult result;
  const uint64_t size = disk.size_bytes();
  const uint64_t searched = size - size % kSmallSectorBytes;
  const size_t read_bytes = static_cast<size_t>(std::min<uint64_t>(kSearchReadBytes, searched));
  platform::AnonymousBuffer buffer;
  if (searched == 0 || !buffer.allocate(read_bytes)) {
    result.complete = searched == 0;
    return result;
  }
  std::map<uint64_t, Partition> found;
  for (uint64_t chunk = 0; chunk < searched; chunk += read_bytes) {
    const uint64_t length = std::min<uint64_t>(read_bytes, searched - chunk);
    const MutableBytes data = buffer.bytes().first(static_cast<size_t>(length));
    if (!disk.read_at(chunk, data)) {
      result.complete = false;
      result.read_error_at = chunk;
      break;
    }
    const auto look = [&](uint64_t in_chunk) {
      const Bytes sector = Bytes(data).subspan(static_cast<size_t>(in_chunk), kSmallSectorBytes);
      if (has_boot_signature(sector)) consider(disk, chunk + in_chunk, sector, found);
    };
    if (depth == SearchDepth::kDeep || chunk < kMiB) {
      for (uint64_t in_chunk = 0; in_chunk < length; in_chunk += kSmallSectorBytes) {
        if (depth == SearchDepth::kDeep || aligned_candidate(chunk + in_chunk)) look(in_chunk);
      }
    } else {
      // Chunks start at multiples of the read size, itself whole MiB: only
      // the few sectors around each boundary are looked at.
      for (uint64_t mib = 0; mib < length; mib += kMiB) {
        for (const uint64_t in_mib : kAlignedOffsets) {
          if (mib + in_mib < length) look(mib + in_mib);
        }
      }
    }
    if (progress && !progress(chunk + length, size)) {
      result.complete = false;
      break;
    }
  }
  for (auto& [start, partition] : found) result.found.push_back(std::move(partition));
  return result;
}

void AddSearchResults(VolumeSystem& system, const SearchResult& result) {
  uint32_t next_index = 1;
  for (const Partition& p : system.partitions) next_index = std::max(next_index, p.index + 1);
  std::vector<Partition> added;
  for (const Partition& candidate : result.found) {
    const uint64_t end = candidate.start_bytes + candidate.length_bytes;
    bool listed = false;
    std::vector<uint32_t> overlaps;
    for (const Partition& p : system.partitions) {
      if (p.extended || p.origin == PartitionOrigin::kSearch) continue;
      if (p.start_bytes == candidate.start_bytes && p.file_system.type == candidate.file_system.type) listed = true;
      if (p.start_bytes < end && candidate.start_bytes < p.start_bytes + p.length_bytes) overlaps.push_back(p.index);
    }
    if (listed) continue;
    Partition p = candidate;
    p.index = next_index++;
    p.overlaps = std::move(overlaps);
    added.push_back(std::move(p));
  }
  for (Partition& p : added) system.partitions.push_back(std::move(p));
}

}  // namespace salvor::engine::volsys
