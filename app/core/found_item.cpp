#include "app/core/found_item.h"

#include <cstdio>

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

}  // namespace salvor::app
