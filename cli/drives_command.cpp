// salvor-cli drives: the drives that can be scanned, as the desktop program
// lists them. The program's hub binds Surveyor from the component folder
// and asks it over the command bus; the answer is printed as a
// table or as JSON Lines.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/core/drive_survey.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "common/text.h"
#include "platform/platform.h"

namespace salvor::cli {
namespace {

constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
// Loop devices are listed only on request; Surveyor reads this variable.
constexpr const char* kIncludeLoopVariable = "SALVOR_SURVEYOR_LOOP";

struct DrivesOptions {
  bool json = false;
  bool loop = false;
};

std::string Gigabytes(double gb) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f GB", gb);
  return text;
}

// The byte count behind a GiB figure; exact for every size below 8 PiB.
unsigned long long Bytes(double gb) { return static_cast<unsigned long long>(std::llround(gb * kGiB)); }

std::string DriveJson(const DriveInfo& drive) {
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
  return json + numbers + "}";
}

void PrintTable(const DriveInfoList& drives) {
  size_t root_width = 4;
  for (const DriveInfo& drive : drives) root_width = std::max(root_width, text::to_utf8(drive.RootPath).size());
  const auto row = [&](const std::string& root, const std::string& type, const std::string& fs,
                       const std::string& capacity, const std::string& free) {
    char line[512];
    std::snprintf(line, sizeof line, "%-*s  %-24s  %-11s  %12s  %12s", static_cast<int>(root_width), root.c_str(),
                  type.c_str(), fs.c_str(), capacity.c_str(), free.c_str());
    WriteLine(stdout, line);
  };
  row("ROOT", "TYPE", "FILE SYSTEM", "CAPACITY", "FREE");
  for (const DriveInfo& drive : drives) {
    row(text::to_utf8(drive.RootPath), text::to_utf8(drive.TypeText), text::to_utf8(drive.FileSystem),
        Gigabytes(drive.TotalGB), drive.SpaceKnown ? Gigabytes(drive.FreeGB) : "unknown");
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
    } else {
      PrintUsageError(u"unknown argument '" + a + u"' for drives");
      return kExitUsage;
    }
  }
  if (options.loop) platform::set_environment_variable(kIncludeLoopVariable, "1");

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
  if (options.json) {
    for (const DriveInfo& drive : *drives) WriteLine(stdout, DriveJson(drive));
  } else {
    PrintTable(*drives);
  }
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace salvor::cli
