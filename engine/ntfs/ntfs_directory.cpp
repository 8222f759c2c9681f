// The NTFS directory walk: a live folder's entries read from its index
// ($INDEX_ROOT, the INDX blocks of $INDEX_ALLOCATION, also those held in
// extension records named by an $ATTRIBUTE_LIST), to list the folder or to
// find one name in it; and the resolution of a folder path to its record.
#include <algorithm>
#include <unordered_set>

#include "engine/ntfs/ntfs.h"

namespace salvor::engine {

using namespace ntfs;

namespace {
// The entries' own records are read this many at a time: the files of one
// folder mostly lie close together in the $MFT.
constexpr uint64_t kRecordsPerRead = 16;
// Groups of records kept while a folder is listed, each in the slot its
// group number picks. An index lists names in their order, not the records'
// order, so a folder of a few hundred files moves back and forth between
// the groups its records lie in: with one group kept, each of those moves
// was a read. At most 32 x 16 records (512 KiB of 1 KiB records).
constexpr size_t kRecordGroupSlots = 32;
// INDX blocks read at a time from one run of a folder's index.
constexpr uint64_t kIndexBlocksPerRead = 16;

struct RecordGroup {
  uint64_t first = UINT64_MAX;  // the group's first record; UINT64_MAX: none read
  std::vector<std::byte> bytes;  // empty when the group could not be read whole
};
}  // namespace

struct CNtfs::DirectoryWalk {
  std::u16string_view prefix;
  const char16_t* name = nullptr;  // find mode when set
  uint64_t* found = nullptr;
  NtfsScanCallback callback = nullptr;
  void* user = nullptr;
  bool finished = false;  // find mode: the name was found
  // INDX blocks still to read: a folder's index cannot be larger than the
  // volume, however its runs repeat one another.
  uint64_t blocks_left = 0;
  ListingBuffers* buffers = nullptr;
};

std::optional<uint64_t> CNtfs::EntryModifiedTime(const IndexEntry& entry, DirectoryWalk& walk) const {
  const uint64_t record_bytes = geometry_->file_record_bytes;
  const uint64_t group_number = entry.record / kRecordsPerRead;
  const uint64_t first = group_number * kRecordsPerRead;
  ListingBuffers& buffers = *walk.buffers;
  const size_t slot = static_cast<size_t>(group_number % kRecordGroupSlots);
  std::vector<std::byte>& group = buffers.group_bytes[slot];
  if (buffers.group_first[slot] != first) {
    buffers.group_first[slot] = first;
    group.resize(static_cast<size_t>(kRecordsPerRead * record_bytes));
    // Near the $MFT's end the group may not be mapped whole: then one record.
    if (!ReadStream(mft_runs_, first * record_bytes, group)) group.clear();
  }
  std::vector<std::byte>& record = buffers.record;
  record.resize(static_cast<size_t>(record_bytes));
  if (group.empty()) {
    if (!ReadMftRecord(entry.record, record)) return std::nullopt;
  } else {
    const auto from = group.begin() + static_cast<ptrdiff_t>((entry.record - first) * record_bytes);
    std::copy(from, from + static_cast<ptrdiff_t>(record_bytes), record.begin());
    ApplyFixup(record);
  }
  // The record must still be the one the entry names: in use, and not
  // reused since (the sequence number goes up when a record is reused).
  ByteReader header(record);
  if (header.u32(record::kSignature) != record::kFileMagic || !(header.u16(record::kFlags) & record::kFlagInUse) ||
      header.u16(record::kSequence) != entry.sequence || !header.ok()) {
    return std::nullopt;
  }
  return StandardInfoModifiedTime(record);
}

bool CNtfs::ReportIndexEntry(const IndexEntry& entry, DirectoryWalk& walk) const {
  if (!entry.key || !entry.key->is_long_name()) return true;
  const FileName& key = *entry.key;
  if (walk.name) {
    if (!EqualIgnoringAsciiCase(key.name, walk.name)) return true;
    if (walk.found) *walk.found = entry.record;
    walk.finished = true;
    return false;
  }
  if (entry.record <= kLastSystemRecord) return true;
  _FileInfoNtfs info;
  info.MftNumber = entry.record;
  info.ParentMftNumber = key.parent;
  info.Source = kNtfsFromIndex;
  info.Type = key.is_directory() ? kEntryFolder : kEntryFile;
  info.FileAttributes = key.file_attributes;
  info.DataSize = key.data_size;
  // The key's times are those of the name, not of the data: the entry's own
  // record tells when the file was last written.
  const uint64_t modified = EntryModifiedTime(entry, walk).value_or(key.modified_time);
  info.FileTime.LowDateTime = static_cast<uint32_t>(modified);
  info.FileTime.HighDateTime = static_cast<uint32_t>(modified >> 32);
  std::u16string path(walk.prefix);
  path += u"\\";
  path += key.name;
  info.FullPath = salvor::RcWString(std::u16string_view(path));
  if (walk.callback) walk.callback(info, walk.user);
  return true;
}

void CNtfs::WalkIndexAllocation(Bytes record, DirectoryWalk& walk) const {
  const uint64_t cluster = geometry_->cluster_size_bytes;
  const uint64_t block_bytes = geometry_->index_record_bytes;
  std::vector<std::byte>& blocks = walk.buffers->index_blocks;
  std::vector<Attribute> allocations;
  ForEachAttribute(record, [&](const Attribute& a) {
    if (a.type == attr::kIndexAllocation && a.non_resident) allocations.push_back(a);
    return true;
  });
  for (const Attribute& allocation : allocations) {
    auto runs = RunsOf(allocation);
    if (!runs) continue;
    // Blocks are visited run by run, read kIndexBlocksPerRead at a time;
    // sparse runs hold none. Runs lie within the volume, so the blocks
    // walked are bounded by its size.
    for (const DataRun& run : *runs) {
      if (run.sparse) continue;
      const uint64_t begin = run.first_vcn * cluster;
      const uint64_t end = (run.first_vcn + run.length) * cluster;
      for (uint64_t at = (begin + block_bytes - 1) / block_bytes * block_bytes; at < end;) {
        if (walk.blocks_left == 0) return;
        // The last block of a run may go on into the next run's clusters.
        const uint64_t count =
            std::min<uint64_t>({kIndexBlocksPerRead, (end - at + block_bytes - 1) / block_bytes, walk.blocks_left});
        blocks.resize(static_cast<size_t>(count * block_bytes));
        // A group that cannot be read whole is read block by block.
        const bool group_read = ReadStream(*runs, at, blocks);
        for (uint64_t i = 0; i < count; ++i, at += block_bytes) {
          --walk.blocks_left;
          const MutableBytes block = MutableBytes(blocks).subspan(static_cast<size_t>(i * block_bytes),
                                                                  static_cast<size_t>(block_bytes));
          if (!group_read && !ReadStream(*runs, at, block)) continue;
          if (ByteReader(block).u32(record::kSignature) != record::kIndexMagic) continue;
          ApplyFixup(block);
          ForEachIndexEntry(block, index::kBlockHeader,
                            [&](const IndexEntry& entry) { return ReportIndexEntry(entry, walk); });
          if (walk.finished) return;
        }
      }
    }
  }
}

bool CNtfs::ListDirectory(std::u16string_view prefix, const char16_t* name, uint64_t directory, uint64_t* found,
                          NtfsScanCallback callback, void* user) {
  if (!geometry_) return false;
  const auto in_use = MftBitmapBit(directory);
  if (!in_use || !*in_use) return false;
  std::vector<std::byte> record(geometry_->file_record_bytes);
  if (!ReadMftRecord(directory, record)) return true;
  ByteReader header(record);
  if (header.u32(record::kSignature) != record::kFileMagic) return true;
  if (!(header.u16(record::kFlags) & (record::kFlagInUse | record::kFlagDirectory))) return true;

  DirectoryWalk walk;
  walk.prefix = prefix;
  walk.name = name;
  walk.found = found;
  walk.callback = callback;
  walk.user = user;
  walk.blocks_left = geometry_->total_clusters * geometry_->cluster_size_bytes / geometry_->index_record_bytes + 1;
  ListingBuffers own;
  walk.buffers = &own;
  if (listing_depth_ < kKeptListingDepth) {
    if (listing_buffers_.size() <= listing_depth_) listing_buffers_.emplace_back();
    walk.buffers = &listing_buffers_[listing_depth_];
  }
  // What an earlier listing read is not taken for this one's.
  walk.buffers->group_first.assign(kRecordGroupSlots, UINT64_MAX);
  walk.buffers->group_bytes.resize(kRecordGroupSlots);
  struct Depth {
    size_t& depth;
    explicit Depth(size_t& d) : depth(d) { ++depth; }
    ~Depth() { --depth; }
  } depth(listing_depth_);

  // Index allocations held in extension records. A list entry that names the
  // folder's own record is skipped (its allocation is walked below), and
  // each extension record is walked once, so a damaged list cannot loop.
  std::unordered_set<uint64_t> walked{directory};
  ForEachListedAttribute(record, directory, [&](const AttributeListEntry& entry, Bytes holder) {
    if (entry.type == attr::kIndexAllocation && !holder.empty() && walked.insert(entry.record).second) {
      WalkIndexAllocation(holder, walk);
    }
    return !walk.finished;
  });
  if (walk.finished) return true;

  if (auto root = FindAttribute(record, attr::kIndexRoot)) {
    if (auto value = ResidentValue(*root)) {
      ForEachIndexEntry(*value, index::kRootHeader,
                        [&](const IndexEntry& entry) { return ReportIndexEntry(entry, walk); });
    }
  }
  if (walk.finished) return true;
  WalkIndexAllocation(record, walk);
  return true;
}

bool CNtfs::ScanNtfsEx(std::u16string_view directory_path, NtfsScanCallback callback, void* user) {
  if (!geometry_) return false;
  // The path was held in a buffer of 260 characters: a longer one is refused
  // rather than cut.
  if (directory_path.size() > kMaxDirectoryPathChars) return false;
  uint64_t current = kRootRecord;
  size_t start = directory_path.find(u'\\');
  // Each part after the drive is looked up in the folder reached so far; a
  // part that names nothing there is passed over.
  while (start != std::u16string_view::npos) {
    const size_t next = directory_path.find(u'\\', start + 1);
    const std::u16string part(directory_path.substr(start + 1, next == std::u16string_view::npos
                                                                   ? std::u16string_view::npos
                                                                   : next - start - 1));
    start = next;
    if (part.empty()) continue;
    uint64_t found = current;
    if (!ListDirectory(directory_path, part.c_str(), current, &found, nullptr, nullptr)) break;
    current = found;
  }
  return ListDirectory(directory_path, nullptr, current, nullptr, callback, user);
}

}  // namespace salvor::engine
