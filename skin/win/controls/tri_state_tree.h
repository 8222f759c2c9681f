// Three-state check trees: the native tree view, subclassed, with each
// item's state image index (bits 12..15 of the item state) as its check box:
// 0 none, 1 unchecked, 2 checked, 3 partially checked. A click on the state
// icon or the space key toggles the item with the propagation rules of
// salvor::CheckTree (the one implementation of them) unless the tree is
// locked, then tells the parent (WM_NOTIFY code 1 with the tree's id).
//
// CRw3StateCheckTreeCtrl10 behaves the same with the look of the Windows 10
// explorer: the "Explorer" visual theme (hot tracking, arrow buttons), no
// connecting lines, and double-buffered drawing. (A tighter indent was
// considered, but the native tree keeps a minimum of about 19 pixels.)
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string_view>
#include <unordered_map>

namespace salvor::skin {

class CRw3StateCheckTreeCtrl {
 public:
  CRw3StateCheckTreeCtrl() = default;
  virtual ~CRw3StateCheckTreeCtrl();
  CRw3StateCheckTreeCtrl(const CRw3StateCheckTreeCtrl&) = delete;
  CRw3StateCheckTreeCtrl& operator=(const CRw3StateCheckTreeCtrl&) = delete;

  // Creates a child tree view (buttons, lines, lines at root, selection
  // always shown, plus `extra_style`) and subclasses it.
  virtual bool Create(HWND parent, int ctrl_id, const RECT& rect, DWORD extra_style = 0);
  virtual bool Attach(HWND existing);
  HWND hwnd() const { return hwnd_; }

  // Inserts `text` as the last child of `parent` (TVI_ROOT or null for the
  // top level) with check state 0..3; selected_image -1 = same as image.
  HTREEITEM InsertItem(HTREEITEM parent, std::u16string_view text, int check_state,
                       int image = 0, int selected_image = -1);
  void DeleteAllItems();

  // Sets one item's check state (0..3), nothing else.
  void SetCheck(HTREEITEM item, int state);
  // Sets `item` and its subtree, then settles the ancestors.
  void SetCheckWithPropagation(HTREEITEM item, bool checked);
  int GetCheck(HTREEITEM item) const;
  // What a user's click on the check box does: true when states changed
  // (and the parent was notified); false when locked or without a box.
  bool ToggleItem(HTREEITEM item);

  void SetLocked(bool locked) { locked_ = locked; }
  bool locked() const { return locked_; }
  // Receives 2999 (the top-level window unless set).
  void SetMainWindow(HWND window) { main_window_ = window; }

  // Item text colours: the remembered item is drawn again in its colour
  // after the native painting when the tree has no focus or the item is not
  // shown selected, so it stays marked.
  void SetItemColour(HTREEITEM item, COLORREF colour);
  void RememberItem(HTREEITEM item);
  HTREEITEM remembered_item() const { return remembered_; }

  // Normal images: a 16 x 16, 24-bit list made from bitmap resource
  // `bitmap_id` (black is transparent) with "img\Drives.bmp" (current
  // directory) appended. False when the bitmap is missing.
  bool SetImageListFromBitmap(unsigned bitmap_id);

 protected:
  // Subclass hook; the default handles toggling, painting and 2999.
  virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  // Called once the window is subclassed (set styles, image lists...).
  virtual void OnAttached();
  // Called for the parent's WM_NOTIFY from this tree (TVN_*). True when
  // handled with `result`.
  virtual bool OnParentNotify(NMHDR& hdr, LRESULT& result);
  LRESULT DefaultProc(UINT msg, WPARAM wp, LPARAM lp);
  HWND MainWindow() const;
  void ApplyCheckState(HTREEITEM item, int state);

  HWND hwnd_ = nullptr;
  HWND parent_ = nullptr;

 private:
  static LRESULT CALLBACK TreeProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK ParentProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  bool Subclass();
  void Unsubclass();
  void PaintRemembered(HDC dc);

  HIMAGELIST state_images_ = nullptr;
  HIMAGELIST normal_images_ = nullptr;
  HWND main_window_ = nullptr;
  bool locked_ = false;
  std::unordered_map<HTREEITEM, COLORREF> colours_;
  HTREEITEM remembered_ = nullptr;
};

class CRw3StateCheckTreeCtrl10 : public CRw3StateCheckTreeCtrl {
 protected:
  void OnAttached() override;
};

}  // namespace salvor::skin
