// Starts an installed Salvor.exe as the Start menu does (in its own folder)
// and checks what the user would see: the main window, shown, owned by a
// process running that very file, with the version the file's version
// resource gives and the engine bound. Ends the program again.
//
//   installer_probe EXE EXPECTED_VERSION [SCREENSHOT.bmp [COMMAND_LINE]]
//
// With COMMAND_LINE, that command is run (and waited for) while the program
// is up, and must fail: an uninstaller refusing to remove a running copy.
//
// Exit status 0 when everything holds; each failure is printed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/win/program/remote_window.h"

namespace {

using salvor::testing::RemoteProgram;

constexpr int kVersionText = 130, kStatusText = 3000;

std::wstring process_image(HANDLE process) {
  wchar_t path[MAX_PATH * 2] = {};
  DWORD size = MAX_PATH * 2;
  if (!QueryFullProcessImageNameW(process, 0, path, &size)) return L"";
  return std::wstring(path, size);
}

std::string narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: installer_probe EXE EXPECTED_VERSION [SCREENSHOT.bmp [COMMAND_LINE]]\n");
    return 2;
  }
  const std::wstring exe = argv[1];
  const std::wstring version = argv[2];
  int failures = 0;
  auto fail = [&](const std::string& what) {
    std::fprintf(stderr, "FAIL: %s\n", what.c_str());
    ++failures;
  };

  RemoteProgram program;
  if (!program.Start(exe)) {
    fail("no main window from " + narrow(exe));
    return 1;
  }
  if (!IsWindowVisible(program.main())) fail("the main window is not shown");
  const std::wstring image = process_image(program.process());
  if (CompareStringOrdinal(image.c_str(), -1, exe.c_str(), -1, TRUE) != CSTR_EQUAL)
    fail("the window belongs to " + narrow(image) + ", not " + narrow(exe));
  const std::u16string shown = program.Text(program.main(), kVersionText);
  const std::wstring expected = L"Version: " + version;
  if (std::wstring(shown.begin(), shown.end()) != expected)
    fail("the version reads \"" + narrow(std::wstring(shown.begin(), shown.end())) + "\", not \"" +
         narrow(expected) + "\"");
  // The status line tells when Gleaner.dll could not be bound.
  const std::u16string status = program.Text(program.main(), kStatusText);
  if (!status.empty()) fail("the status line says \"" + narrow(std::wstring(status.begin(), status.end())) + "\"");
  if (argc > 3 && !salvor::testing::CaptureWindow(program.main(), argv[3])) fail("no screenshot");
  if (argc > 4) {
    std::wstring line = argv[4];
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION command{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &command)) {
      fail("could not run " + narrow(line));
    } else {
      DWORD code = 0;
      if (WaitForSingleObject(command.hProcess, 60000) != WAIT_OBJECT_0) fail(narrow(line) + " did not end");
      GetExitCodeProcess(command.hProcess, &code);
      std::printf("while the program ran, %s exited %lu\n", narrow(line).c_str(), code);
      if (code == 0) fail(narrow(line) + " succeeded while the program ran");
      CloseHandle(command.hProcess);
      CloseHandle(command.hThread);
    }
  }
  std::printf("started %s: main window shown, \"%s\"\n", narrow(image).c_str(),
              narrow(std::wstring(shown.begin(), shown.end())).c_str());
  // The close box's message: the program ends without asking.
  PostMessageW(program.main(), WM_CLOSE, 0, 0);
  if (!program.Exited(std::chrono::seconds(10))) fail("the program did not end on WM_CLOSE");
  program.Close();
  return failures == 0 ? 0 : 1;
}
