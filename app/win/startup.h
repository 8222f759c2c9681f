// The program's start-up steps before the main window: the program folder
// and the "Install Path" value, elevation, the single-instance check and the
// message filter.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace salvor::win {

// The executable's full path and its folder (with the trailing "\"), and
// "Install Path" under HKLM\SOFTWARE\Salvor written when it is missing.
// False when the executable's path cannot be read.
struct ModuleInfo {
  std::wstring exe_path;
  std::wstring directory;          // with the trailing separator
  std::u16string directory_plain;  // without it, as app/core takes folders
};
bool InitModule(ModuleInfo& info);

// The command line's arguments after the program name.
std::vector<std::u16string> CommandLineArguments();

// Whether this process runs below the high integrity level (and so should
// ask for elevation). False on systems without integrity levels.
bool BelowHighIntegrity();
// Starts the executable again with the "runas" verb and `arguments`.
bool RestartElevated(const std::wstring& exe_path, const std::wstring& arguments);

// The single-instance section: true when this is the first copy (the section
// stays open for the life of the process).
bool ClaimSingleInstance();
// Restores, raises and focuses the running copy's main window: the first
// top-level window titled with the product title whose process runs this
// same executable. False when none was found.
bool RaiseRunningCopy(const std::wstring& exe_path);

// "installlocalengine": the section holding the main window's handle.
// The main window stores its handle in it; a later start with the switch
// raises that window.
void StoreMainWindow(HWND hwnd);
bool RaiseStoredWindow();

// Raises a window the way a second start does.
void RaiseWindow(HWND hwnd);

// Lets Explorer's drops (0x49 and WM_DROPFILES) through to an elevated
// window, where the system has ChangeWindowMessageFilter.
void AllowDropMessages();

}  // namespace salvor::win
