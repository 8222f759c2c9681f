// salvor-cli: scans FAT volumes, disk images and block devices for deleted
// and present files, on the same engine as the desktop program.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/output.h"
#include "common/text.h"
#include "platform/platform.h"

namespace salvor::cli {

constexpr const char* kUsage =
    "Usage: salvor-cli COMMAND [OPTIONS]\n"
    "\n"
    "Finds deleted and present files on FAT32 volumes, disk images and block\n"
    "devices. The source is only ever read.\n"
    "\n"
    "Commands:\n"
    "  scan SOURCE [--fs NAME] [--all] [--json]\n"
    "      List what the file system of SOURCE still describes.\n"
    "      SOURCE   a disk image file or a block device (/dev/sdb1); on Windows\n"
    "               also a drive (E:)\n"
    "      --fs     the file system, instead of detecting it: fat32\n"
    "      --all    list present entries too (default: deleted entries only)\n"
    "      --json   one JSON object per line: path, name, type, deleted, size,\n"
    "               modified, first_cluster, parent_folder, folder, attributes\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 done, 1 usage error, 2 the source cannot be opened or read,\n"
    "or its file system is not supported.\n";

void PrintError(std::u16string_view message) {
  WriteLine(stderr, "salvor-cli: error: " + text::to_utf8(message));
}

void PrintUsageError(std::u16string_view message) {
  PrintError(message);
  WriteLine(stderr, "Try 'salvor-cli --help' for more information.");
}

}  // namespace salvor::cli

int main(int argc, char** argv) {
  using namespace salvor;
  platform::use_utf8_console();
  cli::Arguments arguments = platform::utf16_arguments(argc, argv);
  if (!arguments.empty()) arguments.erase(arguments.begin());

  if (arguments.empty()) {
    std::fputs(cli::kUsage, stderr);
    return cli::kExitUsage;
  }
  const std::u16string command = arguments.front();
  if (command == u"-h" || command == u"--help" || command == u"help") {
    std::fputs(cli::kUsage, stdout);
    return cli::kExitOk;
  }
  if (command == u"--version") {
    std::puts("salvor-cli " SALVOR_VERSION);
    return cli::kExitOk;
  }
  arguments.erase(arguments.begin());
  if (command == u"scan") return cli::RunScan(arguments);
  cli::PrintUsageError(u"unknown command '" + command + u"'");
  return cli::kExitUsage;
}
