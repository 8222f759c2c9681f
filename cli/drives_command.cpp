// salvor-cli drives: the drives that can be scanned, as the desktop program
// lists them. The program's hub binds Surveyor from the component folder
// and asks it over the command bus; the answer is printed as a
// table or as JSON Lines. With --all, every disk and partition the system
// knows, each with what its first sectors hold (read here, read-only, and
// decoded by the engine).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "app/core/disk_partitions.h"
#include "app/core/drive_survey.h"
#include "app/core/engine_binding.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "common/text.h"
#include "platform/platform.h"

namespace salvor::cli {
namespace {

constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
// Loop devices are listed only on request; Surveyor reads this variable.
constexpr const char* kIncludeLoopVariable = "SALVOR_SURVEYOR_LOOP";
// Every disk and partition, whatever its file system; Surveyor reads this.
constexpr const char* kListEveryVolumeVariable = "SALVOR_SURVEYOR_ALL";

struct DrivesOptions {
  bool json = false;
  bool loop = false;
  bool all = false;
};

// What the first sectors of a drive hold, decoded by the engine's parsers.
struct OnDisk {
  std::u16string what;       // "FAT32", ..., "blank", "unknown", "MBR", "GPT", "unreadable"
  bool scannable = false;    // a file system scan and recover take
  std::optional<size_t> partitions;  // a partition table: its partitions
};

OnDisk ReadOnDisk(const app::EngineBinding& engine, const std::u16string& root) {
  OnDisk on_disk{u"unreadable"};
  platform::RawVolume volume;
  // A Windows drive root (E:\) is read through its volume device (\\.\E:).
  const bool drive_root = root.size() == 3 && root[1] == u':' && root[2] == u'\\';
  const std::u16string path = drive_root ? u"\\\\.\\" + root.substr(0, 2) : root;
  if (!volume.open(path)) return on_disk;
  // One sector of the largest size in use (4096 bytes) holds the boot
  // sector and an MBR; a smaller volume is read as far as it goes.
  std::array<std::byte, 4096> first{};
  const auto got = volume.read_some_at(0, first);
  ReBootSectorInfo boot;
  if (!got || *got < 512 || !engine.ReProbeBootSector(first.data(), static_cast<uint32_t>(*got), &boot)) {
    return on_disk;
  }
  const char16_t* name_end = std::find(std::cbegin(boot.Name), std::cend(boot.Name), u'\0');
  on_disk.what = std::u16string(std::cbegin(boot.Name), name_end);
  on_disk.scannable = boot.Kind != 0;
  if (on_disk.what != u"unknown") return on_disk;
  // Something else at the start: a partition table, read without the
  // search for lost partitions.
  app::DiskVolumesRequest request;
  request.flags = kReListNoSearch;
  request.native_handle = volume.native_handle();
  const auto volumes = app::ReadDiskVolumes(engine, path, request);
  if (volumes && (volumes->table == kReTableMbr || volumes->table == kReTableGpt)) {
    on_disk.what = std::u16string(app::TableName(volumes->table));
    on_disk.partitions = volumes->partitions.size();
  }
  return on_disk;
}

std::string Gigabytes(double gb) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f GB", gb);
  return text;
}

// The byte count behind a GiB figure; exact for every size below 8 PiB.
unsigned long long Bytes(double gb) { return static_cast<unsigned long long>(std::llround(gb * kGiB)); }

std::string DriveJson(const DriveInfo& drive, const OnDisk* on_disk) {
  char numbers[160];
  std::string json = "{\"root\":" + JsonString(text::to_utf8(drive.RootPath)) +
                     ",\"type\":" + JsonString(text::to_utf8(drive.TypeText)) +
                     ",\"file_system\":" + JsonString(text::to_utf8(drive.FileSystem));
  std::snprintf(numbers, sizeof numbers, ",\"total_bytes\":%llu,\"total_gb\":%.2f", Bytes(drive.TotalGB),
                drive.TotalGB);
  json += numbers;
  if (drive.SpaceKnown) {
    std::snprintf(numbers, sizeof numbers, ",\"free_bytes\":%llu,\"free_gb\":%.2f,\"space_known\":true",
                  Bytes(drive.FreeGB), drive.FreeGB);
  } else {
    std::snprintf(numbers, sizeof numbers, ",\"free_bytes\":null,\"free_gb\":null,\"space_known\":false");
  }
  json += numbers;
  if (on_disk) {
    json += ",\"on_disk\":" + JsonString(text::to_utf8(on_disk->what));
    json += on_disk->scannable ? ",\"scannable\":true" : ",\"scannable\":false";
    if (on_disk->partitions) json += ",\"partitions\":" + std::to_string(*on_disk->partitions);
  }
  return json + "}";
}

std::string OnDiskText(const OnDisk& on_disk) {
  std::string text = text::to_utf8(on_disk.what);
  if (on_disk.partitions) text += " (" + std::to_string(*on_disk.partitions) + ")";
  return text;
}

// `on_disk`: one per drive, for --all (an extra column), or empty.
void PrintTable(const DriveInfoList& drives, const std::vector<OnDisk>& on_disk) {
  size_t root_width = 4;
  for (const DriveInfo& drive : drives) root_width = std::max(root_width, text::to_utf8(drive.RootPath).size());
  const auto row = [&](const std::string& root, const std::string& type, const std::string& fs,
                       const std::string& capacity, const std::string& free, const std::string& sectors) {
    char line[512];
    std::snprintf(line, sizeof line, "%-*s  %-24s  %-11s  %12s  %12s", static_cast<int>(root_width), root.c_str(),
                  type.c_str(), fs.c_str(), capacity.c_str(), free.c_str());
    WriteLine(stdout, on_disk.empty() ? std::string(line) : std::string(line) + "  " + sectors);
  };
  row("ROOT", "TYPE", "FILE SYSTEM", "CAPACITY", "FREE", "ON DISK");
  for (size_t i = 0; i < drives.size(); ++i) {
    const DriveInfo& drive = drives[i];
    const std::string file_system = drive.FileSystem.empty() ? "-" : text::to_utf8(drive.FileSystem);
    row(text::to_utf8(drive.RootPath), text::to_utf8(drive.TypeText), file_system, Gigabytes(drive.TotalGB),
        drive.SpaceKnown ? Gigabytes(drive.FreeGB) : "unknown", on_disk.empty() ? "" : OnDiskText(on_disk[i]));
  }
}

}  // namespace

