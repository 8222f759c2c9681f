#include "app/win/filter_controls.h"

#include <commctrl.h>

namespace salvor::win {
namespace {

constexpr UINT_PTR kEditSubclassId = 0x5E17;
constexpr COLORREF kHintColour = RGB(0x66, 0x66, 0x66), kTextColour = RGB(0, 0, 0), kWhite = RGB(255, 255, 255);
constexpr COLORREF kSelectedBack = RGB(0xDC, 0xEB, 0xFC), kSelectedText = RGB(0x1E, 0x2A, 0x3A),
                   kSelectedEdge = RGB(0x7D, 0xA2, 0xCE);

const wchar_t* W(std::u16string_view text, std::wstring& keep) {
  keep.assign(text.begin(), text.end());
  return keep.c_str();
}

std::u16string window_text(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
  return std::u16string(text.begin(), text.end());
}

}  // namespace

// ---- CMyCombobox ---------------------------------------------------------

CMyCombobox::~CMyCombobox() { Release(); }

void CMyCombobox::Release() {
  if (parent_ != nullptr) RemoveWindowSubclass(parent_, &ParentProc, reinterpret_cast<UINT_PTR>(this));
  parent_ = nullptr;
  hwnd_ = nullptr;
  if (font_ != nullptr) DeleteObject(font_);
  font_ = nullptr;
}

bool CMyCombobox::Create(HWND parent, int ctrl_id, const RECT& rect) {
  if (hwnd_ != nullptr || parent == nullptr) return false;
  // The rows are measured while the box is created: the parent must answer
  // for this control id already.
  parent_ = parent;
  ctrl_id_ = ctrl_id;
  if (!SetWindowSubclass(parent_, &ParentProc, reinterpret_cast<UINT_PTR>(this), reinterpret_cast<DWORD_PTR>(this))) {
    parent_ = nullptr;
    return false;
  }
  font_ = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Tahoma");
  hwnd_ = CreateWindowExW(0, WC_COMBOBOXW, L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED |
                              CBS_HASSTRINGS,
                          rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(ctrl_id)), GetModuleHandleW(nullptr), nullptr);
  if (hwnd_ == nullptr) {
    Release();
    return false;
  }
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  SendMessageW(hwnd_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), kRowHeight);
  SendMessageW(hwnd_, CB_SETITEMHEIGHT, 0, kRowHeight);
  return true;
}

int CMyCombobox::AddRow(std::u16string_view text) {
  std::wstring keep;
  return static_cast<int>(SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(text, keep))));
}

void CMyCombobox::SetSelection(int row) { SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(row), 0); }

int CMyCombobox::Selection() const { return static_cast<int>(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0)); }

void CMyCombobox::DrawRow(const DRAWITEMSTRUCT& item) const {
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  // The closed box shows its row plainly; the open list marks the row
  // under the mouse.
  const bool in_list = (item.itemState & ODS_COMBOBOXEDIT) == 0;
  const bool marked = selected && in_list;
  HBRUSH back = CreateSolidBrush(marked ? kSelectedBack : kWhite);
  FillRect(dc, &r, back);
  DeleteObject(back);
  if (marked) {
    HBRUSH edge = CreateSolidBrush(kSelectedEdge);
    FrameRect(dc, &r, edge);
    DeleteObject(edge);
  }
  if (item.itemID != static_cast<UINT>(-1)) {
    const int length = static_cast<int>(SendMessageW(hwnd_, CB_GETLBTEXTLEN, item.itemID, 0));
    if (length > 0) {
      std::wstring text(static_cast<size_t>(length) + 1, L'\0');
      SendMessageW(hwnd_, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data()));
      text.resize(static_cast<size_t>(length));
      HGDIOBJ old = SelectObject(dc, font_ != nullptr ? font_ : GetStockObject(DEFAULT_GUI_FONT));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, marked ? kSelectedText : kTextColour);
      r.left += 6;
      r.right -= 4;
      DrawTextW(dc, text.c_str(), length, &r, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
      SelectObject(dc, old);
    }
  }
  if ((item.itemState & ODS_FOCUS) != 0 && !in_list) {
    RECT focus = item.rcItem;
    DrawFocusRect(dc, &focus);
  }
}

