// salvor-cli: scans FAT volumes, disk images and block devices for deleted
// and present files, on the same engine as the desktop program.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/output.h"
#include "common/text.h"
#include "platform/platform.h"

namespace salvor::cli {

constexpr const char* kScanUsage =
    "  scan SOURCE [--partition N] [--search[=deep]] [--unformat] [--all] [--json]\n"
    "          [--tree] [--fs NAME] [--codepage N]\n"
    "      List what the file system of SOURCE still describes.\n"
    "      SOURCE   a disk image file (raw or dd image of a volume or a whole\n"
    "               disk) or a block device (/dev/sdb, /dev/sdb1); on Windows\n"
    "               also a drive (E:)\n"
    "      --partition N  the partition to scan, N as 'partitions' lists it;\n"
    "               needed when SOURCE holds more than one volume\n"
    "      --search[=deep]  also look for lost partitions (see 'partitions');\n"
    "               done anyway when SOURCE has no partition table\n"
    "      --fs     the file system, instead of detecting it: fat16, fat32,\n"
    "               exfat, ntfs\n"
    "      --all    list present entries too (default: deleted entries only)\n"
    "      --json   one JSON object per line: path, name, type, deleted, size,\n"
    "               modified, first_cluster, parent_folder, folder, attributes;\n"
    "               NTFS items also mft, parent_mft, record_offset; files also\n"
    "               recoverable: \"intact\" (none of the file's clusters is in\n"
    "               use now), \"partly overwritten\", \"overwritten\" (its first\n"
    "               cluster, or all, are in use) or \"unknown\"; \"damaged\":\n"
    "               true for a file whose size runs past the volume's end;\n"
    "               entries of directory clusters whose folder was not found\n"
    "               are listed under $LostEntries with \"lost\": true\n"
    "      --tree   print the folder tree of the results instead, with counts\n"
    "      --unformat  the Unformatting Scan: sweep the whole volume for the\n"
    "               folders of a file system that was formatted over; names are\n"
    "               bare, PARENT and FOLDER number the folders they were in;\n"
    "               on NTFS the old records are listed below dirN, N being\n"
    "               their folder's record number\n"
    "      --codepage N  the DOS code page of the volume's 8.3 names (default\n"
    "               437; 850 western Europe, 852, 866...)\n";

constexpr const char* kRecoverUsage =
    "  recover SOURCE --to DIR [--partition N] [--search[=deep]] [--unformat]\n"
    "          [--all] [--type N|--name TEXT] [--skip-empty] [--only-intact]\n"
    "          [--force] [--json]\n"
    "          [--fs NAME] [--mode OCTAL] [--utc] [--codepage N] [PATH...]\n"
    "      Scan SOURCE and write the chosen files under DIR, in their folders.\n"
    "      Chosen are the deleted files (every file with --all; after\n"
    "      --unformat, every file the sweep found, in folders rebuilt from\n"
    "      folder numbers: \"dirN\" for a folder whose name was lost), or the\n"
    "      files and folders named by PATH as scan lists them (a folder with\n"
    "      everything below it).\n"
    "      --type N      only files of filter category N (see 'filters')\n"
    "      --name TEXT   only files whose path contains TEXT (case-sensitive)\n"
    "      --skip-empty  leave out files of 0 bytes\n"
    "      --only-intact only files whose data is intact (see scan --json)\n"
    "      --codepage N  the DOS code page of 8.3 names, as for scan\n"
    "      --force       write even when DIR lies on the volume being scanned\n"
    "                    (refused otherwise: it could overwrite what is being\n"
    "                    recovered)\n"
    "      --json        one JSON object per file (status, path, output, size,\n"
    "                    written, allocated, times, error) and a summary object\n"
    "      --mode OCTAL  permission bits of recovered files (default 0600;\n"
    "                    folders 0700, or what the bits need to be entered)\n"
    "      --utc         FAT times are UTC (default: this machine's local time;\n"
    "                    exFAT and NTFS times are UTC as stored)\n"
    "      Names unsafe for a file name are changed visibly (\"_\"), names too\n"
    "      long for DIR are shortened (\"\u2026\" marks the cut); nothing is\n"
    "      written outside DIR and no link in it is followed. A name that DIR\n"
    "      already holds is never replaced: the file is written as\n"
    "      \"name (1).ext\". Files get their modification times. A full or\n"
    "      failing DIR stops the run at once (exit 3). Ctrl-C stops within the\n"
    "      file being written, removes it and keeps the files before it.\n";

constexpr const char* kPartitionsUsage =
    "  partitions SOURCE [--search[=deep]] [--json]\n"
    "      List the volumes of a disk or disk image: its MBR or GPT partitions\n"
    "      (a damaged primary GPT is replaced by its backup, and said so), or\n"
    "      the one volume of a disk without a table; each with its number for\n"
    "      --partition, start and length in bytes, type code or GUID, the file\n"
    "      system its boot sector starts (blank or unknown included) and where\n"
    "      it came from (table, backup table, search).\n"
    "      --search  also look for the boot sectors of lost FAT, exFAT and NTFS\n"
    "               volumes (and their backup copies): every sector of the first\n"
    "               MiB and the sectors at each MiB boundary; done anyway when no\n"
    "               table is found. Volumes found over a table's partitions are\n"
    "               listed too (a disk re-partitioned over older volumes).\n"
    "      --search=deep  look at every sector (slower on large disks)\n"
    "      --json   one JSON object: table, sector_bytes, size_bytes, notes and\n"
    "               partitions (index, start_bytes, length_bytes, type, name,\n"
    "               file_system, scannable, origin, backup_boot_sector,\n"
    "               past_end, overlaps)\n";

constexpr const char* kDrivesUsage =
    "  drives [--json] [--loop] [--all]\n"
    "      List the drives that can be scanned: root, type, file system,\n"
    "      capacity and free space (\"unknown\" for a volume that is not\n"
    "      mounted). A root is a valid SOURCE for scan. Linux lists fixed disks\n"
    "      and USB drives that this user can read, by device path.\n"
    "      --json   one JSON object per line: root, type, file_system,\n"
    "               total_bytes, total_gb, free_bytes, free_gb, space_known\n"
    "               (with --all also on_disk, scannable, partitions)\n"
    "      --loop   list loop devices too (Linux)\n"
    "      --all    every disk and partition, whatever the system recognises\n"
    "               on it (whole disks, blank and damaged volumes), with what\n"
    "               its first sectors hold: a file system, \"blank\",\n"
    "               \"unknown\", or a partition table (\"MBR\", \"GPT\") and\n"
    "               its partition count; scan a disk with --partition N\n";

constexpr const char* kFiltersUsage =
    "  filters\n"
    "      List the File Filter's categories: index (for recover --type), the\n"
    "      category's name and the file name patterns it takes.\n";

constexpr const char* kUsageHead =
    "Usage: salvor-cli COMMAND [OPTIONS]\n"
    "\n"
    "Finds deleted and present files on FAT16, FAT32, exFAT and NTFS volumes, disk\n"
    "images and block devices, and writes them back. The source is only ever\n"
    "read.\n"
    "\n"
    "Commands:\n";

constexpr const char* kUsageTail =
    "\n"
    "Options:\n"
    "  -h, --help     show this help (COMMAND --help: that command's help)\n"
    "  --version      show the version\n"
    "\n"
    "Progress goes to stderr when it is a terminal. Ctrl-C stops a scan or a\n"
    "recovery cleanly.\n"
    "\n"
    "Exit status: 0 done, 1 usage error, 2 the source cannot be opened or read,\n"
    "or its file system is not supported (drives: the drive-information\n"
    "library cannot be loaded), 3 some files could not be recovered (recover),\n"
    "4 the destination lies on the scanned volume (recover without --force),\n"
    "130 stopped by Ctrl-C.\n";

void PrintUsage(std::FILE* stream) {
  std::fputs(kUsageHead, stream);
  std::fputs(kScanUsage, stream);
  std::fputs(kRecoverUsage, stream);
  std::fputs(kPartitionsUsage, stream);
  std::fputs(kDrivesUsage, stream);
  std::fputs(kFiltersUsage, stream);
  std::fputs(kUsageTail, stream);
}

bool WantsHelp(const Arguments& arguments) {
  for (const auto& a : arguments) {
    if (a == u"-h" || a == u"--help") return true;
  }
  return false;
}

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
    cli::PrintUsage(stderr);
    return cli::kExitUsage;
  }
  const std::u16string command = arguments.front();
  if (command == u"-h" || command == u"--help" || command == u"help") {
    cli::PrintUsage(stdout);
    return cli::kExitOk;
  }
  if (command == u"--version") {
    std::puts("salvor-cli " SALVOR_VERSION);
    return cli::kExitOk;
  }
  arguments.erase(arguments.begin());
  const char* command_usage = command == u"scan"      ? cli::kScanUsage
                              : command == u"recover" ? cli::kRecoverUsage
                              : command == u"partitions" ? cli::kPartitionsUsage
                              : command == u"drives"  ? cli::kDrivesUsage
                              : command == u"filters" ? cli::kFiltersUsage
                                                      : nullptr;
  if (command_usage != nullptr && cli::WantsHelp(arguments)) {
    std::printf("Usage: salvor-cli %s", command_usage + 2);
    return cli::kExitOk;
  }
  if (command == u"scan") return cli::RunScan(arguments);
  if (command == u"recover") return cli::RunRecover(arguments);
  if (command == u"partitions") return cli::RunPartitions(arguments);
  if (command == u"drives") return cli::RunDrives(arguments);
  if (command == u"filters") return cli::RunFilters(arguments);
  cli::PrintUsageError(u"unknown command '" + command + u"'");
  return cli::kExitUsage;
}
