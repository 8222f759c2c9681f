#include "engine/exfat/exfat_directory.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "common/text.h"
#include "engine/exfat/exfat_layout.h"

namespace salvor::engine::exfat {
namespace {

uint8_t slot_type(Bytes slots, size_t index) { return ByteReader(slots).u8(index * entry::kSize + entry::kType); }

bool is_stream(uint8_t type) { return type == entry::kStream || type == entry::kStreamDeleted; }
bool is_name(uint8_t type) { return type == entry::kFileName || type == entry::kFileNameDeleted; }
bool is_secondary(uint8_t type) { return (type & entry::kSecondaryBit) != 0; }

// The clusters of a directory, in order: consecutive ones for a NoFatChain
// directory, else its FAT chain. At most 256 MiB of clusters, and no more
// than its known length needs. False when a FAT sector could not be read
// (the clusters found before stand).
bool directory_clusters(const platform::RawVolume& volume, const ExFatGeometry& geometry, const DirectoryExtent& extent,
                        std::vector<uint32_t>& clusters) {
  uint64_t limit = std::max<uint64_t>(1, kMaxDirectoryBytes / geometry.cluster_size_bytes);
  if (extent.length_bytes) limit = std::clamp<uint64_t>(geometry.clusters_for(*extent.length_bytes), 1, limit);
  if (!geometry.is_data_cluster(extent.first_cluster)) return true;
  if (extent.contiguous) {
    for (uint64_t i = 0; i < limit; ++i) {
      const uint64_t cluster = extent.first_cluster + i;
      if (cluster > UINT32_MAX || !geometry.is_data_cluster(static_cast<uint32_t>(cluster))) break;
      clusters.push_back(static_cast<uint32_t>(cluster));
    }
    return true;
  }
  return CollectChain(volume, geometry, extent.first_cluster, limit, clusters) != ChainEnd::kReadFailed;
}

// Gives `folder_named` the first cluster of each folder whose File entry
// and stream extension lie in `cluster`.
void name_folders(Bytes cluster, const ExFatGeometry& geometry, const std::function<void(uint32_t)>& folder_named) {
  const size_t slots = cluster.size() / entry::kSize;
  for (size_t i = 0; i + 1 < slots; ++i) {
    if (!IsFileEntry(slot_type(cluster, i)) || !is_stream(slot_type(cluster, i + 1))) continue;
    const uint16_t attributes = ByteReader(cluster.subspan(i * entry::kSize, entry::kSize)).u16(file::kAttributes);
    if ((attributes & file::kAttrDirectory) == 0) continue;
    const uint32_t first = ByteReader(cluster.subspan((i + 1) * entry::kSize, entry::kSize)).u32(stream::kFirstCluster);
    if (geometry.is_data_cluster(first)) folder_named(first);
  }
}

// Adds the later clusters of a deleted folder after its known ones, while
// the last one is full. The clusters are read once here and again by the
// scan; a deleted folder is rare enough for that.
void extend_lost_folder(const platform::RawVolume& volume, const ExFatGeometry& geometry, const LostFolderSearch& lost,
                        const std::function<void(uint32_t)>& folder_named, std::vector<uint32_t>& clusters) {
  if (clusters.empty() || !lost.claims) return;
  std::unordered_set<uint32_t> visited(clusters.begin(), clusters.end());
  for (const uint32_t cluster : clusters) lost.claims->claim(cluster);
  const uint64_t limit = std::max<uint64_t>(1, kMaxDirectoryBytes / geometry.cluster_size_bytes);
  ByteBuffer buffer;
  if (!buffer.allocate(geometry.cluster_size_bytes)) return;
  while (clusters.size() < limit) {
    if (!volume.read_at(geometry.cluster_offset_bytes(clusters.back()), buffer.bytes())) return;
    if (folder_named) name_folders(buffer.bytes(), geometry, folder_named);
    const DirectoryClusterEnd end = SummarizeDirectoryCluster(buffer.bytes(), geometry);
    if (end.ends_directory) return;
    const auto next = FindNextLostCluster(volume, lost.space, clusters.back(), end.following, visited, *lost.claims);
    if (!next) return;
    clusters.push_back(*next);
    visited.insert(*next);
    lost.claims->claim(*next);
  }
}

// The first data cluster of a stream extension with data.
std::optional<uint32_t> stream_data_start(Bytes stream_entry, const ExFatGeometry& geometry) {
  ByteReader reader(stream_entry);
  const uint32_t first = reader.u32(stream::kFirstCluster);
  if (!geometry.is_data_cluster(first) || reader.u64(stream::kDataLength) == 0) return std::nullopt;
  return first;
}

bool known_entry_type(uint8_t type) {
  switch (type & ~entry::kInUseBit) {
    case entry::kFileDeleted:
    case entry::kStreamDeleted:
    case entry::kFileNameDeleted:
    case 0x20:  // vendor extension
    case 0x21:  // vendor allocation
      return true;
    default:
      return false;
  }
}

}  // namespace

bool LooksLikeLaterDirectoryCluster(Bytes cluster, const ExFatGeometry& geometry) {
  const size_t slots = cluster.size() / entry::kSize;
  for (size_t i = 0; i < slots; ++i) {
    const uint8_t type = slot_type(cluster, i);
    if (type == 0) return i > 0;
    if (!known_entry_type(type)) return false;
    if (!IsFileEntry(type)) continue;
    ByteReader file_entry(cluster.subspan(i * entry::kSize, entry::kSize));
    const uint8_t secondary = file_entry.u8(file::kSecondaryCount);
    if (secondary < file::kMinSecondaryCount || secondary + 1u > kMaxSetEntries) return false;
    if (i + 1 >= slots) continue;  // its stream extension is in the next cluster
    if (!is_stream(slot_type(cluster, i + 1))) return false;
    ByteReader stream_entry(cluster.subspan((i + 1) * entry::kSize, entry::kSize));
    const uint32_t first = stream_entry.u32(stream::kFirstCluster);
    const uint64_t length = stream_entry.u64(stream::kDataLength);
    if (stream_entry.u8(stream::kNameLength) == 0) return false;
    if (first != 0 && !geometry.is_data_cluster(first)) return false;
    if (length > static_cast<uint64_t>(geometry.cluster_count) * geometry.cluster_size_bytes) return false;
  }
  return slots > 0;
}

DirectoryClusterEnd SummarizeDirectoryCluster(Bytes cluster, const ExFatGeometry& geometry) {
  DirectoryClusterEnd end;
  const size_t slots = cluster.size() / entry::kSize;
  size_t due = 0;  // secondary entries of the last set past the cluster's end
  std::optional<uint32_t> cut_set_data;  // where the data of the set cut off at the end begins
  bool cut_set_stream = false;           // that set's stream extension is in this cluster
  for (size_t i = 0; i < slots; ++i) {
    const uint8_t type = slot_type(cluster, i);
    if (type == 0) {
      end.ends_directory = true;
      break;
    }
    if (IsFileEntry(type)) {
      const size_t secondary = ByteReader(cluster.subspan(i * entry::kSize, entry::kSize)).u8(file::kSecondaryCount);
      due = i + 1 + secondary > slots ? i + 1 + secondary - slots : 0;
      cut_set_data.reset();
      cut_set_stream = false;
    }
    if (!is_stream(type)) continue;
    cut_set_stream = due > 0;
    const auto data = stream_data_start(cluster.subspan(i * entry::kSize, entry::kSize), geometry);
    if (!data) continue;
    ByteReader stream_entry(cluster.subspan(i * entry::kSize, entry::kSize));
    const uint64_t after = *data + geometry.clusters_for(stream_entry.u64(stream::kDataLength));
    end.following.after_last_data = static_cast<uint32_t>(std::min<uint64_t>(after, UINT32_MAX));
    if (due > 0) cut_set_data = *data;
  }
  if (end.ends_directory) return end;
  // The set cut off at the end needed the next cluster when it was made,
  // just before its data was written: that cluster lies right before its
  // data. Without a set cut off (or with its stream extension in the next
  // cluster), the set the next cluster opens has its data right after it.
  if (cut_set_data && *cut_set_data > 2) end.following.after_last_data = *cut_set_data - 1;
  const ExFatGeometry* g = &geometry;
  end.following.anchored = [due, cut_set_data, cut_set_stream, g](uint32_t at, Bytes next) {
    if (cut_set_data) return at + 1 == *cut_set_data;
    if (cut_set_stream) return false;  // cut off, without data: nothing places it
    const size_t stream_slot = due > 0 ? 0 : 1;
    if ((stream_slot + 1) * entry::kSize > next.size() || !is_stream(slot_type(next, stream_slot))) return false;
    const auto data = stream_data_start(next.subspan(stream_slot * entry::kSize, entry::kSize), *g);
    return data && *data == static_cast<uint64_t>(at) + 1;
  };
  end.following.continues = [due](Bytes next) {
    const size_t slots = next.size() / entry::kSize;
    for (size_t i = 0; i < due && i < slots; ++i) {
      if (!is_secondary(slot_type(next, i))) return false;
    }
    if (due >= slots) return true;
    const uint8_t type = slot_type(next, due);
    return type == 0 || IsFileEntry(type);
  };
  return end;
}

std::optional<uint32_t> FullClusterGoesOnAt(Bytes cluster, const ExFatGeometry& geometry) {
  const DirectoryClusterEnd end = SummarizeDirectoryCluster(cluster, geometry);
  if (end.ends_directory || !end.following.after_last_data || !end.following.continues) return std::nullopt;
  // Only a cluster whose last set ends with it, and whose last set has data.
  const size_t slots = cluster.size() / entry::kSize;
  for (size_t i = slots; i-- > 0;) {
    const uint8_t type = slot_type(cluster, i);
    if (!IsFileEntry(type)) continue;
    const size_t secondary = ByteReader(cluster.subspan(i * entry::kSize, entry::kSize)).u8(file::kSecondaryCount);
    if (i + 1 + secondary != slots || i + 1 >= slots) return std::nullopt;
    const auto data = stream_data_start(cluster.subspan((i + 1) * entry::kSize, entry::kSize), geometry);
    if (!data) return std::nullopt;
    return end.following.after_last_data;
  }
  return std::nullopt;
}

bool StreamInfo::no_fat_chain() const { return (flags & stream::kFlagNoFatChain) != 0; }
bool EntrySet::is_deleted() const { return file_type != entry::kFile; }
bool EntrySet::is_folder() const { return (attributes & file::kAttrDirectory) != 0; }

bool IsFileEntry(uint8_t type) { return type == entry::kFile || type == entry::kFileDeleted; }

std::optional<EntrySet> DecodeEntrySet(Bytes slots) {
  const size_t present = slots.size() / entry::kSize;
  if (present < 3 || !IsFileEntry(slot_type(slots, 0)) || !is_stream(slot_type(slots, 1))) return std::nullopt;

  EntrySet set;
  ByteReader file_entry(slots.subspan(0, entry::kSize));
  set.file_type = file_entry.u8(entry::kType);
  set.secondary_count = file_entry.u8(file::kSecondaryCount);
  set.attributes = file_entry.u16(file::kAttributes);
  set.create_timestamp = file_entry.u32(file::kCreateTimestamp);
  if (set.secondary_count < file::kMinSecondaryCount) return std::nullopt;

  ByteReader stream_entry(slots.subspan(entry::kSize, entry::kSize));
  set.stream.flags = stream_entry.u8(stream::kFlags);
  set.stream.name_length = stream_entry.u8(stream::kNameLength);
  set.stream.name_hash = stream_entry.u16(stream::kNameHash);
  set.stream.valid_data_length = stream_entry.u64(stream::kValidDataLength);
  set.stream.first_cluster = stream_entry.u32(stream::kFirstCluster);
  set.stream.data_length = stream_entry.u64(stream::kDataLength);

  // Name entries follow the stream extension; each holds up to 15 of the
  // characters still due.
  const size_t examined = std::min<size_t>(set.secondary_count, present - 1);
  size_t due = set.stream.name_length;
  size_t index = 2;
  for (; index <= examined; ++index) {
    const uint8_t type = slot_type(slots, index);
    if (!is_secondary(type)) break;  // a new primary entry: the set was shorter than it said
    if (!is_name(type) || due == 0) continue;
    ByteReader name_entry(slots.subspan(index * entry::kSize, entry::kSize));
    const size_t take = std::min(due, name::kCharsPerEntry);
    for (size_t i = 0; i < take; ++i) {
      const char16_t c = name_entry.u16(name::kCharacters + 2 * i);
      if (c == 0) break;
      set.name.push_back(c);
    }
    due -= take;
  }
  set.entries = index;
  if (set.name.empty()) return std::nullopt;
  return set;
}

_FileInfoFat MakeRecord(const EntrySet& set, const FolderPair& folders, std::u16string_view parent_path,
                        const ExFatGeometry& geometry) {
  _FileInfoFat record;
  record.ParentFolder = folders.parent_folder;
  record.Folder = folders.folder;
  record.FirstCluster = set.stream.first_cluster;
  record.DeleteState = set.is_deleted() ? kDeleted : kPresent;
  record.EntryType = set.is_folder() ? kEntryFolder : kEntryFile;
  record.Attributes = set.attributes;
  record.Reserved = 0;
  record.FileSize = set.stream.data_length;
  if (!set.is_folder() && set.stream.data_length > geometry.max_file_bytes_from(set.stream.first_cluster)) {
    record.Reserved |= kRecordDamaged;
  }
  const uint32_t t = set.create_timestamp;
  record.Second = static_cast<uint8_t>((t & 0x1F) * 2);
  record.Minute = static_cast<uint8_t>((t >> 5) & 0x3F);
  record.Hour = static_cast<uint8_t>((t >> 11) & 0x1F);
  record.Day = static_cast<uint8_t>((t >> 16) & 0x1F);
  record.Month = static_cast<uint8_t>((t >> 21) & 0x0F);
  record.Year = static_cast<uint16_t>((t >> 25) + 1980);
  if (parent_path.empty()) {
    record.FullPath = RcWString(set.name);
  } else {
    std::u16string path(parent_path);
    path += u'\\';
    path += set.name;
    record.FullPath = RcWString(path);
  }
  return record;
}

DirectoryExtent ExtentOf(const EntrySet& set) {
  DirectoryExtent extent;
  extent.first_cluster = set.stream.first_cluster;
  extent.length_bytes = set.stream.data_length;
  extent.contiguous = set.stream.no_fat_chain();
  return extent;
}

bool ScanDirectory(const platform::RawVolume& volume, const ExFatGeometry& geometry, const DirectoryExtent& extent,
                   const SetTarget& target, std::optional<EntrySet>* found, const LostFolderSearch* lost) {
  if (found) found->reset();
  if (!geometry.is_data_cluster(extent.first_cluster)) return false;
  std::vector<uint32_t> clusters;
  bool result = directory_clusters(volume, geometry, extent, clusters);
  const size_t cluster_bytes = geometry.cluster_size_bytes;
  ByteBuffer buffer;
  if (!buffer.allocate(cluster_bytes)) return false;
  if (target.folder_named) {
    for (const uint32_t cluster : clusters) {
      if (volume.read_at(geometry.cluster_offset_bytes(cluster), buffer.bytes())) {
        name_folders(buffer.bytes(), geometry, target.folder_named);
      }
    }
  }
  if (lost) extend_lost_folder(volume, geometry, *lost, target.folder_named, clusters);
  const Bytes data = buffer.bytes();
  // A set that runs on past its cluster is joined here with the first
  // entries of the clusters after it.
  std::vector<std::byte> joined;

  std::optional<EntrySet> present_match;
  std::optional<EntrySet> deleted_match;
  std::optional<EntrySet> last_set;
  bool done = false;

  for (size_t k = 0; k < clusters.size() && !done; ++k) {
    if (!volume.read_at(geometry.cluster_offset_bytes(clusters[k]), buffer.bytes())) {
      result = false;
      break;
    }
    for (size_t at = 0; at + entry::kSize <= cluster_bytes && !done; at += entry::kSize) {
      ByteReader slot(data.subspan(at, entry::kSize));
      if (!IsFileEntry(slot.u8(entry::kType))) continue;
      const size_t wanted = (1 + static_cast<size_t>(slot.u8(file::kSecondaryCount))) * entry::kSize;
      Bytes set_bytes = data.subspan(at, std::min(wanted, cluster_bytes - at));
      if (wanted > set_bytes.size()) {
        joined.assign(set_bytes.begin(), set_bytes.end());
        for (size_t next = k + 1; next < clusters.size() && joined.size() < wanted; ++next) {
          const size_t take = std::min(wanted - joined.size(), cluster_bytes);
          const size_t old_size = joined.size();
          joined.resize(old_size + take);
          if (!volume.read_at(geometry.cluster_offset_bytes(clusters[next]),
                              MutableBytes(joined).subspan(old_size, take))) {
            joined.resize(old_size);
            break;
          }
        }
        set_bytes = joined;
      }
      auto set = DecodeEntrySet(set_bytes);
      if (!set) continue;
      if (target.observe) target.observe(*set);
      if (target.lookup_name) {
        if (!text::equals_ignore_case(*target.lookup_name, set->name)) continue;
        if (!set->is_deleted()) {
          present_match = std::move(set);
          done = true;
        } else if (!deleted_match) {
          deleted_match = std::move(set);
        }
        continue;
      }
      if (target.callback) target.callback(MakeRecord(*set, target.folders, target.parent_path, geometry), target.user);
      last_set = std::move(set);
    }
  }

  if (found) {
    if (target.lookup_name) {
      *found = present_match ? std::move(present_match) : std::move(deleted_match);
    } else {
      *found = std::move(last_set);
    }
  }
  return result;
}

}  // namespace salvor::engine::exfat
