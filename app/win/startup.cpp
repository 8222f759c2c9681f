#include "app/win/startup.h"

#include <shellapi.h>

#include <cwchar>

#include "app/win/ui_texts.h"

namespace salvor::win {
namespace {

constexpr wchar_t kInstanceSection[] = L"{DF9F4C76-A498-4004-A3D2-3B212E81FCF1}";
constexpr wchar_t kWindowSection[] = L"{FF08A752-3C75-426f-84F0-379B74666273}";
constexpr DWORD kSectionBytes = 4;
constexpr DWORD kHighIntegrityRid = 0x3000;
constexpr WPARAM kRestoreCommand = 0xF122;  // SC_RESTORE with the low bits 2

std::wstring process_image(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) return {};
  wchar_t path[MAX_PATH * 2] = {};
  DWORD size = MAX_PATH * 2;
  const BOOL ok = QueryFullProcessImageNameW(process, 0, path, &size);
  CloseHandle(process);
  return ok ? std::wstring(path, size) : std::wstring();
}

struct Search {
  const std::wstring* exe_path;
  HWND found;
};

BOOL CALLBACK find_copy(HWND hwnd, LPARAM lp) {
  auto* search = reinterpret_cast<Search*>(lp);
  wchar_t title[256] = {};
  GetWindowTextW(hwnd, title, 256);
  if (std::wcscmp(title, kProductTitle) != 0) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == GetCurrentProcessId() || process_image(pid) != *search->exe_path) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HANDLE open_section(const wchar_t* name, bool& existed) {
  HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSectionBytes, name);
  existed = section != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
  return section;
}

}  // namespace

bool InitModule(ModuleInfo& info) {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return false;
  info.exe_path.assign(path, n);
  const size_t slash = info.exe_path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return false;
  info.directory = info.exe_path.substr(0, slash + 1);
  const std::wstring plain = info.exe_path.substr(0, slash);
  info.directory_plain.assign(plain.begin(), plain.end());

  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Salvor", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                      nullptr) == ERROR_SUCCESS) {
    if (RegQueryValueExW(key, L"Install Path", nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND) {
      RegSetValueExW(key, L"Install Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(info.directory.c_str()),
                     static_cast<DWORD>((info.directory.size() + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
  }
  return true;
}

std::vector<std::u16string> CommandLineArguments() {
  std::vector<std::u16string> arguments;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; argv != nullptr && i < argc; ++i)
    arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  if (argv != nullptr) LocalFree(argv);
  return arguments;
}

bool BelowHighIntegrity() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
  bool below = false;
  if (size > 0) {
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    auto* label = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data());
    if (GetTokenInformation(token, TokenIntegrityLevel, label, size, &size) && IsValidSid(label->Label.Sid)) {
      const UCHAR count = *GetSidSubAuthorityCount(label->Label.Sid);
      if (count > 0) below = *GetSidSubAuthority(label->Label.Sid, count - 1) < kHighIntegrityRid;
    }
  }
  CloseHandle(token);
  return below;
}

bool RestartElevated(const std::wstring& exe_path, const std::wstring& arguments) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.lpVerb = L"runas";
  info.lpFile = exe_path.c_str();
  info.lpParameters = arguments.c_str();
  info.nShow = SW_SHOWNORMAL;
  return ShellExecuteExW(&info) != FALSE;
}

bool ClaimSingleInstance() {
  bool existed = false;
  HANDLE section = open_section(kInstanceSection, existed);
  if (section == nullptr) return true;  // no section, no second-copy check
  return !existed;                      // the handle stays open with the process
}

void RaiseWindow(HWND hwnd) {
  if (IsIconic(hwnd)) SendMessageW(hwnd, WM_SYSCOMMAND, kRestoreCommand, 0);
  ShowWindow(hwnd, SW_SHOWNA);
  SetForegroundWindow(hwnd);
  SetFocus(hwnd);
}

bool RaiseRunningCopy(const std::wstring& exe_path) {
  Search search{&exe_path, nullptr};
  EnumWindows(&find_copy, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) return false;
  RaiseWindow(search.found);
  return true;
}

void StoreMainWindow(HWND hwnd) {
  bool existed = false;
  static HANDLE section = open_section(kWindowSection, existed);
  if (section == nullptr) return;
  if (void* view = MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, kSectionBytes)) {
    // Window handles carry 32 significant bits, also in 64-bit processes.
    const DWORD value = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(hwnd));
    CopyMemory(view, &value, sizeof value);
    UnmapViewOfFile(view);
  }
}

bool RaiseStoredWindow() {
  bool existed = false;
  HANDLE section = open_section(kWindowSection, existed);
  if (section == nullptr) return false;
  bool raised = false;
  if (existed) {
    if (void* view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, kSectionBytes)) {
      DWORD value = 0;
      CopyMemory(&value, view, sizeof value);
      UnmapViewOfFile(view);
      HWND hwnd = reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
      if (value != 0 && IsWindow(hwnd)) {
        RaiseWindow(hwnd);
        raised = true;
      }
    }
  }
  CloseHandle(section);
  return raised;
}

void AllowDropMessages() {
  using FilterFn = BOOL(WINAPI*)(UINT, DWORD);
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return;
  // Through void*: the system hands out every export as one function type.
  const auto filter = reinterpret_cast<FilterFn>(reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
  if (filter == nullptr) return;
  constexpr DWORD kAdd = 1;  // MSGFLT_ADD
  filter(0x49, kAdd);
  filter(WM_DROPFILES, kAdd);
}

}  // namespace salvor::win