int RunDrives(const Arguments& arguments) {
  DrivesOptions options;
  for (const std::u16string& a : arguments) {
    if (a == u"--json") {
      options.json = true;
    } else if (a == u"--loop") {
      options.loop = true;
    } else if (a == u"--all") {
      options.all = true;
    } else {
      PrintUsageError(u"unknown argument '" + a + u"' for drives");
      return kExitUsage;
    }
  }
  if (options.loop) platform::set_environment_variable(kIncludeLoopVariable, "1");
  if (options.all) platform::set_environment_variable(kListEveryVolumeVariable, "1");

  app::DriveSurvey survey;
  const std::u16string directory = ComponentDirectory();
  if (!survey.Start(directory)) {
    PrintError(u"cannot load the drive-information library " + app::ComponentLibraryPath(directory, u"Surveyor"));
    return kExitSource;
  }
  const auto drives = survey.Request();
  if (!drives) {
    PrintError(u"the drive-information library did not answer");
    return kExitSource;
  }

  if (drives->empty()) {
#if defined(_WIN32)
    const char* note = "no scannable drives found";
#else
    const char* note =
        "no scannable drives found (devices this user cannot read are not listed; loop devices only with --loop)";
#endif
    // Keeps standard output valid JSON Lines (empty) in JSON mode.
    WriteLine(options.json ? stderr : stdout, note);
    return kExitOk;
  }
  std::vector<OnDisk> on_disk;
  if (options.all) {
    app::EngineBinding engine;
    if (!engine.bind(directory)) {
      PrintError(engine.error);
      return kExitSource;
    }
    if (!engine.ReProbeBootSector || !engine.ReListPartitionsEx) {
      PrintError(u"the engine library lacks the boot-sector and partition list exports");
      return kExitSource;
    }
    for (const DriveInfo& drive : *drives) on_disk.push_back(ReadOnDisk(engine, drive.RootPath));
  }
  if (options.json) {
    for (size_t i = 0; i < drives->size(); ++i) {
      WriteLine(stdout, DriveJson((*drives)[i], on_disk.empty() ? nullptr : &on_disk[i]));
    }
  } else {
    PrintTable(*drives, on_disk);
  }
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace salvor::cli
