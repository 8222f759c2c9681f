// DriveSurvey: a hub that asks Surveyor for the scannable drives, the way
// the program does at start-up: bind Surveyor from the program directory,
// send "Cmd_SV_DirveInformation", and keep a copy of the list that arrives
// with "Cmd_SV_BackDriveInfo" while that send is still running.
#pragma once

#include <optional>
#include <string>

#include "app/core/hub.h"
#include "common/drive_info.h"

namespace salvor::app {

class DriveSurvey : public CLeader {
 public:
  // Starts the component model and registers the program's commands.
  // False when Surveyor could not be bound from `directory` (the
  // executable's directory when empty).
  bool Start(std::u16string directory = {});
  // Sends the request; the list of the reply, or nothing when no reply came.
  std::optional<DriveInfoList> Request();

  int OnDispatchCommand(const WChar* command, void* data) override;
  using CLeader::OnDispatchCommand;

 private:
  std::optional<DriveInfoList> reply_;
};

}  // namespace salvor::app
