// The command bus as seen from one module (the program, or a component
// library): the command names, the rule by which handlers recognise them,
// and the two free functions through which a module registers handlers and
// sends named commands.
//
// Every module that links this file gets its own copy of the state below
// (the registry pointer it resolves the bus from, and the cached bus), which
// is what the component model asks for: the program and Surveyor each
// resolve the one bus that the program owns, independently.
#pragma once

#include <string_view>

#include "common/component.h"

namespace salvor {

// Commands exchanged over the bus. The misspelling of "Dirve" is part of the
// protocol and is kept.
inline constexpr const WChar* kCmdDriveInformation = u"Cmd_SV_DirveInformation";
inline constexpr const WChar* kCmdBackDriveInfo = u"Cmd_SV_BackDriveInfo";
inline constexpr const WChar* kCmdIsHaveDisk = u"Cmd_SV_ISHAVEDISK";
inline constexpr const WChar* kCmdUserClickScanButton = u"Cmd_SV_UserClickScanButton";
inline constexpr const WChar* kCmdUserClickFormatScan = u"Cmd_SV_UserClickFormatScan";
// The whole disks Surveyor can read (Windows: \\.\PhysicalDriveN), for
// their partitions: asked apart from the drives, answered with a
// DriveInfoList of kPhysicalDiskText records in the same way.
inline constexpr const WChar* kCmdDiskInformation = u"Cmd_SV_DiskInformation";
inline constexpr const WChar* kCmdBackDiskInfo = u"Cmd_SV_BackDiskInfo";

// The component name under which the program registers its bus; its
// QueryInterface answers to the same name with the ICommandMan view.
inline constexpr const WChar* kCommandComponentName = u"Command";

// Command names compare case-insensitively, on the bus and in handlers.
// A null name matches nothing.
bool CommandNameEquals(const WChar* a, const WChar* b);

// The registry this module resolves the bus from: the program sets it at
// start-up of its hub, a library when it is attached. Setting a different
// registry forgets the bus cached from the previous one.
void SetComponentRegistry(IVantorComponentManager* registry);
IVantorComponentManager* ComponentRegistry();

// Registers `handler` for `command` on the bus; 0 when the bus cannot be
// resolved, else the bus's RegisterCommand result.
int RegisterCommandHandler(const WChar* command, IResponseCommand* handler);
// Sends `command` with `data` (owned by the caller, valid until the call
// returns); 0 when the bus cannot be resolved, else the handler's result.
int SendNamedCommand(const WChar* command, void* data);

}  // namespace salvor
