// The File Filter's two native controls, each drawing itself: the parent's
// messages for its control (item drawing and measuring, colours) are taken
// by subclassing the parent, as the skin's list and tree controls do, so
// the dialog needs no code for them.
//
// CMyCombobox: a drop-down list combo box with owner-drawn rows.
// CSoftMgrQueryEdit: an edit box with a hint text and a hint flag (set at
// first): while it is set the text is grey (0x666666), else black, both on
// white. Gaining focus clears the flag (and empties the box when it shows
// the hint); losing it with an empty box sets the flag and shows the hint.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace salvor::win {

class CMyCombobox {
 public:
  static constexpr int kRowHeight = 22;
  CMyCombobox() = default;
  ~CMyCombobox();
  CMyCombobox(const CMyCombobox&) = delete;
  CMyCombobox& operator=(const CMyCombobox&) = delete;

  // `rect` is the closed box with its list below (the window's height is
  // the list's).
  bool Create(HWND parent, int ctrl_id, const RECT& rect);
  HWND hwnd() const { return hwnd_; }
  int AddRow(std::u16string_view text);
  void SetSelection(int row);
  int Selection() const;

 private:
  static LRESULT CALLBACK ParentProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  void DrawRow(const DRAWITEMSTRUCT& item) const;
  void Release();

  HWND hwnd_ = nullptr;
  HWND parent_ = nullptr;
  int ctrl_id_ = 0;
  HFONT font_ = nullptr;
};

class CSoftMgrQueryEdit {
 public:
  CSoftMgrQueryEdit() = default;
  ~CSoftMgrQueryEdit();
  CSoftMgrQueryEdit(const CSoftMgrQueryEdit&) = delete;
  CSoftMgrQueryEdit& operator=(const CSoftMgrQueryEdit&) = delete;

  bool Create(HWND parent, int ctrl_id, const RECT& rect, std::u16string hint = u"");
  HWND hwnd() const { return hwnd_; }
  void SetText(std::u16string_view text);
  std::u16string Text() const;
  void SetReadOnly(bool read_only);
  bool hint_shown() const { return hint_shown_; }

 private:
  static LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK ParentProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  void Release();

  HWND hwnd_ = nullptr;
  HWND parent_ = nullptr;
  std::u16string hint_;
  bool hint_shown_ = true;
  HBRUSH white_ = nullptr;
};

}  // namespace salvor::win
