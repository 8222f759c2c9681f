// The skinned header: painted entirely by the program from bitmap 1000
// (background and separator slices) in the base font.
#include <windows.h>
#include <commctrl.h>

#include "skin/win/controls/header_ctrl.h"

#include <string>

#include "skin/win/controls/child_control.h"
#include "skin/win/resources.h"

namespace salvor::skin {
namespace {

constexpr UINT_PTR kSubclassId = 0x48445258;  // "HDRX"

}  // namespace

CHeaderCtrlEx::~CHeaderCtrlEx() { Detach(); }

bool CHeaderCtrlEx::Create(HWND parent, int ctrl_id, const RECT& rect, DWORD extra_style) {
  return CreateChildControl(WC_HEADERW, WS_CHILD | WS_VISIBLE | HDS_HORZ | extra_style, parent,
                            ctrl_id, rect, [this](HWND hwnd) { return Attach(hwnd); });
}

bool CHeaderCtrlEx::Attach(HWND existing) {
  if (!existing || hwnd_) return false;
  if (!SetWindowSubclass(existing, &SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
    return false;
  hwnd_ = existing;
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(GwFontPool::Instance().Get(0)), FALSE);
  InvalidateRect(hwnd_, nullptr, TRUE);
  return true;
}

void CHeaderCtrlEx::Detach() {
  if (!hwnd_) return;
  RemoveWindowSubclass(hwnd_, &SubclassProc, kSubclassId);
  hwnd_ = nullptr;
}

void CHeaderCtrlEx::SetHeaderHeight(int height) {
  height_ = height < 0 ? -1 : height;
  if (!hwnd_) return;
  // A list view places its header from HDM_LAYOUT only when its size really
  // changes (a size message alone is not enough under every comctl32):
  // widen it by a pixel and back.
  HWND owner = GetParent(hwnd_);
  if (owner) {
    RECT rc{};
    GetWindowRect(owner, &rc);
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    constexpr UINT kFlags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(owner, nullptr, 0, 0, width + 1, height, kFlags);
    SetWindowPos(owner, nullptr, 0, 0, width, height, kFlags);
    InvalidateRect(owner, nullptr, TRUE);
  }
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void CHeaderCtrlEx::Paint(HDC dc) {
  RECT client{};
  GetClientRect(hwnd_, &client);

  if (HBITMAP bitmap = GwBmpPool::Instance().Get(kBackgroundBitmapId)) {
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bitmap);
    const int old_mode = SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, client.left, client.top, client.right - client.left, client.bottom - client.top,
               mem, 0, 0, kSliceWidth, kSliceHeight, SRCCOPY);
    const int count = static_cast<int>(SendMessageW(hwnd_, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      RECT item{};
      if (!SendMessageW(hwnd_, HDM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item))) continue;
      StretchBlt(dc, item.right - kSliceWidth, item.top, kSliceWidth, item.bottom - item.top, mem,
                 kSliceWidth, 0, kSliceWidth, kSliceHeight, SRCCOPY);
    }
    SetStretchBltMode(dc, old_mode);
    SelectObject(mem, old);
    DeleteDC(mem);
  }

  HGDIOBJ old_font = SelectObject(dc, GwFontPool::Instance().Get(0));
  const int old_bk = SetBkMode(dc, TRANSPARENT);
  const COLORREF old_colour = SetTextColor(dc, RGB(0, 0, 0));
  const int count = static_cast<int>(SendMessageW(hwnd_, HDM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    RECT item{};
    if (!SendMessageW(hwnd_, HDM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item))) continue;
    wchar_t text[260] = {};
    HDITEMW hd{};
    hd.mask = HDI_TEXT | HDI_FORMAT;
    hd.pszText = text;
    hd.cchTextMax = static_cast<int>(sizeof(text) / sizeof(text[0]));
    if (!SendMessageW(hwnd_, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&hd))) continue;
    UINT align = DT_LEFT;
    switch (hd.fmt & HDF_JUSTIFYMASK) {
      case HDF_CENTER: align = DT_CENTER; break;
      case HDF_RIGHT: align = DT_RIGHT; break;
      default: break;
    }
    InflateRect(&item, -2, 0);
    DrawTextW(dc, text, -1, &item, align | DT_END_ELLIPSIS | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  }
  SetTextColor(dc, old_colour);
  SetBkMode(dc, old_bk);
  SelectObject(dc, old_font);
}

LRESULT CHeaderCtrlEx::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      Paint(dc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wp));
      return 0;
    case WM_ERASEBKGND:
      // With the bitmap, Paint covers the whole client area and erasing
      // first would only flicker; without it the native erase stays.
      if (GwBmpPool::Instance().Get(kBackgroundBitmapId)) return 1;
      return DefSubclassProc(hwnd_, msg, wp, lp);
    case HDM_LAYOUT: {
      const LRESULT result = DefSubclassProc(hwnd_, msg, wp, lp);
      auto* layout = reinterpret_cast<HDLAYOUT*>(lp);
      if (height_ >= 0 && layout && layout->prc && layout->pwpos) {
        // The native layout put the header at the top of prc and moved
        // prc's top below it; redo both with our height.
        const int top = layout->pwpos->y;
        layout->pwpos->cy = height_;
        layout->prc->top = top + height_;
      }
      return result;
    }
    case WM_NCDESTROY: {
      const LRESULT result = DefSubclassProc(hwnd_, msg, wp, lp);
      Detach();
      return result;
    }
    default:
      return DefSubclassProc(hwnd_, msg, wp, lp);
  }
}

LRESULT CALLBACK CHeaderCtrlEx::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                             DWORD_PTR ref) {
  auto* self = reinterpret_cast<CHeaderCtrlEx*>(ref);
  if (!self || self->hwnd_ != hwnd) return DefSubclassProc(hwnd, msg, wp, lp);
  return self->OnMessage(msg, wp, lp);
}

}  // namespace salvor::skin
