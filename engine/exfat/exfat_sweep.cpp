#include "engine/exfat/exfat_sweep.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "engine/exfat/exfat_layout.h"
#include "engine/exfat/exfat_upcase.h"
#include "engine/volume_access.h"

namespace salvor::engine::exfat {
namespace {

// Bounds the memory the sweep keeps for sets cut off at a cluster's end and
// for clusters that may continue them, and the joins it tries between them
// (a real volume has a few of each; a hostile one is cut short).
constexpr size_t kMaxPending = 65536;
constexpr uint64_t kMaxJoinAttempts = 1u << 20;

// A set that a cluster's end cut off: the entries up to that end.
struct CutSet {
  std::vector<std::byte> head;
  uint32_t folder = 0;
};

// The first entries of a free cluster that opens with secondary entries:
// possibly the rest of a cut set, when its directory went on in a cluster
// that is not the next one.
struct Continuation {
  std::vector<std::byte> head;
  bool used = false;
};

bool is_secondary_type(uint8_t type) {
  return type == entry::kStream || type == entry::kStreamDeleted || type == entry::kFileName ||
         type == entry::kFileNameDeleted;
}

class Sweep {
 public:
  Sweep(const platform::RawVolume& volume, const ExFatGeometry& geometry, const SweepTarget& target)
      : volume_(volume), geometry_(geometry), target_(target) {}

  bool run(uint64_t volume_size_bytes);

 private:
  void scan_window(const SweepWindow& window);
  // The number of the cluster that holds byte `at` of the volume, if any.
  std::optional<uint32_t> cluster_at(uint64_t at) const;
  bool is_free(uint32_t cluster) const { return !have_bitmap_ || !bitmap_.is_allocated(cluster); }
  void note_continuation(Bytes read, size_t offset, uint64_t at);
  void scan_cluster(Bytes read, uint64_t position, uint32_t cluster);
  bool joins(const EntrySet& set) {
    if (!set.name_complete()) return false;
    if (!upcase_loaded_) {  // read only when a hash is first needed
      upcase_.Load(volume_, geometry_);
      upcase_loaded_ = true;
    }
    return NameHash(set.name, upcase_) == set.stream.name_hash;
  }
  void report(const EntrySet& set, uint32_t folder) {
    if (target_.observe) target_.observe(set);
    if (target_.callback) target_.callback(MakeRecord(set, FolderPair{0, folder}, u"", geometry_), target_.user);
  }
  void resolve_cut_sets();

