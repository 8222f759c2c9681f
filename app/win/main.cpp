// Salvor.exe: the start-up sequence, then the main window until it closes.
// The entry returns the first non-zero code of its steps: -1 the module
// could not be initialised, -2 the command line is not understood, -3 the
// program was started again elevated.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/core/command_line.h"
#include "app/win/main_dlg.h"
#include "app/win/startup.h"
#include "app/win/ui_texts.h"
#include "skin/win/resources.h"

namespace {

using namespace salvor;

bool load_skin_resources() {
  return skin::LoadSkins() == 1 && skin::LoadStyles() == 1 && skin::LoadStrings() == 1;
}

std::wstring quoted_arguments(const std::vector<std::u16string>& arguments) {
  std::wstring line;
  for (const std::u16string& a : arguments) {
    if (!line.empty()) line += L' ';
    line += L'"';
    line += win::W(a);
    line += L'"';
  }
  return line;
}

int run() {
  win::ModuleInfo module;
  if (!win::InitModule(module)) return -1;
  const std::vector<std::u16string> arguments = win::CommandLineArguments();
  const auto switches = app::ParseSwitches(arguments);
  if (!switches) return -2;

  // Raw volume reads need administrator rights. The restart carries a mark,
  // so that a system that still says "below high" after it does not start
  // copies without end.
  if (!switches->elevated && win::BelowHighIntegrity()) {
    std::wstring line = quoted_arguments(arguments);
    line += line.empty() ? L"" : L" ";
    line += win::W(std::u16string(app::kElevatedSwitch));
    if (!win::RestartElevated(module.exe_path, line))
      MessageBoxW(nullptr, L"Please run Salvor with an administrator account.", win::kProductTitle, MB_ICONWARNING);
    return -3;
  }

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  LoadLibraryW(L"RICHED20.DLL");
  int code = 0;
  if (switches->setup_cache) {
    load_skin_resources();
  } else if (switches->safe_monitor || switches->uninstall) {
  } else if (switches->install_local_engine) {
    if (!win::RaiseStoredWindow()) load_skin_resources();
  } else if (!win::ClaimSingleInstance()) {
    win::RaiseRunningCopy(module.exe_path);
  } else {
    // Relative resources ("img\Drives.bmp", ".\KVN.ini") are the program's.
    SetCurrentDirectoryW(module.directory.c_str());
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    if (!load_skin_resources()) {
      MessageBoxW(nullptr, L"The program's skin resources are damaged.", win::kProductTitle, MB_ICONERROR);
      code = 1;
    } else {
      win::AllowDropMessages();
      win::CMainDlg window(module, switches->do_value);
      if (window.DoModal(nullptr) == -1) code = 1;
    }
  }
  CoUninitialize();
  return code;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return run(); }