LRESULT CALLBACK CMyCombobox::ParentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<CMyCombobox*>(data);
  switch (msg) {
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (measure == nullptr || measure->CtlType != ODT_COMBOBOX || static_cast<int>(measure->CtlID) != self->ctrl_id_)
        break;
      measure->itemHeight = kRowHeight;
      return TRUE;
    }
    case WM_DRAWITEM: {
      const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (draw == nullptr || draw->CtlType != ODT_COMBOBOX || draw->hwndItem != self->hwnd_) break;
      self->DrawRow(*draw);
      return TRUE;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, &ParentProc, reinterpret_cast<UINT_PTR>(self));
      self->parent_ = nullptr;
      self->hwnd_ = nullptr;
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

// ---- CSoftMgrQueryEdit ---------------------------------------------------

CSoftMgrQueryEdit::~CSoftMgrQueryEdit() { Release(); }

void CSoftMgrQueryEdit::Release() {
  if (hwnd_ != nullptr) RemoveWindowSubclass(hwnd_, &EditProc, kEditSubclassId);
  if (parent_ != nullptr) RemoveWindowSubclass(parent_, &ParentProc, reinterpret_cast<UINT_PTR>(this));
  hwnd_ = nullptr;
  parent_ = nullptr;
  if (white_ != nullptr) DeleteObject(white_);
  white_ = nullptr;
}

bool CSoftMgrQueryEdit::Create(HWND parent, int ctrl_id, const RECT& rect, std::u16string hint) {
  if (hwnd_ != nullptr || parent == nullptr) return false;
  hint_ = std::move(hint);
  hint_shown_ = true;
  std::wstring keep;
  hwnd_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, W(hint_, keep), WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                          rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(ctrl_id)), GetModuleHandleW(nullptr), nullptr);
  if (hwnd_ == nullptr) return false;
  parent_ = parent;
  white_ = CreateSolidBrush(kWhite);
  if (!SetWindowSubclass(hwnd_, &EditProc, kEditSubclassId, reinterpret_cast<DWORD_PTR>(this)) ||
      !SetWindowSubclass(parent_, &ParentProc, reinterpret_cast<UINT_PTR>(this), reinterpret_cast<DWORD_PTR>(this))) {
    HWND created = hwnd_;
    Release();
    DestroyWindow(created);
    return false;
  }
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return true;
}

void CSoftMgrQueryEdit::SetText(std::u16string_view text) {
  std::wstring keep;
  SetWindowTextW(hwnd_, W(text, keep));
}

std::u16string CSoftMgrQueryEdit::Text() const { return window_text(hwnd_); }

void CSoftMgrQueryEdit::SetReadOnly(bool read_only) {
  SendMessageW(hwnd_, EM_SETREADONLY, read_only ? TRUE : FALSE, 0);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

LRESULT CALLBACK CSoftMgrQueryEdit::EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<CSoftMgrQueryEdit*>(data);
  switch (msg) {
    case WM_SETFOCUS:
      if (self->hint_shown_) {
        self->hint_shown_ = false;
        if (!self->hint_.empty() && window_text(hwnd) == self->hint_) SetWindowTextW(hwnd, L"");
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      break;
    case WM_KILLFOCUS:
      if (GetWindowTextLengthW(hwnd) == 0) {
        self->hint_shown_ = true;
        std::wstring keep;
        SetWindowTextW(hwnd, W(self->hint_, keep));
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, &EditProc, kEditSubclassId);
      self->hwnd_ = nullptr;
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

LRESULT CALLBACK CSoftMgrQueryEdit::ParentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<CSoftMgrQueryEdit*>(data);
  switch (msg) {
    // A read-only edit box asks for the colours of a static control.
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lp) != self->hwnd_ || self->hwnd_ == nullptr) break;
      SetTextColor(reinterpret_cast<HDC>(wp), self->hint_shown_ ? kHintColour : kTextColour);
      SetBkColor(reinterpret_cast<HDC>(wp), kWhite);
      return reinterpret_cast<LRESULT>(self->white_);
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, &ParentProc, reinterpret_cast<UINT_PTR>(self));
      self->parent_ = nullptr;
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace salvor::win
