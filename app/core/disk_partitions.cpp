#include "app/core/disk_partitions.h"

#include <algorithm>
#include <string>

#include "app/core/drive_list.h"
#include "common/text.h"

namespace salvor::app {

std::vector<DiskPartition> ScannablePartitions(std::span<const RePartitionRecord> records) {
  std::vector<DiskPartition> out;
  for (const RePartitionRecord& record : records) {
    if ((record.Flags & kRePartitionExtended) != 0 || record.LengthBytes == 0) continue;
    // The record's name is bounded by its array even when it lacks the 0.
    const auto* end = std::find(std::begin(record.FileSystem), std::end(record.FileSystem), u'\0');
    std::u16string name(std::begin(record.FileSystem), end);
    // The name and the kind must agree: a row is scanned by its name.
    if (record.Kind == 0 || VolumeKindOf(name) != record.Kind) continue;
    out.push_back({record.Index, record.StartBytes, record.LengthBytes, std::move(name)});
  }
  return out;
}

std::optional<std::vector<DiskPartition>> ListDiskPartitions(const EngineBinding& engine, std::u16string_view source,
                                                             uint32_t flags) {
  if (!engine.ReListPartitions || source.empty()) return std::nullopt;
  std::vector<RePartitionRecord> records(kMaxListedPartitions);
  RePartitionList list;
  list.Records = records.data();
  list.Capacity = static_cast<uint32_t>(records.size());
  const std::u16string path(source);
  if (!engine.ReListPartitions(path.c_str(), flags, &list)) return std::nullopt;
  records.resize(std::min(list.Count, list.Capacity));
  return ScannablePartitions(records);
}

namespace {

// A name field of a record, bounded by its array even when it lacks the 0.
template <size_t N>
std::u16string RecordText(const char16_t (&field)[N]) {
  return std::u16string(std::begin(field), std::find(std::begin(field), std::end(field), u'\0'));
}

struct VolumesCollector {
  const DiskVolumesRequest* request = nullptr;
  DiskVolumes volumes;
};

uint32_t OnProgress(uint64_t done_bytes, uint64_t total_bytes, void* user) {
  const auto& collector = *static_cast<VolumesCollector*>(user);
  if (collector.request->progress) collector.request->progress(done_bytes, total_bytes);
  return 0;
}

uint32_t OnStopRequested(void* user) {
  const auto& collector = *static_cast<VolumesCollector*>(user);
  return collector.request->stop_requested && collector.request->stop_requested() ? 1 : 0;
}

uint32_t OnPartition(const RePartitionRecord* record, const uint32_t* overlaps, uint32_t overlap_count, void* user) {
  auto& collector = *static_cast<VolumesCollector*>(user);
  if (!record) return 0;
  DiskVolume volume;
  volume.index = record->Index;
  volume.start_bytes = record->StartBytes;
  volume.length_bytes = record->LengthBytes;
  volume.kind = record->Kind;
  volume.flags = record->Flags;
  volume.file_system = RecordText(record->FileSystem);
  volume.mbr_type = static_cast<uint8_t>(record->MbrType);
  std::copy(std::begin(record->TypeGuid), std::end(record->TypeGuid), volume.type_guid.begin());
  volume.name = RecordText(record->Name);
  if (overlaps) volume.overlaps.assign(overlaps, overlaps + overlap_count);
  collector.volumes.partitions.push_back(std::move(volume));
  return 0;
}

uint32_t OnNote(const char16_t* text, void* user) {
  if (text) static_cast<VolumesCollector*>(user)->volumes.notes.emplace_back(text);
  return 0;
}

}  // namespace

std::optional<DiskVolumes> ReadDiskVolumes(const EngineBinding& engine, std::u16string_view source,
                                           const DiskVolumesRequest& request) {
  if (!engine.ReListPartitionsEx) return std::nullopt;
  VolumesCollector collector;
  collector.request = &request;
  RePartitionOptions options;
  options.Flags = request.flags;
  options.NativeHandle = request.native_handle;
  options.Progress = OnProgress;
  options.StopRequested = OnStopRequested;
  options.Partition = OnPartition;
  options.Note = OnNote;
  options.User = &collector;
  RePartitionList list;  // the header only: the records come through OnPartition
  const std::u16string path(source);
  if (!engine.ReListPartitionsEx(path.c_str(), &options, &list)) return std::nullopt;
  DiskVolumes& volumes = collector.volumes;
  volumes.table = list.Table;
  volumes.sector_bytes = list.SectorBytes;
  volumes.disk_bytes = list.DiskBytes;
  volumes.status = list.Status;
  return std::move(volumes);
}

const DiskVolume* FindDiskVolume(const DiskVolumes& volumes, uint32_t index) {
  for (const DiskVolume& volume : volumes.partitions) {
    if (volume.index == index) return &volume;
  }
  return nullptr;
}

std::u16string_view TableName(uint32_t table) {
  switch (table) {
    case kReTableVolume: return u"none";
    case kReTableMbr: return u"MBR";
    case kReTableGpt: return u"GPT";
    default: return u"unknown";
  }
}

std::u16string_view OriginName(const DiskVolume& volume) {
  if (volume.found()) return u"search";
  if ((volume.flags & kRePartitionBackupTable) != 0) return u"backup table";
  return u"table";
}

std::u16string TypeGuidText(const std::array<uint8_t, 16>& guid) {
  if (std::all_of(guid.begin(), guid.end(), [](uint8_t b) { return b == 0; })) return {};
  return text::guid_text(std::as_bytes(std::span(guid)));
}

std::vector<char16_t> FreeLetters(uint32_t used_mask, const DriveInfoList& drives, size_t count) {
  std::vector<char16_t> letters;
  for (char16_t letter = u'Z'; letter >= u'D' && letters.size() < count; --letter) {
    if ((used_mask & (1u << (letter - u'A'))) != 0) continue;
    if (FindDriveByName(drives, std::u16string{letter, u':'}) != nullptr) continue;
    letters.push_back(letter);
  }
  return letters;
}

DriveInfo PartitionDrive(char16_t letter, const DiskPartition& partition, std::u16string type_text) {
  DriveInfo drive;
  drive.RootPath = std::u16string{letter, u':', u'\\'};
  drive.TypeText = std::move(type_text);
  drive.FileSystem = partition.file_system;
  drive.TotalGB = static_cast<double>(partition.length_bytes) / 1073741824.0;
  return drive;
}

std::u16string PartitionRowName(const DriveInfo& drive, uint32_t index, std::u16string_view disk_label) {
  // Short enough for the row's first cell.
  const std::u16string number = text::from_utf8(std::to_string(index));
  if (!disk_label.empty()) return DriveName(drive) + u" " + std::u16string(disk_label) + u" #" + number;
  return DriveName(drive) + u" partition " + number;
}

std::u16string_view DriveNameOfRow(std::u16string_view cell) { return cell.substr(0, cell.find(u' ')); }

std::optional<uint32_t> PhysicalDriveNumber(std::u16string_view path) {
  constexpr std::u16string_view kPrefix = u"\\\\.\\PhysicalDrive";
  if (path.size() <= kPrefix.size() || path.size() > kPrefix.size() + 3) return std::nullopt;
  for (size_t i = 0; i < kPrefix.size(); ++i) {
    const char16_t a = path[i], b = kPrefix[i];
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
    if (lower(a) != lower(b)) return std::nullopt;
  }
  uint32_t value = 0;
  for (const char16_t c : path.substr(kPrefix.size())) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - u'0');
  }
  return value;
}

}  // namespace salvor::app
