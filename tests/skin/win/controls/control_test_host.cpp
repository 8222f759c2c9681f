// The test host window and the in-memory rendering helper.
#include "control_test_host.h"

#include <objbase.h>

#include <string>

#include <gtest/gtest.h>

namespace salvor::skin::test {
namespace {

constexpr wchar_t kClassName[] = L"SalvorControlTestHost";

// Common controls and COM once per test program (the folder tree asks the
// shell for icons and names).
class ControlsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ControlsEnvironment);

ATOM RegisterHostClass(WNDPROC proc) {
  static ATOM atom = [proc] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassW(&wc);
  }();
  return atom;
}

// With SALVOR_CONTROL_DUMP set to a folder, every rendered picture is also
// written there as a BMP file, for a person to look at.
void DumpPicture(const Picture& picture) {
  wchar_t dir[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(L"SALVOR_CONTROL_DUMP", dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  static int counter = 0;
  const std::wstring path = std::wstring(dir) + L"\\pic" + std::to_wstring(++counter) + L".bmp";
  const int stride = picture.width * 4;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = picture.width;
  info.biHeight = -picture.height;
  info.biPlanes = 1;
  info.biBitCount = 32;
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(stride * picture.height);
  std::vector<std::uint32_t> bgra(picture.pixels.size());
  for (size_t i = 0; i < bgra.size(); ++i) {
    const COLORREF c = picture.pixels[i];
    bgra[i] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  }
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, &file, sizeof(file), &written, nullptr);
  WriteFile(h, &info, sizeof(info), &written, nullptr);
  WriteFile(h, bgra.data(), static_cast<DWORD>(bgra.size() * 4), &written, nullptr);
  CloseHandle(h);
}

}  // namespace

TestHost::TestHost(int width, int height, bool visible) {
  RegisterHostClass(&Proc);
  hwnd_ = CreateWindowExW(0, kClassName, L"control test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, width,
                          height, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (visible && hwnd_) {
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd_);
  }
}

TestHost::~TestHost() {
  if (hwnd_) DestroyWindow(hwnd_);
  Pump();
}

LRESULT CALLBACK TestHost::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<TestHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && (msg >= 2000 || msg == WM_NOTIFY)) {
    Logged entry{msg, wp, lp, 0, 0};
    if (msg == WM_NOTIFY && lp) {
      entry.notify_code = reinterpret_cast<const NMHDR*>(lp)->code;
      entry.notify_id = reinterpret_cast<const NMHDR*>(lp)->idFrom;
    }
    if (msg < WM_APP) self->log_.push_back(entry);
  }
  if (msg == WM_NCDESTROY && self) self->hwnd_ = nullptr;
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void TestHost::Pump() {
  MSG msg;
  for (int i = 0; i < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void TestHost::Drain() {
  Pump();
  log_.clear();
}

bool TestHost::PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
  while (!done()) {
    if (GetTickCount64() > end) return false;
    Pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

std::vector<Logged> TestHost::Received(UINT msg) const {
  std::vector<Logged> out;
  for (const Logged& l : log_)
    if (l.msg == msg) out.push_back(l);
  return out;
}

std::vector<Logged> TestHost::Notified(UINT code) const {
  std::vector<Logged> out;
  for (const Logged& l : log_)
    if (l.msg == WM_NOTIFY && l.notify_code == code) out.push_back(l);
  return out;
}

Picture RenderClient(HWND hwnd, COLORREF background) {
  Picture picture;
  RECT rc{};
  GetClientRect(hwnd, &rc);
  picture.width = rc.right;
  picture.height = rc.bottom;
  if (picture.width <= 0 || picture.height <= 0) return picture;
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
  bmi.bmiHeader.biWidth = picture.width;
  bmi.bmiHeader.biHeight = -picture.height;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP dib = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, dib);
  HBRUSH brush = CreateSolidBrush(background);
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
  SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  GdiFlush();
  picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height);
  const auto* src = static_cast<const std::uint32_t*>(bits);
  for (size_t i = 0; i < picture.pixels.size(); ++i) {
    const std::uint32_t bgra = src[i];
    picture.pixels[i] = RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF);
  }
  SelectObject(dc, old);
  DeleteObject(dib);
  DeleteDC(dc);
  DumpPicture(picture);
  return picture;
}

void Click(HWND hwnd, int x, int y) {
  SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MousePoint(x, y));
  SendMessageW(hwnd, WM_LBUTTONUP, 0, MousePoint(x, y));
}

}  // namespace salvor::skin::test
