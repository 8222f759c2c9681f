// The program's hub: CLeader holds the component registry and the command
// bus, and is the handler of the program's own commands. The main window
// derives from it and overrides the named OnDispatchCommand; salvor-cli uses
// the same hub to ask Surveyor for the drive list.
//
// Start-up order (StartComponentModel, then RegisterProgramCommands):
//   1. the registry becomes this module's registry for bus resolution;
//   2. the registry registers itself under its own name;
//   3. the bus registers under "Command";
//   4. Surveyor is bound from the program directory (failure is not fatal:
//      the drive list just stays empty);
//   5. (the engine is bound by its plain exports elsewhere);
//   6. the program's commands are registered with the hub as handler.
#pragma once

#include <string>
#include <string_view>

#include "app/core/component_manager.h"
#include "platform/platform.h"

namespace salvor::app {

class CLeader : public IResponseCommand {
 public:
  CLeader() = default;
  CLeader(const CLeader&) = delete;
  CLeader& operator=(const CLeader&) = delete;
  // A hub that goes away stops being the module's registry, so a late send
  // finds no bus instead of a dangling one.
  virtual ~CLeader();

  // The hub itself handles nothing; the main window overrides the named
  // operation.
  int OnDispatchCommand(const WChar* /*command*/, void* /*data*/) override { return 0; }
  int OnDispatchCommand(int /*id*/, uint32_t /*parameter*/) override { return 0; }

  CComponentManager& Manager() { return m_manager; }
  CCommand& Bus() { return m_command; }

  // Steps 1 to 4 above. `program_directory` without a trailing separator;
  // the executable's directory when empty. Returns whether Surveyor was bound.
  bool StartComponentModel(std::u16string program_directory = {});
  // Step 6: "Cmd_SV_BackDriveInfo", "Cmd_SV_UserClickScanButton",
  // "Cmd_SV_UserClickFormatScan" and "Cmd_SV_ISHAVEDISK", in that order.
  void RegisterProgramCommands();

 protected:
  CComponentManager m_manager;
  CCommand m_command;
};

// Full path of the component library `base_name` ("Surveyor") in
// `directory`, named as this OS names libraries.
std::u16string ComponentLibraryPath(std::u16string_view directory, std::u16string_view base_name);

// Loads the library at `path` and calls its GetVantorComponentPtr with the
// hub's registry. 0 when the library cannot be loaded or lacks the export
// (it is released again then), else 1 when the export returned non-zero. A
// bound library stays loaded for the life of the process.
int BindComponentLibrary(CLeader& hub, std::u16string_view path);

}  // namespace salvor::app
