// Names of recovered files as a destination can hold them: the numbered
// alternative of a name that is taken ("a (1).txt") and the shortening of a
// name longer than the destination allows, which keeps the extension and
// marks the cut with "\u2026" so that the change stays visible.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace salvor::names {

// The extension of a name: from its last dot, when that dot is not the
// first character and what follows is short enough to be an extension
// (kMaxExtensionUnits); otherwise empty.
inline constexpr size_t kMaxExtensionUnits = 16;
std::u16string_view ExtensionOf(std::u16string_view name);

// "a.txt" -> "a (1).txt", "notes" -> "notes (1)"; a leading dot is no
// extension (".profile (1)").
std::u16string NumberedName(std::u16string_view name, unsigned number);

// How long a name is in the destination's own units: UTF-8 bytes on POSIX,
// UTF-16 units on Windows.
enum class NameUnits { kUtf8Bytes, kUtf16Units };
size_t NameLength(std::u16string_view name, NameUnits units);

// The name to try for `name` at attempt `number` (0: the name itself, N:
// the numbered name), no longer than `limit` units: when it is too long
// the part before the extension is cut at a character boundary and "\u2026"
// put in its place, before the number. A name whose extension alone is too
// long is cut as a whole.
std::u16string FittedName(std::u16string_view name, unsigned number, size_t limit, NameUnits units);

}  // namespace salvor::names
