#include "tests/win/program/remote_window.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

#include "skin/win/dialog.h"

namespace salvor::testing {
namespace {

constexpr wchar_t kDialogClass[] = L"SalvorGwDialog";
constexpr DWORD kSendTimeoutMs = 5000;

// The text most recently received by the receiver window.
std::u16string g_received;

LRESULT CALLBACK receiver_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COPYDATA) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
    g_received.assign(static_cast<const char16_t*>(data->lpData), data->cbData / sizeof(char16_t));
    return TRUE;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND make_receiver() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = receiver_proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"SalvorTestReceiver";
  RegisterClassW(&wc);
  return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

struct Found {
  DWORD pid;
  unsigned layout;
  HWND hwnd;
};

bool is_layout(HWND hwnd, DWORD pid, unsigned layout) {
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner != pid) return false;
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (std::wstring(cls) != kDialogClass) return false;
  DWORD_PTR result = 0;
  const WPARAM wp = static_cast<WPARAM>(static_cast<uint64_t>(skin::gwauto::kLayoutId) << 32);
  if (!SendMessageTimeoutW(hwnd, skin::GwAutomationMessage(), wp, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
    return false;
  return result == layout;
}

BOOL CALLBACK find_child(HWND hwnd, LPARAM lp) {
  auto* found = reinterpret_cast<Found*>(lp);
  if (IsWindowVisible(hwnd) && is_layout(hwnd, found->pid, found->layout)) {
    found->hwnd = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK find_top(HWND hwnd, LPARAM lp) {
  auto* found = reinterpret_cast<Found*>(lp);
  if (IsWindowVisible(hwnd) && is_layout(hwnd, found->pid, found->layout)) {
    found->hwnd = hwnd;
    return FALSE;
  }
  EnumChildWindows(hwnd, &find_child, lp);
  return found->hwnd == nullptr;
}

}  // namespace

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(50);
  }
}

RemoteProgram::RemoteBuffer::RemoteBuffer(HANDLE p, size_t bytes)
    : process(p), address(VirtualAllocEx(p, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
RemoteProgram::RemoteBuffer::~RemoteBuffer() {
  if (address != nullptr) VirtualFreeEx(process, address, 0, MEM_RELEASE);
}
bool RemoteProgram::RemoteBuffer::Write(const void* data, size_t bytes, size_t offset) const {
  return WriteProcessMemory(process, static_cast<char*>(address) + offset, data, bytes, nullptr) != FALSE;
}
bool RemoteProgram::RemoteBuffer::Read(void* data, size_t bytes, size_t offset) const {
  return ReadProcessMemory(process, static_cast<char*>(address) + offset, data, bytes, nullptr) != FALSE;
}

RemoteProgram::~RemoteProgram() {
  Close();
  if (receiver_ != nullptr) DestroyWindow(receiver_);
}

bool RemoteProgram::Start(const std::wstring& exe, const std::wstring& arguments) {
  if (receiver_ == nullptr) receiver_ = make_receiver();
  std::wstring line = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  const std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/"));
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                      &process_)) {
    std::fprintf(stderr, "CreateProcess failed: %lu\n", GetLastError());
    return false;
  }
  main_ = WaitLayout(103, std::chrono::seconds(30));
  return main_ != nullptr;
}

void RemoteProgram::Close() {
  if (process_.hProcess == nullptr) return;
  if (main_ != nullptr && IsWindow(main_)) PostMessageW(main_, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process_.hProcess, 5000) != WAIT_OBJECT_0) {
    TerminateProcess(process_.hProcess, 1);
    WaitForSingleObject(process_.hProcess, 5000);
  }
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
  process_ = {};
  main_ = nullptr;
}

bool RemoteProgram::Exited(std::chrono::milliseconds timeout, DWORD* code) const {
  if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return false;
  if (code != nullptr) GetExitCodeProcess(process_.hProcess, code);
  return true;
}

HWND RemoteProgram::FindLayout(unsigned layout) const {
  Found found{process_.dwProcessId, layout, nullptr};
  EnumWindows(&find_top, reinterpret_cast<LPARAM>(&found));
  return found.hwnd;
}

HWND RemoteProgram::WaitLayout(unsigned layout, std::chrono::milliseconds timeout) const {
  HWND hwnd = nullptr;
  WaitFor([&] { return (hwnd = FindLayout(layout)) != nullptr; }, timeout);
  return hwnd;
}

HWND RemoteProgram::Control(HWND dialog, int ctrl_id) const {
  HWND view = GetDlgItem(dialog, skin::kGwViewId);
  return view != nullptr ? GetDlgItem(view, ctrl_id) : nullptr;
}

