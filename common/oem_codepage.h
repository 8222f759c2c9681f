// The OEM code pages in which DOS and Windows store 8.3 names. CP437 (the
// default of US and most western systems) and CP850 (western Europe) are
// built in, so that both builds decode them alike; other code pages are left
// to the system's converter.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace salvor::text {

inline constexpr unsigned kDefaultOemCodePage = 437;

// True for the code pages decoded by the built-in tables.
bool has_oem_table(unsigned code_page);
// Decodes bytes of a built-in code page (nothing for any other). Bytes below
// 0x80 are ASCII.
std::optional<std::u16string> decode_oem(unsigned code_page, std::span<const std::byte> bytes);

}  // namespace salvor::text
