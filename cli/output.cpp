#include "cli/output.h"

#include <cinttypes>

#include "common/text.h"

namespace salvor::cli {

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out.push_back(ch);
        }
    }
  }
  out += '"';
  return out;
}

std::string RecordTime(const _FileInfoFat& record) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", static_cast<unsigned>(record.Year),
                static_cast<unsigned>(record.Month), static_cast<unsigned>(record.Day),
                static_cast<unsigned>(record.Hour), static_cast<unsigned>(record.Minute),
                static_cast<unsigned>(record.Second));
  return text;
}

namespace {

std::u16string name_part(std::u16string_view relative_path) {
  const size_t slash = relative_path.rfind(u'/');
  return std::u16string(slash == std::u16string_view::npos ? relative_path : relative_path.substr(slash + 1));
}

}  // namespace

std::string RecordJson(const _FileInfoFat& record, std::u16string_view relative_path) {
  const uint64_t size = record.FileSize;
  std::string out = "{\"path\":" + JsonString(text::to_utf8(relative_path));
  out += ",\"name\":" + JsonString(text::to_utf8(name_part(relative_path)));
  out += std::string(",\"type\":\"") + (record.EntryType == kEntryFolder ? "folder" : "file") + "\"";
  out += std::string(",\"deleted\":") + (record.DeleteState == kDeleted ? "true" : "false");
  out += ",\"size\":" + std::to_string(size);
  out += ",\"modified\":" + JsonString(RecordTime(record));
  out += ",\"first_cluster\":" + std::to_string(record.FirstCluster);
  out += ",\"parent_folder\":" + std::to_string(record.ParentFolder);
  out += ",\"folder\":" + std::to_string(record.Folder);
  out += ",\"attributes\":" + std::to_string(record.Attributes);
  if (record.Reserved & kRecordDamaged) out += ",\"damaged\":true";
  out += "}";
  return out;
}

std::string TableHeader() { return "STATE    SIZE         MODIFIED             PATH"; }

std::string RecordRow(const _FileInfoFat& record, std::u16string_view relative_path) {
  const uint64_t size = record.FileSize;
  char head[64];
  std::snprintf(head, sizeof head, "%-8s %12" PRIu64 " %s  ", record.DeleteState == kDeleted ? "deleted" : "present",
                size, RecordTime(record).c_str());
  std::string row = head;
  // Control characters in hostile names would drive the terminal.
  for (const char ch : text::to_utf8(relative_path)) {
    row.push_back(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F ? '?' : ch);
  }
  if (record.EntryType == kEntryFolder) row += '/';
  return row;
}

std::string ItemTime(const app::FoundItem& item) {
  // The year is printed with four digits, as RecordTime does.
  std::string date = text::to_utf8(item.date);
  const size_t dash = date.find('-');
  if (dash != std::string::npos && dash < 4) date.insert(0, 4 - dash, '0');
  return date;
}

std::string ItemJson(const app::FoundItem& item, std::u16string_view relative_path) {
  std::string out = "{\"path\":" + JsonString(text::to_utf8(relative_path));
  out += ",\"name\":" + JsonString(text::to_utf8(name_part(relative_path)));
  out += std::string(",\"type\":\"") + (item.is_folder() ? "folder" : "file") + "\"";
  out += std::string(",\"deleted\":") + (item.is_deleted() ? "true" : "false");
  out += ",\"size\":" + std::to_string(item.size);
  out += ",\"modified\":" + JsonString(ItemTime(item));
  out += ",\"first_cluster\":" + std::to_string(item.first_cluster);
  out += ",\"parent_folder\":" + std::to_string(item.parent_folder);
  out += ",\"folder\":" + std::to_string(item.folder);
  out += ",\"attributes\":" + std::to_string(item.attributes);
  if (item.damaged) out += ",\"damaged\":true";
  if (item.file_system == u"NTFS") {
    out += ",\"mft\":" + std::to_string(item.mft_number);
    out += ",\"parent_mft\":" + std::to_string(item.parent_mft_number);
    out += ",\"record_offset\":" + std::to_string(item.ntfs_offset);
  }
  out += "}";
  return out;
}

std::string Printable(std::u16string_view text) {
  std::string out;
  for (const char ch : text::to_utf8(text)) {
    out.push_back(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F ? '?' : ch);
  }
  return out;
}

std::string ItemRow(const app::FoundItem& item, std::u16string_view relative_path) {
  char head[64];
  std::snprintf(head, sizeof head, "%-8s %12" PRIu64 " %s  ", item.is_deleted() ? "deleted" : "present", item.size,
                ItemTime(item).c_str());
  std::string row = head + Printable(relative_path);
  if (item.is_folder()) row += '/';
  return row;
}

void WriteLine(std::FILE* stream, std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
}

}  // namespace salvor::cli
