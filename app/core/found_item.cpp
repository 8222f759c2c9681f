#include "app/core/found_item.h"

#include <cstdio>

#include "app/core/results_model.h"

namespace salvor::app {
namespace {

std::u16string name_after_last_backslash(std::u16string_view path) {
  const size_t slash = path.rfind(u'\\');
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

std::u16string extension_of(std::u16string_view path, bool is_folder) {
  if (is_folder) return kNoExtensionText;
  const size_t dot = path.rfind(u'.');
  const size_t slash = path.rfind(u'\\');
  if (dot == std::u16string_view::npos || (slash != std::u16string_view::npos && dot < slash)) {
    return kNoExtensionText;
  }
  return std::u16string(path.substr(dot + 1));
}

std::u16string ascii(const char* text) {
  std::u16string out;
  for (; *text; ++text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
  return out;
}

}  // namespace

FoundItem MakeFoundItem(const _FileInfoFat& record, std::u16string_view file_system) {
  FoundItem item;
  item.parent_folder = record.ParentFolder;
  item.folder = record.Folder;
  item.first_cluster = record.FirstCluster;
  item.size = record.FileSize;
  item.type = record.EntryType;
  item.state = record.DeleteState;
  item.attributes = record.Attributes;
  item.damaged = (record.Reserved & kRecordDamaged) != 0;
  item.path = record.FullPath.str();
  item.name = name_after_last_backslash(item.path);
  item.extension = extension_of(item.path, item.is_folder());
  char date[40];
  std::snprintf(date, sizeof date, "%d-%02d-%02d %02d:%02d:%02d", int{record.Year}, int{record.Month},
                int{record.Day}, int{record.Hour}, int{record.Minute}, int{record.Second});
  item.date = ascii(date);
  item.file_system = std::u16string(file_system);
  return item;
}

std::u16string FileTimeText(uint64_t file_time) {
  if (file_time >> 63) file_time = 0;
  const uint64_t seconds = file_time / 10000000;
  int64_t days = static_cast<int64_t>(seconds / 86400);
  const uint64_t of_day = seconds % 86400;
  // Days since 1601-01-01 to a civil date: shifted to days since
  // 0000-03-01, then split into 400-year eras (proleptic Gregorian).
  days += 584694;  // 1601-01-01 is day 584694 counted from 0000-03-01
  const int64_t era = days / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t mp = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  char text[48];
  std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d", static_cast<int>(year), static_cast<int>(month),
                static_cast<int>(day), static_cast<int>(of_day / 3600), static_cast<int>(of_day / 60 % 60),
                static_cast<int>(of_day % 60));
  return ascii(text);
}

FoundItem MakeFoundItem(const _FileInfoNtfs& record, int ntfs_phase) {
  FoundItem item;
  item.mft_number = record.MftNumber;
  item.parent_mft_number = record.ParentMftNumber;
  item.ntfs_offset = record.RecordOffset;
  item.size = record.DataSize;
  item.type = record.Type;
  item.state = record.Source;
  item.attributes = record.FileAttributes;
  const std::u16string path = record.FullPath.str();
  item.path = ntfs_phase == 2 ? NtfsLostFolderPath(path, record.ParentMftNumber) : path;
  item.name = name_after_last_backslash(item.path);
  item.extension = extension_of(item.path, item.is_folder());
  item.date = FileTimeText((uint64_t{record.FileTime.HighDateTime} << 32) | record.FileTime.LowDateTime);
  item.file_system = u"NTFS";
  return item;
}

}  // namespace salvor::app
