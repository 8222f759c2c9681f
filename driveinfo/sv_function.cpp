#include "driveinfo/sv_function.h"

#include "common/command_bus.h"
#include "driveinfo/drive_probe.h"
#include "driveinfo/drive_rules.h"

namespace salvor::driveinfo {

const WChar* CSvFunction::GetComponentName(WChar* buffer, int count) {
  return CopyComponentName(kSurveyorComponentName, buffer, count);
}

void* CSvFunction::QueryInterface(const WChar* name, IComponent* /*reserved*/) {
  return SameComponentName(name, kSurveyorComponentName) ? static_cast<IComponent*>(this) : nullptr;
}

int CSvFunction::OnDispatchCommand(const WChar* command, void* /*data*/) {
  const bool disks = CommandNameEquals(command, kCmdDiskInformation);
  if (!disks && !CommandNameEquals(command, kCmdDriveInformation)) return 0;
  // The request's data (the program sends the text "111") carries nothing
  // that the survey needs, so it is not dereferenced at all.
  try {
    DriveInfoList drives = disks ? SurveyDisks() : SurveyDrives();
    // Sent also when empty: an empty list is a valid answer. The list lives
    // until this send returns; the receiver copies what it keeps.
    SendNamedCommand(disks ? kCmdBackDiskInfo : kCmdBackDriveInfo, &drives);
  } catch (...) {
    // No exception crosses the library boundary; the request just goes
    // unanswered.
  }
  return 0;
}

CSvFunction& TheSurveyor() {
  static CSvFunction surveyor;
  return surveyor;
}

DriveInfoList SurveyDrives() {
  const SurveyRules rules = DefaultRules();
  return SelectDrives(ProbeVolumes(rules), rules);
}

DriveInfoList SurveyDisks() {
  const SurveyRules rules = DefaultRules();
  return SelectDrives(ProbeDisks(), rules);
}

}  // namespace salvor::driveinfo
