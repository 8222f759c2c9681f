// Names from a scanned volume are untrusted: these helpers turn them into
// path components that can be created under a recovery destination on every
// system without leaving it, and number the second of two files that would
// land on the same name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace salvor::app {

// One path component from the volume, made safe: separators, drive colons,
// characters Windows refuses, control characters and unpaired surrogates
// become "_"; so do trailing dots and spaces (which Windows would drop, and
// which turns "." and ".." into "_" and "__"); an empty name becomes "_" and
// a device name (CON, NUL.txt, COM1 ...) gets a "_" in front. Changes stay
// visible rather than silent.
std::u16string SafePathComponent(std::u16string_view name);

// True for the names Windows opens as devices whatever their extension.
bool IsReservedDeviceName(std::u16string_view name);

// The components of a found item's path below the volume root, each made
// safe: "E:\" (or a leading "E:" component) is dropped, "\" separates, empty
// components are skipped, and a path ending in "\" (an empty name) keeps
// one empty last component, which becomes "_". Never empty.
std::vector<std::u16string> SafeRelativeComponents(std::u16string_view path);

}  // namespace salvor::app
