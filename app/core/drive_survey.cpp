#include "app/core/drive_survey.h"

#include "common/command_bus.h"

namespace salvor::app {

bool DriveSurvey::Start(std::u16string directory) {
  const bool bound = StartComponentModel(std::move(directory));
  RegisterProgramCommands();
  return bound;
}

std::optional<DriveInfoList> DriveSurvey::Request() {
  reply_.reset();
  std::u16string request = u"111";
  SendNamedCommand(kCmdDriveInformation, request.data());
  return std::move(reply_);
}

int DriveSurvey::OnDispatchCommand(const WChar* command, void* data) {
  // The list is Surveyor's and goes away when this call returns.
  if (CommandNameEquals(command, kCmdBackDriveInfo) && data) reply_ = *static_cast<const DriveInfoList*>(data);
  return 0;
}

}  // namespace salvor::app
