// Creating the native control behind one of the owner-drawn controls: a
// child window of a common-controls class with a control id, handed to the
// control's Attach (which subclasses it); a window that Attach refuses is
// destroyed again, so a failed Create leaves nothing behind.
#pragma once

#include <windows.h>

namespace salvor::skin {

template <class Attach>
bool CreateChildControl(const wchar_t* class_name, DWORD style, HWND parent, int ctrl_id,
                        const RECT& rect, Attach&& attach) {
  HWND hwnd = CreateWindowExW(0, class_name, L"", style, rect.left, rect.top,
                              rect.right - rect.left, rect.bottom - rect.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(ctrl_id)),
                              GetModuleHandleW(nullptr), nullptr);
  if (hwnd == nullptr) return false;
  if (!attach(hwnd)) {
    DestroyWindow(hwnd);
    return false;
  }
  return true;
}

}  // namespace salvor::skin
