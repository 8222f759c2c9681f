// Driving the real Salvor.exe from another process, as a user would: find
// its windows, click skin elements by id, and read back what they show
// (element texts and states through the skin's automation message, list
// rows and tree items through the common controls' messages, with buffers
// inside the program's process).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace salvor::testing {

// Polls `done` every 50 ms until it holds or `timeout` passed.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);

class RemoteProgram {
 public:
  RemoteProgram() = default;
  ~RemoteProgram();
  RemoteProgram(const RemoteProgram&) = delete;
  RemoteProgram& operator=(const RemoteProgram&) = delete;

  // Starts `exe` (in its own folder) and waits for its main window.
  bool Start(const std::wstring& exe, const std::wstring& arguments = L"");
  // Ends the program (WM_CLOSE, then termination after a while).
  void Close();
  DWORD pid() const { return process_.dwProcessId; }
  HANDLE process() const { return process_.hProcess; }
  bool Exited(std::chrono::milliseconds timeout, DWORD* code = nullptr) const;

  HWND main() const { return main_; }
  // A skinned window of the program showing layout `layout` (top-level or
  // a child), or null.
  HWND FindLayout(unsigned layout) const;
  HWND WaitLayout(unsigned layout, std::chrono::milliseconds timeout) const;

  // The native control `ctrl_id` inside a skinned window's view.
  HWND Control(HWND dialog, int ctrl_id) const;

  // Skin elements, by id.
  bool Click(HWND dialog, int id) const;
  bool Shown(HWND dialog, int id) const;
  bool Checked(HWND dialog, int id) const;
  std::u16string Text(HWND dialog, int id) const;
  std::u16string Attribute(HWND dialog, int id, const std::string& name) const;

  // List views.
  int RowCount(HWND list) const;
  std::u16string CellText(HWND list, int row, int column) const;
  bool SelectRow(HWND list, int row) const;
  // Tree views: every item, depth first, with its full path of texts
  // ("E:\Docs\Old"); items are expanded on the way.
  struct TreeItem {
    HTREEITEM item;
    std::u16string path;
  };
  std::vector<TreeItem> TreeItems(HWND tree) const;
  // One level: the children of `parent` (null: the roots) with their texts
  // alone in `path`; nothing is expanded.
  std::vector<TreeItem> TreeChildren(HWND tree, HTREEITEM parent) const;
  // A left click in the middle of the item's text, through the cursor.
  bool ClickTreeItem(HWND tree, HTREEITEM item) const;

 private:
  LRESULT Automation(HWND dialog, unsigned op, int id) const;
  std::u16string AutomationText(HWND dialog, unsigned op, int id) const;
  // A buffer of `bytes` inside the program.
  struct RemoteBuffer {
    HANDLE process;
    void* address;
    RemoteBuffer(HANDLE p, size_t bytes);
    ~RemoteBuffer();
    bool Write(const void* data, size_t bytes, size_t offset = 0) const;
    bool Read(void* data, size_t bytes, size_t offset = 0) const;
  };

  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
  HWND receiver_ = nullptr;  // takes WM_COPYDATA replies
};

// Writes the screen's pixels under `window` (with whatever lies over it) as a
// 24-bit BMP; false when nothing could be captured.
bool CaptureWindow(HWND window, const std::wstring& path);

// What a capture looks like, for checking it is a real picture of the
// program: distinct colours, and how many pixels are near a colour.
struct CaptureStats {
  int width = 0, height = 0;
  size_t distinct_colours = 0;
  size_t Near(COLORREF colour, int tolerance) const;
  std::vector<COLORREF> pixels;
};
bool ReadCapture(const std::wstring& path, CaptureStats& stats);

}  // namespace salvor::testing