LRESULT RemoteProgram::Automation(HWND dialog, unsigned op, int id) const {
  DWORD_PTR result = 0;
  const WPARAM wp = static_cast<WPARAM>((static_cast<uint64_t>(op) << 32) | static_cast<uint32_t>(id));
  if (!SendMessageTimeoutW(dialog, skin::GwAutomationMessage(), wp, reinterpret_cast<LPARAM>(receiver_),
                           SMTO_NORMAL, kSendTimeoutMs, &result))
    return 0;
  return static_cast<LRESULT>(result);
}

std::u16string RemoteProgram::AutomationText(HWND dialog, unsigned op, int id) const {
  g_received.clear();
  if (Automation(dialog, op, id) == 0) return u"<no element>";
  return g_received;
}

bool RemoteProgram::Click(HWND dialog, int id) const {
  // Posted, as a click is: the program may open a modal dialog in return.
  const WPARAM wp = static_cast<WPARAM>((static_cast<uint64_t>(skin::gwauto::kClick) << 32) | static_cast<uint32_t>(id));
  return PostMessageW(dialog, skin::GwAutomationMessage(), wp, 0) != FALSE;
}
bool RemoteProgram::Shown(HWND dialog, int id) const {
  return (Automation(dialog, skin::gwauto::kState, id) & skin::gwauto::kShown) != 0;
}
bool RemoteProgram::Checked(HWND dialog, int id) const {
  return (Automation(dialog, skin::gwauto::kState, id) & skin::gwauto::kChecked) != 0;
}
std::u16string RemoteProgram::Text(HWND dialog, int id) const { return AutomationText(dialog, skin::gwauto::kText, id); }

std::u16string RemoteProgram::Attribute(HWND dialog, int id, const std::string& name) const {
  const std::u16string lines = AutomationText(dialog, skin::gwauto::kAttributes, id);
  const std::u16string wanted(name.begin(), name.end());
  size_t at = 0;
  while (at < lines.size()) {
    const size_t end = lines.find(u'\n', at);
    const std::u16string line = lines.substr(at, end == std::u16string::npos ? std::u16string::npos : end - at);
    if (line.rfind(wanted + u"=", 0) == 0) return line.substr(wanted.size() + 1);
    if (end == std::u16string::npos) break;
    at = end + 1;
  }
  return {};
}

int RemoteProgram::RowCount(HWND list) const { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

std::u16string RemoteProgram::CellText(HWND list, int row, int column) const {
  constexpr size_t kChars = 1024;
  RemoteBuffer buffer(process_.hProcess, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
  if (buffer.address == nullptr) return {};
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(buffer.address) + sizeof(LVITEMW));
  item.cchTextMax = kChars;
  buffer.Write(&item, sizeof item);
  const auto length = static_cast<size_t>(SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(buffer.address)));
  std::u16string text(std::min(length, kChars), u'\0');
  buffer.Read(text.data(), text.size() * sizeof(char16_t), sizeof(LVITEMW));
  return text;
}

bool RemoteProgram::SelectRow(HWND list, int row) const {
  RemoteBuffer buffer(process_.hProcess, sizeof(LVITEMW));
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  buffer.Write(&item, sizeof item);
  return SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(buffer.address)) != 0;
}

std::vector<RemoteProgram::TreeItem> RemoteProgram::TreeItems(HWND tree) const {
  std::vector<TreeItem> items;
  constexpr size_t kChars = 520;
  RemoteBuffer buffer(process_.hProcess, sizeof(TVITEMW) + kChars * sizeof(wchar_t));
  auto text_of = [&](HTREEITEM h) {
    TVITEMW item{};
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = h;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(buffer.address) + sizeof(TVITEMW));
    item.cchTextMax = kChars;
    buffer.Write(&item, sizeof item);
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(buffer.address));
    std::u16string text(kChars, u'\0');
    buffer.Read(text.data(), kChars * sizeof(char16_t), sizeof(TVITEMW));
    text.resize(text.find(u'\0'));
    return text;
  };
  struct Pending {
    HTREEITEM item;
    std::u16string parent_path;
  };
  std::vector<Pending> pending;
  for (auto h = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)); h != nullptr;
       h = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(h))))
    pending.push_back({h, u""});
  std::reverse(pending.begin(), pending.end());
  std::set<HTREEITEM> seen;
  while (!pending.empty() && items.size() < 100000) {
    const Pending p = pending.back();
    pending.pop_back();
    if (!seen.insert(p.item).second) continue;
    const std::u16string path = p.parent_path.empty() ? text_of(p.item) : p.parent_path + u"\\" + text_of(p.item);
    items.push_back({p.item, path});
    SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(p.item));
    std::vector<Pending> children;
    for (auto c = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(p.item)));
         c != nullptr;
         c = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(c))))
      children.push_back({c, path});
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  return items;
}

