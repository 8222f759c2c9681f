// A top-level window for hosting one control in a test: it records the
// messages the controls send or post to it, and renders a window's client
// area into memory so tests can look at pixels.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace salvor::skin::test {

struct Logged {
  UINT msg;
  WPARAM wp;
  LPARAM lp;
  UINT notify_code;  // WM_NOTIFY only
  UINT_PTR notify_id;
};

class TestHost {
 public:
  TestHost(int width = 600, int height = 400, bool visible = false);
  ~TestHost();
  HWND hwnd() const { return hwnd_; }

  // Delivers everything already queued, then forgets what was logged.
  void Drain();
  // Dispatches queued messages (so posted ones reach the log).
  void Pump();
  // Pumps until `done` holds or `timeout_ms` passes; the result of `done`.
  bool PumpUntil(const std::function<bool()>& done, int timeout_ms);

  // Messages of number `msg` received since the last Drain, in order.
  std::vector<Logged> Received(UINT msg) const;
  // WM_NOTIFY messages with `code` since the last Drain.
  std::vector<Logged> Notified(UINT code) const;

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
  HWND hwnd_ = nullptr;
  std::vector<Logged> log_;
};

// The client area of `hwnd` drawn by WM_PRINTCLIENT over `background` into
// a 32-bit top-down bitmap; pixels as COLORREF.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<COLORREF> pixels;
  COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Picture RenderClient(HWND hwnd, COLORREF background = RGB(1, 2, 3));

// Client coordinates packed as a mouse message's lParam.
inline LPARAM MousePoint(int x, int y) { return MAKELPARAM(x, y); }
// A left click (down and up) at a client point.
void Click(HWND hwnd, int x, int y);

}  // namespace salvor::skin::test
