// salvor-cli's commands and their shared vocabulary.
#pragma once

#include <string>
#include <vector>

namespace salvor::cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,
  kExitSource = 2,  // the source cannot be opened or read, or its file system is not supported
};

using Arguments = std::vector<std::u16string>;

int RunScan(const Arguments& arguments);

// Prints "salvor-cli: error: <message>" on stderr.
void PrintError(std::u16string_view message);
void PrintUsageError(std::u16string_view message);

}  // namespace salvor::cli
