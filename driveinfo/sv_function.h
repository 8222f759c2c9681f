// CSvFunction: Surveyor's component. Attached to the program's registry as
// "ComponentName_Salvor_DllMain", it handles "Cmd_SV_DirveInformation" by
// surveying the drives and answering, from inside that call, with
// "Cmd_SV_BackDriveInfo" and the address of the list; "Cmd_SV_DiskInformation"
// the same way with the whole disks it can read.
#pragma once

#include "common/component.h"
#include "common/drive_info.h"

namespace salvor::driveinfo {

class CSvFunction : public IComponent, public IResponseCommand {
 public:
  CSvFunction() = default;
  CSvFunction(const CSvFunction&) = delete;
  CSvFunction& operator=(const CSvFunction&) = delete;
  virtual ~CSvFunction() = default;

  // IComponent
  const WChar* GetComponentName(WChar* buffer, int count) override;
  void* QueryInterface(const WChar* name, IComponent* reserved) override;
  // IResponseCommand: always 0; the answer travels as a command of its own.
  int OnDispatchCommand(const WChar* command, void* data) override;
  int OnDispatchCommand(int /*id*/, uint32_t /*parameter*/) override { return 0; }
};

// The library's component.
CSvFunction& TheSurveyor();

// The scannable drives under the build's rules.
DriveInfoList SurveyDrives();
// The readable whole disks (kPhysicalDiskText records).
DriveInfoList SurveyDisks();

}  // namespace salvor::driveinfo
