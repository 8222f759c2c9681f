// CHeaderCtrlEx: the native header control, subclassed and painted by the
// program: a stretched background slice from bitmap 1000, a separator slice
// over the right edge of every column and the column titles in the base
// font. Its height can be fixed instead of the native one.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace salvor::skin {

class CHeaderCtrlEx {
 public:
  // Bitmap with the two 3 x 20 slices: x 0..3 background, x 3..6 separator.
  static constexpr unsigned kBackgroundBitmapId = 1000;
  static constexpr int kSliceWidth = 3;
  static constexpr int kSliceHeight = 20;

  CHeaderCtrlEx() = default;
  ~CHeaderCtrlEx();
  CHeaderCtrlEx(const CHeaderCtrlEx&) = delete;
  CHeaderCtrlEx& operator=(const CHeaderCtrlEx&) = delete;

  // Creates a native header (WC_HEADER, child and visible) and subclasses it.
  bool Create(HWND parent, int ctrl_id, const RECT& rect, DWORD extra_style = 0);
  // Subclasses an existing header, e.g. the one a list view made.
  bool Attach(HWND existing);
  // Removes the subclass; the window stays.
  void Detach();
  HWND hwnd() const { return hwnd_; }

  // -1 (the default) keeps the native height; 0 or more replaces it. The
  // owning list is told to lay itself out again.
  void SetHeaderHeight(int height);
  int header_height() const { return height_; }

  // Paints the whole header into `dc` (used by WM_PAINT and WM_PRINTCLIENT).
  void Paint(HDC dc);

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                       UINT_PTR id, DWORD_PTR ref);
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);

  HWND hwnd_ = nullptr;
  int height_ = -1;
};

}  // namespace salvor::skin
