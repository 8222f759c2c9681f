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

// A found item: its time, its JSON object, its table row (folders end in
// "/").
std::string ItemTime(const app::FoundItem& item);
std::string ItemJson(const app::FoundItem& item, std::u16string_view relative_path);
std::string ItemRow(const app::FoundItem& item, std::u16string_view relative_path);
// The same, appended to `out`.
void AppendItemJson(std::string& out, const app::FoundItem& item, std::u16string_view relative_path);
void AppendItemRow(std::string& out, const app::FoundItem& item, std::u16string_view relative_path);

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
