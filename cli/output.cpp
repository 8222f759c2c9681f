#include "cli/output.h"

#include <charconv>
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

std::string TableHeader() {
  char header[96];
  std::snprintf(header, sizeof header, "%-8s %-18s %12s %-19s  %s", "STATE", "DATA", "SIZE", "MODIFIED", "PATH");
  return header;
}

namespace {

void AppendNumber(std::string& out, uint64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

// A JSON string literal of UTF-16 text.
void AppendJsonString(std::string& out, std::u16string_view text) {
  out += '"';
  const size_t start = out.size();
  text::append_utf8(out, text);
  // Most names need no escape: only then is the text copied again.
  size_t i = start;
  while (i < out.size() && static_cast<unsigned char>(out[i]) >= 0x20 && out[i] != '"' && out[i] != '\\') ++i;
  if (i < out.size()) {
    const std::string raw = out.substr(start);
    out.resize(start);
    out += JsonString(raw).substr(1);
    out.pop_back();
  }
  out += '"';
}

void AppendItemTime(std::string& out, const app::FoundItem& item) {
  // The year is printed with at least four digits, as RecordTime does.
  const app::CivilTime t = item.time_fields();
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                              t.minute, t.second);
  if (n > 0) out.append(text, static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n) : sizeof text - 1);
}

void AppendPrintable(std::string& out, std::u16string_view text) {
  const size_t start = out.size();
  text::append_utf8(out, text);
  for (size_t i = start; i < out.size(); ++i) {
    if (static_cast<unsigned char>(out[i]) < 0x20 || out[i] == 0x7F) out[i] = '?';
  }
}

std::u16string_view name_view(std::u16string_view relative_path) {
  const size_t slash = relative_path.rfind(u'/');
  return slash == std::u16string_view::npos ? relative_path : relative_path.substr(slash + 1);
}

}  // namespace

std::string ItemTime(const app::FoundItem& item) {
  std::string out;
  AppendItemTime(out, item);
  return out;
}

void AppendItemJson(std::string& out, const app::FoundItem& item, std::u16string_view relative_path) {
  out += "{\"path\":";
  AppendJsonString(out, relative_path);
  out += ",\"name\":";
  AppendJsonString(out, name_view(relative_path));
  out += item.is_folder() ? ",\"type\":\"folder\"" : ",\"type\":\"file\"";
  out += item.is_deleted() ? ",\"deleted\":true" : ",\"deleted\":false";
  out += ",\"size\":";
  AppendNumber(out, item.size);
  out += ",\"modified\":\"";
  AppendItemTime(out, item);
  out += "\",\"first_cluster\":";
  AppendNumber(out, item.first_cluster);
  out += ",\"parent_folder\":";
  AppendNumber(out, item.parent_folder);
  out += ",\"folder\":";
  AppendNumber(out, item.folder);
  out += ",\"attributes\":";
  AppendNumber(out, item.attributes);
  if (item.damaged) out += ",\"damaged\":true";
  if (!item.is_folder()) {
    out += ",\"recoverable\":\"";
    text::append_utf8(out, app::VerdictText(item.verdict));
    out += '"';
  }
  // Entries of directory clusters whose folder was not found.
  const std::u16string_view lost = kLostEntriesFolder;
  if (relative_path.size() > lost.size() && relative_path.substr(0, lost.size()) == lost &&
      relative_path[lost.size()] == u'/') {
    out += ",\"lost\":true";
  }
  if (item.file_system_kind == app::ItemFileSystem::kNtfs) {
    out += ",\"mft\":";
    AppendNumber(out, item.mft_number);
    out += ",\"parent_mft\":";
    AppendNumber(out, item.parent_mft_number);
    out += ",\"record_offset\":";
    AppendNumber(out, item.ntfs_offset);
  }
  out += '}';
}

std::string ItemJson(const app::FoundItem& item, std::u16string_view relative_path) {
  std::string out;
  AppendItemJson(out, item, relative_path);
  return out;
}

void AppendItemRow(std::string& out, const app::FoundItem& item, std::u16string_view relative_path) {
  char head[64];
  const std::string verdict = item.is_folder() ? "-" : text::to_utf8(app::VerdictText(item.verdict));
  std::snprintf(head, sizeof head, "%-8s %-18s %12" PRIu64 " ", item.is_deleted() ? "deleted" : "present",
                verdict.c_str(), item.size);
  out += head;
  AppendItemTime(out, item);
  out += "  ";
  AppendPrintable(out, relative_path);
  if (item.is_folder()) out += '/';
}

std::string ItemRow(const app::FoundItem& item, std::u16string_view relative_path) {
  std::string out;
  AppendItemRow(out, item, relative_path);
  return out;
}

void LineWriter::EndLine() {
  buffer_ += '\n';
  if (buffer_.size() >= (1u << 16)) Flush();
}

void LineWriter::Flush() {
  if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), stream_);
  buffer_.clear();
}

std::string Printable(std::u16string_view text) {
  std::string out;
  AppendPrintable(out, text);
  return out;
}

void WriteLine(std::FILE* stream, std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
}

}  // namespace salvor::cli
