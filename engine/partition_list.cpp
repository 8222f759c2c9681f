#include "engine/partition_list.h"

#include <algorithm>

#include "engine/volsys/partition_search.h"
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

void CopyName(std::u16string_view name, char16_t (&out)[16]) {
  const size_t n = std::min(name.size(), std::size(out) - 1);
  std::copy_n(name.begin(), n, out);
  std::fill(out + n, std::end(out), u'\0');
}

}  // namespace

volsys::VolumeSystem ListVolumes(const volsys::DiskReader& disk, uint32_t flags) {
  volsys::VolumeSystem system = volsys::ReadVolumeSystem(disk);
  const bool search = (flags & kReListSearch) != 0 || system.table == volsys::TableType::kNone;
  if (search && (flags & kReListNoSearch) == 0)
    volsys::AddSearchResults(system, volsys::SearchPartitions(disk, volsys::SearchDepth::kAligned));
  return system;
}

void FillPartitionList(const volsys::VolumeSystem& system, uint64_t disk_bytes, RePartitionList& list) {
  list.Table = TableCode(system.table);
  list.SectorBytes = system.sector_bytes;
  list.DiskBytes = disk_bytes;
  list.Count = static_cast<uint32_t>(std::min<size_t>(system.partitions.size(), UINT32_MAX));
  const uint32_t filled = list.Records != nullptr ? std::min(list.Count, list.Capacity) : 0;
  for (uint32_t i = 0; i < filled; ++i) {
    const volsys::Partition& p = system.partitions[i];
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
    CopyName(p.extended ? std::u16string_view(u"extended") : volsys::FileSystemName(p.file_system.type),
             record.FileSystem);
    list.Records[i] = record;
  }
}

bool ListPartitions(std::u16string_view source_path, uint32_t flags, RePartitionList& list) {
  if (source_path.empty()) return false;
  platform::RawVolume volume;
  if (!volume.open(source_path)) return false;
  const auto size = volume.size_bytes();
  if (!size || *size == 0) return false;
  const volsys::VolumeDisk disk(volume, *size);
  FillPartitionList(ListVolumes(disk, flags), *size, list);
  return true;
}

}  // namespace salvor::engine
