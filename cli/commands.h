// salvor-cli's commands and their shared vocabulary.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/engine_binding.h"

namespace salvor::cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,
  kExitSource = 2,  // the source cannot be opened or read, or its file system is not supported
  kExitSomeFailed = 3,  // recover: some files could not be written
  kExitDestination = 4,  // recover: the destination lies on the scanned volume (without --force)
};

using Arguments = std::vector<std::u16string>;

int RunScan(const Arguments& arguments);
int RunRecover(const Arguments& arguments);

// A name from a scanned volume made safe as one path component under the
// recovery destination (recover_command.cpp).
std::u16string SafePathComponent(std::u16string_view name);
int RunDrives(const Arguments& arguments);
// Lists the partitions of a disk or disk image (volumes.cpp).
int RunPartitions(const Arguments& arguments);
// Lists the File Filter's categories (filters_command.cpp).
int RunFilters(const Arguments& arguments);

// The folder of the component libraries (Gleaner, Surveyor): the program's
// own, as in a build tree and on Windows, else the private library folder of
// an installed salvor-cli (source.cpp).
std::u16string ComponentDirectory();

// --codepage N (code_page.cpp): the number, or nothing when it is none.
std::optional<unsigned> ParseCodePage(std::u16string_view text);
// Hands a code page given with --codepage to the engine; false (with a usage
// error printed) when the engine cannot decode it.
bool ApplyCodePage(const app::EngineBinding& engine, std::optional<unsigned> code_page);

// Prints "salvor-cli: error: <message>" on stderr.
void PrintError(std::u16string_view message);
void PrintUsageError(std::u16string_view message);

}  // namespace salvor::cli
