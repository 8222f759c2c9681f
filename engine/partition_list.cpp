#include "engine/partition_list.h"

#include <algorithm>
#include <string>

#include "common/text.h"
#include "platform/platform.h"

namespace salvor::engine {
namespace {

uint32_t TableCode(volsys::TableType table) {
  switch (table) {
    case volsys::TableType::kVolume: return kReTableVolume;
    case volsys::TableType::kMbr: return kReTableMbr;
    case volsys::TableType::kGpt: return kReTableGpt;
    default: return kReTableNone;
  }
}

// Cut to the array, ended with 0, the rest zeros.
template <size_t N>
void CopyName(std::u16string_view name, char16_t (&out)[N]) {
  const size_t n = std::min(name.size(), N - 1);
  std::copy_n(name.begin(), n, out);
  std::fill(out + n, std::end(out), u'\0');
}

// The volume `options` names, listed; `refuse_empty` refuses a disk of 0
// bytes as ReListPartitions always has.
bool ListOpenVolume(const platform::RawVolume& volume, const RePartitionOptions& options, bool refuse_empty,
                    RePartitionList& list) {
  const auto size = volume.size_bytes();
  if (!size || (refuse_empty && *size == 0)) return false;
  const volsys::VolumeDisk disk(volume, *size);
  const auto progress = [&options](uint64_t done_bytes, uint64_t total_bytes) {
    if (options.Progress) options.Progress(done_bytes, total_bytes, options.User);
    return !(options.StopRequested && options.StopRequested(options.User) != 0);
  };
  const VolumeListing listing = ListVolumes(disk, options.Flags, progress);
  FillPartitionList(listing, *size, list);
  ReportPartitions(listing.system, options);
  return true;
}

}  // namespace

VolumeListing ListVolumes(const volsys::DiskReader& disk, uint32_t flags, const volsys::SearchProgress& progress) {
  VolumeListing listing;
  volsys::VolumeSystem& system = listing.system;
  system = volsys::ReadVolumeSystem(disk);
  const bool asked = (flags & (kReListSearch | kReListDeepSearch)) != 0;
  if ((flags & kReListNoSearch) != 0 || (!asked && system.table != volsys::TableType::kNone)) return listing;
  // A stop the caller asked for is told apart from a search that could not
  // go on (no buffer for its reads, or a read error).
  bool stop_asked = false;
  const auto watched = [&](uint64_t done_bytes, uint64_t total_bytes) {
    if (progress && !progress(done_bytes, total_bytes)) {
      stop_asked = true;
      return false;
    }
    return true;
  };
  const auto depth = (flags & kReListDeepSearch) != 0 ? volsys::SearchDepth::kDeep : volsys::SearchDepth::kAligned;
  const volsys::SearchResult result = volsys::SearchPartitions(disk, depth, watched);
  listing.status = kReListSearched;
  if (result.read_error_at) {
    listing.status |= kReListSearchIncomplete;
    system.notes.push_back(u"the search stopped at a read error at byte " +
                           text::from_utf8(std::to_string(*result.read_error_at)));
  } else if (!result.complete && stop_asked) {
    listing.status |= kReListSearchStopped;
    system.notes.push_back(u"the search was stopped before the end of the disk");
  } else if (!result.complete) {
    listing.status |= kReListSearchIncomplete;
    system.notes.push_back(u"the search could not run: no memory for its reads");
  }
  volsys::AddSearchResults(system, result);
  return listing;
}

RePartitionRecord PartitionRecord(const volsys::Partition& p) {
  RePartitionRecord record;
  record.Index = p.index;
  record.StartBytes = p.start_bytes;
  record.LengthBytes = p.length_bytes;
  record.Kind = p.scannable() ? p.file_system.kind : 0;
  if (p.extended) record.Flags |= kRePartitionExtended;
  if (p.origin == volsys::PartitionOrigin::kBackupTable) record.Flags |= kRePartitionBackupTable;
  if (p.origin == volsys::PartitionOrigin::kSearch) record.Flags |= kRePartitionFound;
  if (p.past_end) record.Flags |= kRePartitionPastEnd;
  if (!p.overlaps.empty()) record.Flags |= kRePartitionOverlaps;
  if (p.from_backup_boot_sector) record.Flags |= kRePartitionBackupBootSector;
  CopyName(p.extended ? std::u16string_view(u"extended") : volsys::FileSystemName(p.file_system.type),
           record.FileSystem);
  record.MbrType = p.mbr_type;
  for (size_t i = 0; i < p.type_guid.size(); ++i) record.TypeGuid[i] = std::to_integer<uint8_t>(p.type_guid[i]);
  CopyName(p.name, record.Name);
  return record;
}

void FillPartitionList(const VolumeListing& listing, uint64_t disk_bytes, RePartitionList& list) {
  const volsys::VolumeSystem& system = listing.system;
  list.Table = TableCode(system.table);
  list.SectorBytes = system.sector_bytes;
  list.DiskBytes = disk_bytes;
  list.Status = listing.status;
  list.Count = static_cast<uint32_t>(std::min<size_t>(system.partitions.size(), UINT32_MAX));
  const uint32_t filled = list.Records != nullptr ? std::min(list.Count, list.Capacity) : 0;
  for (uint32_t i = 0; i < filled; ++i) list.Records[i] = PartitionRecord(system.partitions[i]);
}

void ReportPartitions(const volsys::VolumeSystem& system, const RePartitionOptions& options) {
  if (options.Partition) {
    for (const volsys::Partition& p : system.partitions) {
      const RePartitionRecord record = PartitionRecord(p);
      const auto overlap_count = static_cast<uint32_t>(std::min<size_t>(p.overlaps.size(), UINT32_MAX));
      options.Partition(&record, p.overlaps.data(), overlap_count, options.User);
    }
  }
  if (options.Note) {
    for (const std::u16string& note : system.notes) options.Note(note.c_str(), options.User);
  }
}

bool ListPartitions(std::u16string_view source_path, const RePartitionOptions& options, RePartitionList& list) {
  platform::RawVolume volume;
  if (options.NativeHandle != -1) {
    if (!volume.adopt(options.NativeHandle)) return false;
  } else if (source_path.empty() || !volume.open(source_path)) {
    return false;
  }
  return ListOpenVolume(volume, options, false, list);
}

bool ListPartitions(std::u16string_view source_path, uint32_t flags, RePartitionList& list) {
  if (source_path.empty()) return false;
  platform::RawVolume volume;
  if (!volume.open(source_path)) return false;
  RePartitionOptions options;
  options.Flags = flags;
  return ListOpenVolume(volume, options, true, list);
}

}  // namespace salvor::engine
