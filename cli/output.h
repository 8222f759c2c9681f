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

// One JSON object for a FAT-family record.
std::string RecordJson(const _FileInfoFat& record, std::u16string_view relative_path);

// One table row: state, size, date, path (folders end in "/").
std::string RecordRow(const _FileInfoFat& record, std::u16string_view relative_path);
std::string TableHeader();

// The same for a found item of the application core.
std::string ItemTime(const app::FoundItem& item);
std::string ItemJson(const app::FoundItem& item, std::u16string_view relative_path);
std::string ItemRow(const app::FoundItem& item, std::u16string_view relative_path);

// Text from the volume for a terminal: control characters become "?".
std::string Printable(std::u16string_view text);

void WriteLine(std::FILE* stream, std::string_view line);

}  // namespace salvor::cli
