// Formatting of salvor-cli's output: JSON Lines records and the readable
// table.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "app/core/found_item.h"
#include "engine/gleaner_api.h"

namespace salvor::cli {

// A JSON string literal (quotes included) for UTF-8 text.
std::string JsonString(std::string_view utf8);

// "YYYY-MM-DD HH:MM:SS" from a record's time fields.
std::string RecordTime(const _FileInfoFat& record);

// The table's heading: state, recoverability of the data, size, date, path.
std::string TableHeader();

// A found item's JSON object and its table row (folders end in "/"),
// appended to `out`; `relative_path` is UTF-8.
void AppendItemJson(std::string& out, const app::FoundItem& item, std::string_view relative_path);
void AppendItemRow(std::string& out, const app::FoundItem& item, std::string_view relative_path);

// Lines of a long listing gathered in one buffer and written in large
// blocks; what is left is written when it is destroyed.
class LineWriter {
 public:
  explicit LineWriter(std::FILE* stream) : stream_(stream) {}
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;
  ~LineWriter() { Flush(); }
  // The buffer to append one line's text to; EndLine ends it.
  std::string& buffer() { return buffer_; }
  void EndLine();
  void Flush();

 private:
  std::FILE* stream_;
  std::string buffer_;
};

// Text from the volume for a terminal: control characters become "?".
std::string Printable(std::u16string_view text);

void WriteLine(std::FILE* stream, std::string_view line);

}  // namespace salvor::cli