std::vector<RemoteProgram::TreeItem> RemoteProgram::TreeChildren(HWND tree, HTREEITEM parent) const {
  std::vector<TreeItem> items;
  constexpr size_t kChars = 520;
  RemoteBuffer buffer(process_.hProcess, sizeof(TVITEMW) + kChars * sizeof(wchar_t));
  auto next = [&](HTREEITEM h, WPARAM how) {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(h)));
  };
  for (HTREEITEM h = parent ? next(parent, TVGN_CHILD) : next(nullptr, TVGN_ROOT); h != nullptr; h = next(h, TVGN_NEXT)) {
    TVITEMW item{};
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = h;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(buffer.address) + sizeof(TVITEMW));
    item.cchTextMax = kChars;
    buffer.Write(&item, sizeof item);
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(buffer.address));
    std::u16string text(kChars, u'\0');
    buffer.Read(text.data(), kChars * sizeof(char16_t), sizeof(TVITEMW));
    text.resize(text.find(u'\0'));
    items.push_back({h, text});
  }
  return items;
}

bool RemoteProgram::ClickTreeItem(HWND tree, HTREEITEM item) const {
  SendMessageW(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
  RemoteBuffer buffer(process_.hProcess, sizeof(RECT));
  RECT rect{};
  std::memcpy(&rect, &item, sizeof item);  // in: the item; out: its rectangle
  buffer.Write(&rect, sizeof rect);
  if (!SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(buffer.address))) return false;
  buffer.Read(&rect, sizeof rect);
  POINT at{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  POINT screen = at;
  ClientToScreen(tree, &screen);
  SetCursorPos(screen.x, screen.y);
  // Posted: the tree waits for the button to come up inside its own
  // handling of the press.
  const LPARAM where = MAKELPARAM(at.x, at.y);
  PostMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, where);
  PostMessageW(tree, WM_LBUTTONUP, 0, where);
  const bool selected = WaitFor(
      [&] { return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)) == item; },
      std::chrono::seconds(5));
  // The click's own handling (the list filled) ends before these return.
  for (int i = 0; i < 3; ++i) {
    Sleep(50);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(GetAncestor(tree, GA_ROOT), WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored);
  }
  return selected;
}

bool CaptureWindow(HWND window, const std::wstring& path) {
  RECT rc{};
  if (!GetWindowRect(window, &rc)) return false;
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  if (w <= 0 || h <= 0) return false;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (dib != nullptr && mem != nullptr) {
    HGDIOBJ old = SelectObject(mem, dib);
    ok = BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY) != FALSE;
    GdiFlush();
    SelectObject(mem, old);
  }
  ReleaseDC(nullptr, screen);
  if (mem != nullptr) DeleteDC(mem);
  if (ok) {
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    const DWORD image_size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
    fh.bfSize = fh.bfOffBits + image_size;
    bi.bmiHeader.biSizeImage = image_size;
    FILE* f = _wfopen(path.c_str(), L"wb");
    ok = f != nullptr && fwrite(&fh, sizeof(fh), 1, f) == 1 && fwrite(&bi.bmiHeader, sizeof(bi.bmiHeader), 1, f) == 1 &&
         fwrite(bits, image_size, 1, f) == 1;
    if (f != nullptr && fclose(f) != 0) ok = false;
  }
  if (dib != nullptr) DeleteObject(dib);
  return ok;
}

bool ReadCapture(const std::wstring& path, CaptureStats& stats) {
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (f == nullptr) return false;
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  bool ok = fread(&fh, sizeof fh, 1, f) == 1 && fread(&ih, sizeof ih, 1, f) == 1 && ih.biBitCount == 24 &&
            ih.biWidth > 0 && ih.biHeight > 0 && ih.biWidth < 10000 && ih.biHeight < 10000;
  if (ok) {
    stats.width = ih.biWidth;
    stats.height = ih.biHeight;
    const size_t stride = (static_cast<size_t>(ih.biWidth) * 3 + 3) & ~size_t{3};
    std::vector<unsigned char> row(stride);
    stats.pixels.assign(static_cast<size_t>(ih.biWidth) * ih.biHeight, 0);
    std::set<COLORREF> colours;
    for (int y = 0; ok && y < ih.biHeight; ++y) {
      ok = fread(row.data(), stride, 1, f) == 1;
      for (int x = 0; ok && x < ih.biWidth; ++x) {
        const COLORREF c = RGB(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
        stats.pixels[static_cast<size_t>(ih.biHeight - 1 - y) * ih.biWidth + x] = c;
        if (colours.size() < 100000) colours.insert(c);
      }
    }
    stats.distinct_colours = colours.size();
  }
  fclose(f);
  return ok;
}

size_t CaptureStats::Near(COLORREF colour, int tolerance) const {
  size_t count = 0;
  for (COLORREF c : pixels) {
    if (std::abs(GetRValue(c) - GetRValue(colour)) <= tolerance && std::abs(GetGValue(c) - GetGValue(colour)) <= tolerance &&
        std::abs(GetBValue(c) - GetBValue(colour)) <= tolerance)
      ++count;
  }
  return count;
}

}  // namespace salvor::testing
