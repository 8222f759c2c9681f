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
