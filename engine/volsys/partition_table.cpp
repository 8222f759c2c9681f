#include "engine/volsys/partition_table.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "common/text.h"
#include "engine/volsys/crc32.h"
#include "engine/volsys/volsys_layout.h"

namespace salvor::engine::volsys {
namespace {

std::u16string decimal(uint64_t value) { return text::from_utf8(std::to_string(value)); }

std::optional<std::vector<std::byte>> read_bytes(const DiskReader& disk, uint64_t offset, uint64_t length) {
  const uint64_t size = disk.size_bytes();
  if (offset > size || length > size - offset) return std::nullopt;
  std::vector<std::byte> data(static_cast<size_t>(length));
  if (!disk.read_at(offset, data)) return std::nullopt;
  return data;
}

// Byte offset of sector `lba`, or nothing when it does not fit 64 bits.
std::optional<uint64_t> lba_offset(uint64_t lba, uint32_t sector_bytes) {
  if (lba > UINT64_MAX / sector_bytes) return std::nullopt;
  return lba * sector_bytes;
}

void detect_file_system(const DiskReader& disk, Partition& partition) {
  if (partition.extended || partition.length_bytes < kSmallSectorBytes) return;
  if (const auto boot = read_bytes(disk, partition.start_bytes, kSmallSectorBytes)) {
    partition.file_system = ProbeBootSector(*boot);
  }
}

// Partitions of a table that share sectors, in a note each.
void note_overlaps(const std::vector<Partition>& partitions, std::vector<std::u16string>& notes) {
  std::vector<const Partition*> sorted;
  for (const Partition& p : partitions) {
    if (!p.extended && p.length_bytes != 0) sorted.push_back(&p);
  }
  std::sort(sorted.begin(), sorted.end(),
            [](const Partition* a, const Partition* b) { return a->start_bytes < b->start_bytes; });
  const Partition* reaching = nullptr;  // the one reaching furthest so far
  for (const Partition* p : sorted) {
    if (reaching && p->start_bytes < reaching->start_bytes + reaching->length_bytes) {
      notes.push_back(u"partitions " + decimal(reaching->index) + u" and " + decimal(p->index) +
                      u" overlap");
    }
    if (!reaching || p->start_bytes + p->length_bytes > reaching->start_bytes + reaching->length_bytes) reaching = p;
  }
}

// A range of sectors as a partition of a disk of `disk_sectors` sectors;
// a range past the end is cut to the disk and marked.
Partition make_partition(uint32_t index, uint64_t first_lba, uint64_t sector_count, uint32_t sector_bytes,
                         uint64_t disk_sectors) {
  Partition p;
  p.index = index;
  uint64_t usable = sector_count;
  if (first_lba >= disk_sectors) {
    usable = 0;
    p.past_end = true;
  } else if (sector_count > disk_sectors - first_lba) {
    usable = disk_sectors - first_lba;
    p.past_end = true;
  }
  p.start_bytes = first_lba < disk_sectors ? first_lba * sector_bytes : 0;
  p.length_bytes = usable * sector_bytes;
  return p;
}

// ---- MBR ----

// How many used primary entries point at a recognised boot sector inside
// the disk when sectors have `sector_bytes` bytes; -1 when an entry would
// end past the disk.
int mbr_score(const DiskReader& disk, const std::array<MbrEntry, 4>& entries, uint32_t sector_bytes) {
  const uint64_t disk_sectors = disk.size_bytes() / sector_bytes;
  int score = 0;
  for (const MbrEntry& e : entries) {
    if (!e.used()) continue;
    if (uint64_t{e.start_lba} + e.sector_count > disk_sectors) return -1;
    if (e.is_extended()) continue;
    if (const auto boot = read_bytes(disk, uint64_t{e.start_lba} * sector_bytes, kSmallSectorBytes)) {
      const DetectedFileSystem fs = ProbeBootSector(*boot);
      if (fs.type != FileSystemType::kBlank && fs.type != FileSystemType::kUnknown) ++score;
    }
  }
  return score;
}

void read_logical_chain(const DiskReader& disk, const MbrEntry& extended, uint32_t sector_bytes,
                        uint64_t disk_sectors, VolumeSystem& system) {
  const uint64_t ext_start = extended.start_lba;
  const uint64_t ext_end = ext_start + extended.sector_count;  // fits: both are 32-bit
  std::set<uint64_t> visited;
  uint64_t ebr = ext_start;
  uint32_t index = mbr::kFirstLogicalIndex;
  for (uint32_t n = 0; n < mbr::kMaxLogicalPartitions; ++n) {
    if (!visited.insert(ebr).second) {
      system.notes.push_back(u"the chain of logical partitions loops back to sector " + decimal(ebr));
      return;
    }
    const auto sector = read_bytes(disk, ebr * sector_bytes, kSmallSectorBytes);
    const auto entries = sector ? ParseMbrSector(*sector) : std::nullopt;
    if (!entries) {
      system.notes.push_back(u"the extended boot record at sector " + decimal(ebr) +
                             (sector ? u" is damaged" : u" lies past the end of the disk"));
      return;
    }
    const MbrEntry& logical = (*entries)[0];
    if (logical.used()) {
      Partition p = make_partition(index++, ebr + logical.start_lba, logical.sector_count, sector_bytes, disk_sectors);
      p.mbr_type = logical.type;
      system.partitions.push_back(std::move(p));
    }
    const MbrEntry& link = (*entries)[1];
    if (!link.used()) return;
    const uint64_t next = ext_start + link.start_lba;
    if (next >= ext_end || next >= disk_sectors) {
      system.notes.push_back(u"the chain of logical partitions leaves the extended partition at sector " +
                             decimal(next));
      return;
    }
    ebr = next;
  }
  system.notes.push_back(u"the chain of logical partitions is cut after " +
                         decimal(mbr::kMaxLogicalPartitions) + u" entries");
}

bool read_mbr(const DiskReader& disk, const std::array<MbrEntry, 4>& entries, VolumeSystem& system) {
  // Sectors of 4096 bytes when that reading makes more entries point at
  // boot sectors than 512 does (or 512 would run past the disk).
  const int small = mbr_score(disk, entries, kSmallSectorBytes);
  const int large = mbr_score(disk, entries, kLargeSectorBytes);
  const uint32_t sector_bytes = large > small ? kLargeSectorBytes : kSmallSectorBytes;
  const uint64_t disk_sectors = disk.size_bytes() / sector_bytes;
  system.table = TableType::kMbr;
  system.sector_bytes = sector_bytes;
  bool chain_read = false;
  for (uint32_t slot = 0; slot < mbr::kEntryCount; ++slot) {
    const MbrEntry& e = entries[slot];
    if (!e.used()) continue;
    Partition p = make_partition(slot + 1, e.start_lba, e.sector_count, sector_bytes, disk_sectors);
    p.mbr_type = e.type;
    p.extended = e.is_extended();
    system.partitions.push_back(std::move(p));
    if (e.is_extended()) {
      if (chain_read) {
        system.notes.push_back(u"a second extended partition (entry " + decimal(slot + 1) + u") is ignored");
      } else {
        chain_read = true;
        read_logical_chain(disk, e, sector_bytes, disk_sectors, system);
      }
    }
  }
  return true;
}

// ---- GPT ----

struct GptRead {
  std::optional<GptHeader> header;
  std::u16string problem;  // why it is not used
  std::vector<std::byte> array;
};

std::u16string_view problem_text(GptHeaderProblem problem) {
  switch (problem) {
    case GptHeaderProblem::kNone: return u"";
    case GptHeaderProblem::kNoSignature: return u"missing";
    case GptHeaderProblem::kBadSize: return u"damaged (its size is wrong)";
    case GptHeaderProblem::kBadCrc: return u"damaged (CRC mismatch)";
    case GptHeaderProblem::kBadArray: return u"damaged (its entry array is impossible)";
  }
  return u"damaged";
}

// The header at `lba` and its entry array, both checked.
GptRead read_gpt_at(const DiskReader& disk, uint64_t lba, uint32_t sector_bytes) {
  GptRead read;
  const auto offset = lba_offset(lba, sector_bytes);
  const auto sector = offset ? read_bytes(disk, *offset, sector_bytes) : std::nullopt;
  if (!sector) {
    read.problem = u"unreadable";
    return read;
  }
  GptHeader header;
  const GptHeaderProblem problem = ParseGptHeader(*sector, header);
  if (problem != GptHeaderProblem::kNone) {
    read.problem = problem_text(problem);
    return read;
  }
  if (header.my_lba != lba) {
    read.problem = u"damaged (it names another sector as its own)";
    return read;
  }
  const auto array_offset = lba_offset(header.entries_lba, sector_bytes);
  auto array = array_offset ? read_bytes(disk, *array_offset, header.entry_array_bytes()) : std::nullopt;
  if (!array) {
    read.problem = u"damaged (its entry array lies past the end of the disk)";
    return read;
  }
  if (Crc32(*array) != header.entries_crc) {
    read.problem = u"damaged (the CRC of its entry array does not match)";
    return read;
  }
  read.header = header;
  read.array = std::move(*array);
  return read;
}

bool has_gpt_signature(const DiskReader& disk, uint64_t offset) {
  const auto sector = read_bytes(disk, offset, 8);
  return sector && std::memcmp(sector->data(), gpt::kSignatureText, 8) == 0;
}

void use_gpt(const DiskReader& disk, const GptRead& read, uint32_t sector_bytes, PartitionOrigin origin,
             VolumeSystem& system) {
  system.table = TableType::kGpt;
  system.sector_bytes = sector_bytes;
  system.partitions =
      ParseGptEntries(read.array, *read.header, sector_bytes, disk.size_bytes() / sector_bytes, system.notes);
  for (Partition& p : system.partitions) p.origin = origin;
}

// The primary GPT at LBA 1, else the backup its header or the disk's last
// sector holds. False when neither is usable.
bool read_gpt(const DiskReader& disk, uint32_t sector_bytes, VolumeSystem& system) {
  const GptRead primary = read_gpt_at(disk, 1, sector_bytes);
  if (primary.header) {
    use_gpt(disk, primary, sector_bytes, PartitionOrigin::kTable, system);
    return true;
  }
  const uint64_t last_lba = disk.size_bytes() / sector_bytes - 1;
  const GptRead backup = read_gpt_at(disk, last_lba, sector_bytes);
  if (!backup.header) return false;
  system.notes.push_back(u"the primary GPT header is " + primary.problem +
                         u": the backup header at the disk's end is used");
  use_gpt(disk, backup, sector_bytes, PartitionOrigin::kBackupTable, system);
  return true;
}

}  // namespace

bool MbrEntry::is_extended() const {
  return type == mbr::kTypeExtendedChs || type == mbr::kTypeExtendedLba || type == mbr::kTypeExtendedLinux;
}

std::optional<std::array<MbrEntry, 4>> ParseMbrSector(Bytes sector) {
  ByteReader reader(sector);
  if (reader.u16(mbr::kSignature) != mbr::kSignatureValue || !reader.ok()) return std::nullopt;
  std::array<MbrEntry, 4> entries{};
  for (size_t i = 0; i < mbr::kEntryCount; ++i) {
    const size_t base = mbr::kFirstEntry + i * mbr::kEntryBytes;
    MbrEntry& e = entries[i];
    e.status = reader.u8(base + mbr::kStatus);
    e.type = reader.u8(base + mbr::kType);
    e.start_lba = reader.u32(base + mbr::kStartLba);
    e.sector_count = reader.u32(base + mbr::kSectorCount);
    if (e.used() && e.status != mbr::kStatusActive && e.status != mbr::kStatusInactive) return std::nullopt;
  }
  if (!reader.ok()) return std::nullopt;
  return entries;
}

GptHeaderProblem ParseGptHeader(Bytes sector, GptHeader& header) {
  if (sector.size() < gpt::kMinHeaderBytes || std::memcmp(sector.data(), gpt::kSignatureText, 8) != 0) {
    return GptHeaderProblem::kNoSignature;
  }
  ByteReader reader(sector);
  header.header_bytes = reader.u32(gpt::kHeaderSize);
  const uint32_t stored_crc = reader.u32(gpt::kHeaderCrc);
  header.my_lba = reader.u64(gpt::kMyLba);
  header.alternate_lba = reader.u64(gpt::kAlternateLba);
  header.first_usable_lba = reader.u64(gpt::kFirstUsableLba);
  header.last_usable_lba = reader.u64(gpt::kLastUsableLba);
  header.entries_lba = reader.u64(gpt::kEntriesLba);
  header.entry_count = reader.u32(gpt::kEntryCount);
  header.entry_bytes = reader.u32(gpt::kEntrySize);
  header.entries_crc = reader.u32(gpt::kEntriesCrc);
  if (!reader.ok()) return GptHeaderProblem::kBadSize;
  const auto covered = slice(sector, 0, header.header_bytes);
  if (header.header_bytes < gpt::kMinHeaderBytes || !covered) return GptHeaderProblem::kBadSize;
  std::vector<std::byte> copy(covered->begin(), covered->end());
  std::fill_n(copy.begin() + gpt::kHeaderCrc, 4, std::byte{0});
  if (Crc32(copy) != stored_crc) return GptHeaderProblem::kBadCrc;
  if (header.entry_bytes < gpt::kMinEntryBytes || header.entry_bytes % 8 != 0 ||
      header.entry_array_bytes() > gpt::kMaxEntryArrayBytes || header.entry_count == 0) {
    return GptHeaderProblem::kBadArray;
  }
  return GptHeaderProblem::kNone;
}

std::vector<Partition> ParseGptEntries(Bytes array, const GptHeader& header, uint32_t sector_bytes,
                                       uint64_t disk_sectors, std::vector<std::u16string>& notes) {
  std::vector<Partition> partitions;
  for (uint32_t i = 0; i < header.entry_count; ++i) {
    const auto entry = slice(array, uint64_t{i} * header.entry_bytes, header.entry_bytes);
    if (!entry) break;
    Guid type{};
    std::copy_n(entry->begin() + gpt::entry::kTypeGuid, type.size(), type.begin());
    if (std::all_of(type.begin(), type.end(), [](std::byte b) { return b == std::byte{0}; })) continue;
    ByteReader reader(*entry);
    const uint64_t first = reader.u64(gpt::entry::kFirstLba);
    const uint64_t last = reader.u64(gpt::entry::kLastLba);
    if (last < first || last == UINT64_MAX) {
      notes.push_back(u"GPT entry " + decimal(i + 1) + u" ends before it starts: ignored");
      continue;
    }
    Partition p = make_partition(i + 1, first, last - first + 1, sector_bytes, disk_sectors);
    p.type_guid = type;
    for (size_t unit = 0; unit < gpt::entry::kNameUnits; ++unit) {
      const char16_t c = static_cast<char16_t>(reader.u16(gpt::entry::kName + 2 * unit));
      if (c == 0) break;
      p.name.push_back(c);
    }
    partitions.push_back(std::move(p));
  }
  return partitions;
}

VolumeSystem ReadVolumeSystem(const DiskReader& disk) {
  VolumeSystem system;
  const auto first = read_bytes(disk, 0, kSmallSectorBytes);
  if (!first) {
    system.notes.push_back(u"the disk is smaller than one sector");
    return system;
  }
  // A GPT header at LBA 1 decides the sector size.
  for (const uint32_t sector_bytes : {kSmallSectorBytes, kLargeSectorBytes}) {
    if (has_gpt_signature(disk, sector_bytes) && read_gpt(disk, sector_bytes, system)) break;
  }
  const auto entries = ParseMbrSector(*first);
  const bool protective = entries && std::any_of(entries->begin(), entries->end(), [](const MbrEntry& e) {
    return e.type == mbr::kTypeGptProtective;
  });
  const DetectedFileSystem volume = ProbeBootSector(*first);
  const bool is_volume = volume.type != FileSystemType::kBlank && volume.type != FileSystemType::kUnknown;
  if (system.table == TableType::kNone && !is_volume && entries && !protective &&
      std::any_of(entries->begin(), entries->end(), [](const MbrEntry& e) { return e.used(); })) {
    read_mbr(disk, *entries, system);
  }
  if (system.table == TableType::kNone && is_volume) {
    system.table = TableType::kVolume;
    system.sector_bytes = volume.bytes_per_sector;
    Partition p;
    p.index = 1;
    p.length_bytes = disk.size_bytes();
    system.partitions.push_back(std::move(p));
  }
  // No table at the start (wiped, or a protective MBR whose GPT is gone):
  // a backup GPT at the disk's end may remain.
  for (const uint32_t sector_bytes : {kSmallSectorBytes, kLargeSectorBytes}) {
    if (system.table != TableType::kNone || disk.size_bytes() < 2 * uint64_t{sector_bytes}) break;
    read_gpt(disk, sector_bytes, system);
  }
  if (system.table == TableType::kVolume) {
    system.partitions.front().file_system = volume;
  } else {
    for (Partition& p : system.partitions) detect_file_system(disk, p);
  }
  note_overlaps(system.partitions, system.notes);
  return system;
}

const Partition* FindPartition(const VolumeSystem& system, uint32_t index) {
  for (const Partition& p : system.partitions) {
    if (p.index == index) return &p;
  }
  return nullptr;
}

std::u16string_view TableName(TableType type) {
  switch (type) {
    case TableType::kNone: return u"unknown";
    case TableType::kVolume: return u"none";
    case TableType::kMbr: return u"MBR";
    case TableType::kGpt: return u"GPT";
  }
  return u"unknown";
}

std::u16string_view OriginName(PartitionOrigin origin) {
  switch (origin) {
    case PartitionOrigin::kTable: return u"table";
    case PartitionOrigin::kBackupTable: return u"backup table";
    case PartitionOrigin::kSearch: return u"search";
  }
  return u"table";
}

std::u16string GuidText(const Guid& guid) { return text::guid_text(guid); }

}  // namespace salvor::engine::volsys