  const platform::RawVolume& volume_;
  const ExFatGeometry& geometry_;
  const SweepTarget& target_;
  ByteBuffer cluster_buffer_;
  AllocationBitmap bitmap_;
  bool have_bitmap_ = false;
  UpcaseTable upcase_;
  bool upcase_loaded_ = false;
  bool result_ = true;
  // Clusters are scanned in order; none twice.
  std::optional<uint32_t> last_scanned_;
  std::vector<CutSet> cut_sets_;
  std::vector<Continuation> continuations_;
};

bool Sweep::run(uint64_t volume_size_bytes) {
  // A set near the end of a cluster is read on into the bytes after it.
  if (!cluster_buffer_.allocate(geometry_.cluster_size_bytes + kMaxSetBytes)) return false;
  const BitmapLoad bitmap_load = LoadAllocationBitmap(volume_, geometry_, bitmap_);
  if (bitmap_load == BitmapLoad::kReadFailed) result_ = false;
  have_bitmap_ = bitmap_load == BitmapLoad::kLoaded;

  // Never further than the device reaches; when its size is unknown, no
  // further than the cluster heap, which bounds the sweep on any volume.
  const auto device_size = volume_.size_bytes();
  const uint64_t size = std::min(volume_size_bytes, device_size ? *device_size : geometry_.heap_end_bytes());

  // The tail lets a set that begins in a window's last bytes, and a cluster
  // that ends there with the set bytes after it, be read from the window.
  if (!SweepWindows(volume_, size, kMaxSetBytes,
                    [&](const SweepWindow& window) { scan_window(window); })) {
    result_ = false;
  }
  resolve_cut_sets();
  return result_;
}

std::optional<uint32_t> Sweep::cluster_at(uint64_t at) const {
  if (at < geometry_.heap_offset_bytes) return std::nullopt;  // boot region or FAT
  const uint64_t index = (at - geometry_.heap_offset_bytes) / geometry_.cluster_size_bytes;
  if (index >= kMaxClusterCount) return std::nullopt;
  return static_cast<uint32_t>(index + 2);
}

void Sweep::scan_window(const SweepWindow& window) {
  const Bytes read = window.with_tail;
  const uint64_t position = window.offset_bytes;
  for (size_t offset = 0; offset + entry::kSize <= window.data.size(); offset += entry::kSize) {
    const uint8_t type = std::to_integer<uint8_t>(read[offset]);
    const uint64_t at = position + offset;
    if (is_secondary_type(type)) {
      note_continuation(read, offset, at);
      continue;
    }
    if (!IsFileEntry(type)) continue;
    const auto cluster = cluster_at(at);
    if (!cluster || (last_scanned_ && *cluster <= *last_scanned_) || !is_free(*cluster)) continue;
    const auto triple = slice(read, offset, 3 * entry::kSize);
    if (!triple || !IsCandidateUnit(*triple)) continue;
    // A 512-byte unit that opens with a set marks a directory cluster; a set
    // at any other slot must prove itself with its name hash, which random
    // data will not.
    if (at % kSweepUnitBytes != 0) {
      ByteReader file_entry(*triple);
      const size_t wanted = (1 + static_cast<size_t>(file_entry.u8(file::kSecondaryCount))) * entry::kSize;
      const auto set = DecodeEntrySet(read.subspan(offset, std::min(wanted, read.size() - offset)));
      if (!set || !joins(*set)) continue;
    }
    scan_cluster(read, position, *cluster);
    last_scanned_ = *cluster;
  }
}

void Sweep::note_continuation(Bytes read, size_t offset, uint64_t at) {
  if (continuations_.size() >= kMaxPending || at < geometry_.heap_offset_bytes ||
      (at - geometry_.heap_offset_bytes) % geometry_.cluster_size_bytes != 0) {
    return;
  }
  const auto cluster = cluster_at(at);
  if (!cluster || !is_free(*cluster)) return;
  const size_t length = std::min<size_t>(geometry_.cluster_size_bytes, kMaxSetBytes);
  std::vector<std::byte> head(length);
  if (length <= read.size() - offset) {
    std::copy_n(read.begin() + static_cast<std::ptrdiff_t>(offset), length, head.begin());
  } else if (!volume_.read_at(at, head)) {
    return;
  }
  continuations_.push_back({std::move(head)});
}

void Sweep::scan_cluster(Bytes read, uint64_t position, uint32_t cluster) {
  const size_t cluster_bytes = geometry_.cluster_size_bytes;
  const uint64_t start = geometry_.cluster_offset_bytes(cluster);
  // The whole cluster and the bytes after it, from the window when they are
  // in it.
  const size_t region_bytes = cluster_bytes + kMaxSetBytes;
  Bytes region;
  if (start >= position && start - position + region_bytes <= read.size()) {
    region = read.subspan(static_cast<size_t>(start - position), region_bytes);
  } else {
    const auto got = volume_.read_some_at(start, cluster_buffer_.bytes());
    if (!got || *got < cluster_bytes) {
      result_ = false;
      return;
    }
    region = Bytes(cluster_buffer_.bytes()).first(*got);
  }

  for (size_t slot = 0; slot + entry::kSize <= cluster_bytes; slot += entry::kSize) {
    ByteReader file_entry(region.subspan(slot, entry::kSize));
    if (!IsFileEntry(file_entry.u8(entry::kType))) continue;
    const size_t wanted = (1 + static_cast<size_t>(file_entry.u8(file::kSecondaryCount))) * entry::kSize;
    const auto set = DecodeEntrySet(region.subspan(slot, std::min(wanted, region.size() - slot)));
    if (wanted <= cluster_bytes - slot) {
      if (set) report(*set, cluster);
      continue;
    }
    // The set runs past its cluster: the bytes that follow continue it only
    // if its whole name comes out with the hash its stream extension holds.
    if (set && joins(*set)) {
      report(*set, cluster);
    } else if (cut_sets_.size() < kMaxPending) {
      const Bytes head = region.subspan(slot, cluster_bytes - slot);
      cut_sets_.push_back({std::vector<std::byte>(head.begin(), head.end()), cluster});
    }
  }
}

void Sweep::resolve_cut_sets() {
  std::vector<std::byte> joined;
  uint64_t attempts = 0;
  for (const CutSet& cut : cut_sets_) {
    std::optional<EntrySet> found;
    // The first entry the cut set misses: its stream extension or a name
    // entry, in the state of its File entry.
    const bool deleted = std::to_integer<uint8_t>(cut.head[0]) == entry::kFileDeleted;
    const bool has_stream = cut.head.size() >= 2 * entry::kSize;
    const uint8_t expected = has_stream ? (deleted ? entry::kFileNameDeleted : entry::kFileName)
                                        : (deleted ? entry::kStreamDeleted : entry::kStream);
    for (Continuation& next : continuations_) {
      if (next.used || std::to_integer<uint8_t>(next.head[0]) != expected) continue;
      if (++attempts > kMaxJoinAttempts) break;
      joined = cut.head;
      joined.insert(joined.end(), next.head.begin(), next.head.end());
      auto set = DecodeEntrySet(joined);
      if (set && joins(*set)) {
        next.used = true;
        found = std::move(set);
        break;
      }
    }
    // No continuation found: what the cluster holds of the set, when that
    // has a name at all.
    if (!found) found = DecodeEntrySet(cut.head);
    if (found) report(*found, cut.folder);
  }
}

}  // namespace

bool IsCandidateUnit(Bytes unit) {
  ByteReader reader(unit);
  const uint8_t first = reader.u8(0);
  const uint8_t second = reader.u8(entry::kSize);
  const uint8_t third = reader.u8(2 * entry::kSize);
  if (!reader.ok()) return false;
  return (first == entry::kFile && second == entry::kStream && third == entry::kFileName) ||
         (first == entry::kFileDeleted && second == entry::kStreamDeleted && third == entry::kFileNameDeleted);
}

bool SweepFormatted(const platform::RawVolume& volume, const ExFatGeometry& geometry, uint64_t volume_size_bytes,
                    const SweepTarget& target) {
  Sweep sweep(volume, geometry, target);
  return sweep.run(volume_size_bytes);
}

}  // namespace salvor::engine::exfat
