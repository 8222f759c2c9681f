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
    "Finds deleted and present files on FAT16, FAT32 and exFAT volumes, disk\n"
    "images and block devices, and writes them back. The source is only ever\n"
    "read.\n"
    "\n"
    "Commands:\n"
    "  scan SOURCE [--fs NAME] [--all] [--json] [--unformat]\n"
    "      List what the file system of SOURCE still describes.\n"
    "      SOURCE   a disk image file or a block device (/dev/sdb1); on Windows\n"
    "               also a drive (E:)\n"
    "      --fs     the file system, instead of detecting it: fat16, fat32,\n"
    "               exfat\n"
    "      --all    list present entries too (default: deleted entries only)\n"
    "      --json   one JSON object per line: path, name, type, deleted, size,\n"
    "               modified, first_cluster, parent_folder, folder, attributes\n"
    "      --unformat  the Unformatting Scan: sweep the whole volume for the\n"
    "               folders of a file system that was formatted over; names are\n"
    "               bare, PARENT and FOLDER number the folders they were in\n"
    "  recover SOURCE --to DIR [--unformat] [--all] [--fs NAME] [PATH...]\n"
    "      Write the deleted files of SOURCE (every file with --all, or the\n"
    "      files and folders named by PATH as scan lists them) under DIR, in\n"
    "      their folders. Names unsafe for a file name are changed visibly\n"
    "      (\"_\"); nothing is written outside DIR. --unformat recovers every\n"
    "      file the Unformatting Scan finds.\n"
    "  drives [--json] [--loop]\n"
    "      List the drives that can be scanned: root, type, file system,\n"
    "      capacity and free space (\"unknown\" for a volume that is not\n"
    "      mounted). A root is a valid SOURCE for scan. Linux lists fixed disks\n"
    "      and USB drives that this user can read, by device path.\n"
    "      --json   one JSON object per line: root, type, file_system,\n"
    "               total_bytes, total_gb, free_bytes, free_gb, space_known\n"
    "      --loop   list loop devices too (Linux)\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 done, 1 usage error, 2 the source cannot be opened or read,\n"
    "or its file system is not supported (drives: the drive-information\n"
    "library cannot be loaded), 3 some files could not be recovered (recover).\n";

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
  if (command == u"recover") return cli::RunRecover(arguments);
  if (command == u"drives") return cli::RunDrives(arguments);
  cli::PrintUsageError(u"unknown command '" + command + u"'");
  return cli::kExitUsage;
}
