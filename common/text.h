// Text helpers. Inside Salvor all text is UTF-16 (what FAT long names, exFAT
// and NTFS store); conversion to UTF-8 happens only at the edges (terminal,
// JSON, POSIX file names).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace salvor::text {

// Ill-formed input (unpaired surrogates, bad UTF-8 sequences) becomes U+FFFD.
std::string to_utf8(std::u16string_view text);
// The same, appended to `out` (no new string per call).
void append_utf8(std::string& out, std::u16string_view text);
std::u16string from_utf8(std::string_view text);
// True when every byte belongs to a complete, well-formed UTF-8 sequence.
bool is_well_formed_utf8(std::string_view text);

// Simple case folding for file names: ASCII, Latin-1, Latin Extended-A,
// Greek and Cyrillic. Enough for name lookups inside a folder; not a full
// Unicode fold.
char16_t fold_case(char16_t c);
bool equals_ignore_case(std::u16string_view a, std::u16string_view b);
// The lower-case letter of an upper-case one, over the same scripts as
// fold_case; any other character as it is.
char16_t lower_case(char16_t c);

// A GUID as stored on disk (GPT entries: the first three groups
// little-endian, the last two as stored) in its usual text form,
// "C12A7328-F81F-11D2-BA4B-00A0C93EC93B".
std::u16string guid_text(std::span<const std::byte, 16> guid);

}  // namespace salvor::text
