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

// A JSON string literal of UTF-8 text.
void AppendJsonString(std::string& out, std::string_view utf8) {
  // Most names need no escape: they are copied as they are.
  size_t i = 0;
  while (i < utf8.size() && static_cast<unsigned char>(utf8[i]) >= 0x20 && utf8[i] != '"' && utf8[i] != '\\') ++i;
  if (i < utf8.size()) {
    out += JsonString(utf8);
    return;
  }
  out += '"';
  out += utf8;
  out += '"';
}

// `value` in decimal, zero-padded to `width` digits (more when it needs
// them; a negative value is written as 0).
void AppendPadded(std::string& out, int value, int width) {
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits, value < 0 ? 0 : value).ptr;
  for (int n = static_cast<int>(end - digits); n < width; ++n) out += '0';
  out.append(digits, end);
}

void AppendItemTime(std::string& out, const app::FoundItem& item) {
  // "YYYY-MM-DD hh:mm:ss", the year with at least four digits, as
  // RecordTime prints it; written without printf, once for every item.
  const app::CivilTime t = item.time_fields();
  AppendPadded(out, t.year, 4);
  out += '-';
  AppendPadded(out, t.month, 2);
  out += '-';
  AppendPadded(out, t.day, 2);
  out += ' ';
  AppendPadded(out, t.hour, 2);
  out += ':';
  AppendPadded(out, t.minute, 2);
  out += ':';
  AppendPadded(out, t.second, 2);
}

void AppendPrintable(std::string& out, std::string_view utf8) {
  const size_t start = out.size();
  out += utf8;
  for (size_t i = start; i < out.size(); ++i) {
    if (static_cast<unsigned char>(out[i]) < 0x20 || out[i] == 0x7F) out[i] = '?';
  }
}

}  // namespace

void AppendItemJson(std::string& out, const app::FoundItem& item, std::string_view relative_path) {
  out += "{\"path\":";
  const size_t path_start = out.size();
  AppendJsonString(out, relative_path);
  const size_t path_end = out.size();
  out += ",\"name\":";
  // The name is the path's text after its last "/", already converted and
  // escaped: it is copied from there (with room made first, so the copy
  // reads from where it writes to nothing).
  const size_t slash = std::string_view(out).substr(path_start, path_end - path_start).rfind('/');
  const bool in_folder = slash != std::string_view::npos;
  const size_t from = in_folder ? path_start + slash + 1 : path_start;
  out.reserve(out.size() + 1 + (path_end - from));
  if (in_folder) out += '"';
  out.append(out, from, path_end - from);
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
  static const std::string lost = text::to_utf8(kLostEntriesFolder) + '/';
  if (relative_path.size() > lost.size() && relative_path.substr(0, lost.size()) == lost) {
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

void AppendItemRow(std::string& out, const app::FoundItem& item, std::string_view relative_path) {
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
  AppendPrintable(out, text::to_utf8(text));
  return out;
}

void WriteLine(std::FILE* stream, std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
}

}  // namespace salvor::cli
