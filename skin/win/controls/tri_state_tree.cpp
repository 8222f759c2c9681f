// The three-state check trees. The propagation rules live in
// salvor::CheckTree; a toggle mirrors the affected top-level subtree of
// the native tree into one, applies the rule there and writes back only the
// items whose state changed.
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include "skin/win/controls/tri_state_tree.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "common/check_tree.h"
#include "skin/win/controls/check_glyphs.h"
#include "skin/win/controls/child_control.h"
#include "skin/win/controls/control_messages.h"
#include "skin/win/resources.h"

namespace salvor::skin {
namespace {

constexpr UINT_PTR kTreeSubclassId = 0x54335354;  // "T3ST"
constexpr int kImageSize = 16;

HTREEITEM Next(HWND tree, HTREEITEM item, UINT relation) {
  return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

// The native subtree under `top`, mirrored: ids[i] is the item of node i + 1.
struct Mirror {
  CheckTree tree;
  std::vector<HTREEITEM> items;
  std::unordered_map<HTREEITEM, CheckTree::NodeId> ids;
};

void BuildMirror(HWND hwnd, HTREEITEM top, int (*get_check)(HWND, HTREEITEM), Mirror& m) {
  // Bounded by the tree's own item count: a native tree cannot hold a cycle,
  // but a walk driven by window messages still gets a limit it can name.
  const size_t limit = static_cast<size_t>(SendMessageW(hwnd, TVM_GETCOUNT, 0, 0)) + 1;
  struct Pending {
    HTREEITEM item;
    CheckTree::NodeId parent;
  };
  std::vector<Pending> pending{{top, CheckTree::kNoNode}};
  while (!pending.empty() && m.items.size() < limit) {
    const Pending p = pending.back();
    pending.pop_back();
    const auto state = static_cast<CheckState>(get_check(hwnd, p.item) & 3);
    const CheckTree::NodeId id = m.tree.Insert(p.parent, u"", 0, 0, state);
    m.items.push_back(p.item);
    m.ids[p.item] = id;
    // Children are pushed in reverse so they are inserted in order.
    std::vector<HTREEITEM> children;
    for (HTREEITEM c = Next(hwnd, p.item, TVGN_CHILD); c && children.size() < limit; c = Next(hwnd, c, TVGN_NEXT))
      children.push_back(c);
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back({*it, id});
  }
}

int NativeCheck(HWND hwnd, HTREEITEM item) {
  const auto state = static_cast<UINT>(
      SendMessageW(hwnd, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK));
  return static_cast<int>((state & TVIS_STATEIMAGEMASK) >> 12);
}

HTREEITEM TopAncestor(HWND hwnd, HTREEITEM item) {
  const size_t limit = static_cast<size_t>(SendMessageW(hwnd, TVM_GETCOUNT, 0, 0)) + 1;
  for (size_t i = 0; i < limit; ++i) {
    HTREEITEM parent = Next(hwnd, item, TVGN_PARENT);
    if (!parent) break;
    item = parent;
  }
  return item;
}

}  // namespace

CRw3StateCheckTreeCtrl::~CRw3StateCheckTreeCtrl() {
  Unsubclass();
  if (state_images_) ImageList_Destroy(state_images_);
  if (normal_images_) ImageList_Destroy(normal_images_);
}

bool CRw3StateCheckTreeCtrl::Create(HWND parent, int ctrl_id, const RECT& rect, DWORD extra_style) {
  if (hwnd_ || !parent) return false;
  return CreateChildControl(WC_TREEVIEWW,
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES |
                                TVS_LINESATROOT | TVS_SHOWSELALWAYS | extra_style,
                            parent, ctrl_id, rect, [this](HWND hwnd) { return Attach(hwnd); });
}

bool CRw3StateCheckTreeCtrl::Attach(HWND existing) {
  if (!existing || hwnd_) return false;
  hwnd_ = existing;
  parent_ = GetParent(existing);
  if (!Subclass()) {
    hwnd_ = parent_ = nullptr;
    return false;
  }
  OnAttached();
  return true;
}

void CRw3StateCheckTreeCtrl::OnAttached() {
  // The native check boxes would toggle on their own and know only two
  // states; our own state images replace them.
  const LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
  if (style & TVS_CHECKBOXES) SetWindowLongPtrW(hwnd_, GWL_STYLE, style & ~static_cast<LONG_PTR>(TVS_CHECKBOXES));
  if (!state_images_) state_images_ = CreateCheckStateImageList();
  if (state_images_) SendMessageW(hwnd_, TVM_SETIMAGELIST, TVSIL_STATE, reinterpret_cast<LPARAM>(state_images_));
}

void CRw3StateCheckTreeCtrl10::OnAttached() {
  CRw3StateCheckTreeCtrl::OnAttached();
  const LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
  SetWindowLongPtrW(hwnd_, GWL_STYLE, style & ~static_cast<LONG_PTR>(TVS_HASLINES));
  SendMessageW(hwnd_, TVM_SETEXTENDEDSTYLE, TVS_EX_DOUBLEBUFFER, TVS_EX_DOUBLEBUFFER);
  // Without visual styles (or under an emulator without them) this changes
  // nothing, which is fine: the tree works the same.
  SetWindowTheme(hwnd_, L"Explorer", nullptr);
}

bool CRw3StateCheckTreeCtrl::Subclass() {
  if (!SetWindowSubclass(hwnd_, &TreeProc, kTreeSubclassId, reinterpret_cast<DWORD_PTR>(this))) return false;
  if (parent_ && !SetWindowSubclass(parent_, &ParentProc, reinterpret_cast<UINT_PTR>(this),
                                    reinterpret_cast<DWORD_PTR>(this))) {
    RemoveWindowSubclass(hwnd_, &TreeProc, kTreeSubclassId);
    return false;
  }
  return true;
}

void CRw3StateCheckTreeCtrl::Unsubclass() {
  if (parent_) RemoveWindowSubclass(parent_, &ParentProc, reinterpret_cast<UINT_PTR>(this));
  if (hwnd_) RemoveWindowSubclass(hwnd_, &TreeProc, kTreeSubclassId);
  parent_ = nullptr;
  hwnd_ = nullptr;
}

HWND CRw3StateCheckTreeCtrl::MainWindow() const {
  if (main_window_) return main_window_;
  return hwnd_ ? GetAncestor(hwnd_, GA_ROOT) : nullptr;
}

HTREEITEM CRw3StateCheckTreeCtrl::InsertItem(HTREEITEM parent, std::u16string_view text, int check_state,
                                             int image, int selected_image) {
  if (!hwnd_) return nullptr;
  std::u16string copy(text);
  TVINSERTSTRUCTW ins{};
  ins.hParent = parent ? parent : TVI_ROOT;
  ins.hInsertAfter = TVI_LAST;
  ins.item.mask = TVIF_TEXT | TVIF_STATE | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  ins.item.pszText = const_cast<wchar_t*>(reinterpret_cast<const wchar_t*>(copy.c_str()));
  ins.item.stateMask = TVIS_STATEIMAGEMASK;
  ins.item.state = INDEXTOSTATEIMAGEMASK(check_state & 3);
  ins.item.iImage = image;
  ins.item.iSelectedImage = selected_image < 0 ? image : selected_image;
  return reinterpret_cast<HTREEITEM>(SendMessageW(hwnd_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
}

void CRw3StateCheckTreeCtrl::DeleteAllItems() {
  if (hwnd_) SendMessageW(hwnd_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  colours_.clear();
  remembered_ = nullptr;
}

void CRw3StateCheckTreeCtrl::ApplyCheckState(HTREEITEM item, int state) {
  TVITEMW tv{};
  tv.mask = TVIF_HANDLE | TVIF_STATE;
  tv.hItem = item;
  tv.stateMask = TVIS_STATEIMAGEMASK;
  tv.state = INDEXTOSTATEIMAGEMASK(state & 3);
  SendMessageW(hwnd_, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
}

void CRw3StateCheckTreeCtrl::SetCheck(HTREEITEM item, int state) {
  if (hwnd_ && item && state >= 0 && state <= 3) ApplyCheckState(item, state);
}

int CRw3StateCheckTreeCtrl::GetCheck(HTREEITEM item) const {
  return hwnd_ && item ? NativeCheck(hwnd_, item) : 0;
}

namespace {

// Runs `change` on a mirror of the subtree holding `item` and writes the
// changed states back with drawing suspended. True when anything changed.
template <class Change, class Apply>
bool ChangeThroughMirror(HWND hwnd, HTREEITEM item, Change change, Apply apply) {
  Mirror m;
  BuildMirror(hwnd, TopAncestor(hwnd, item), &NativeCheck, m);
  const auto found = m.ids.find(item);
  if (found == m.ids.end()) return false;
  std::vector<CheckState> before;
  before.reserve(m.items.size());
  for (size_t i = 0; i < m.items.size(); ++i)
    before.push_back(m.tree.State(static_cast<CheckTree::NodeId>(i + 1)));
  if (!change(m.tree, found->second)) return false;
  SendMessageW(hwnd, WM_SETREDRAW, FALSE, 0);
  for (size_t i = 0; i < m.items.size(); ++i) {
    const CheckState now = m.tree.State(static_cast<CheckTree::NodeId>(i + 1));
    if (now != before[i]) apply(m.items[i], static_cast<int>(now));
  }
  SendMessageW(hwnd, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd, nullptr, TRUE);
  return true;
}

}  // namespace

void CRw3StateCheckTreeCtrl::SetCheckWithPropagation(HTREEITEM item, bool checked) {
  if (!hwnd_ || !item) return;
  ChangeThroughMirror(
      hwnd_, item,
      [checked](CheckTree& tree, CheckTree::NodeId node) {
        tree.SetCheckedWithPropagation(node, checked);
        return true;
      },
      [this](HTREEITEM changed, int state) { ApplyCheckState(changed, state); });
}

bool CRw3StateCheckTreeCtrl::ToggleItem(HTREEITEM item) {
  if (!hwnd_ || !item || locked_ || GetCheck(item) == kCheckNone) return false;
  const bool changed = ChangeThroughMirror(
      hwnd_, item, [](CheckTree& tree, CheckTree::NodeId node) { return tree.Toggle(node); },
      [this](HTREEITEM changed, int state) { ApplyCheckState(changed, state); });
  if (!changed) return false;
  if (parent_) {
    NMHDR hdr{};
    hdr.hwndFrom = hwnd_;
    hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(hwnd_));
    hdr.code = kTreeNotifyCheckChanged;
    SendMessageW(parent_, WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
  }
  return true;
}

void CRw3StateCheckTreeCtrl::SetItemColour(HTREEITEM item, COLORREF colour) {
  if (!item) return;
  colours_[item] = colour;
  if (hwnd_ && item == remembered_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void CRw3StateCheckTreeCtrl::RememberItem(HTREEITEM item) {
  remembered_ = item;
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

bool CRw3StateCheckTreeCtrl::SetImageListFromBitmap(unsigned bitmap_id) {
  if (!hwnd_) return false;
  HIMAGELIST list = ImageList_Create(kImageSize, kImageSize, ILC_COLOR24 | ILC_MASK, 8, 8);
  if (!list) return false;
  if (bitmap_id != 0) {
    HBITMAP bitmap = GwBmpPool::Instance().Get(bitmap_id);
    if (!bitmap || ImageList_AddMasked(list, bitmap, RGB(0, 0, 0)) < 0) {
      ImageList_Destroy(list);
      return false;
    }
  }
  // Relative to the current directory, as the program has always read it.
  if (HANDLE drives = LoadImageW(nullptr, L"img\\Drives.bmp", IMAGE_BITMAP, 0, 0,
                                 LR_LOADFROMFILE | LR_CREATEDIBSECTION)) {
    ImageList_AddMasked(list, static_cast<HBITMAP>(drives), RGB(0, 0, 0));
    DeleteObject(drives);
  }
  if (ImageList_GetImageCount(list) == 0) {
    ImageList_Destroy(list);
    return false;
  }
  SendMessageW(hwnd_, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(list));
  if (normal_images_) ImageList_Destroy(normal_images_);
  normal_images_ = list;
  return true;
}

void CRw3StateCheckTreeCtrl::PaintRemembered(HDC dc) {
  if (!remembered_ || !hwnd_) return;
  const bool focused = GetFocus() == hwnd_;
  const auto selected = SendMessageW(hwnd_, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(remembered_), TVIS_SELECTED);
  if (focused && (selected & TVIS_SELECTED)) return;  // the native selection shows it
  RECT rc{};
  *reinterpret_cast<HTREEITEM*>(&rc) = remembered_;
  if (!SendMessageW(hwnd_, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc))) return;  // scrolled away
  wchar_t text[520] = {};
  TVITEMW tv{};
  tv.mask = TVIF_HANDLE | TVIF_TEXT;
  tv.hItem = remembered_;
  tv.pszText = text;
  tv.cchTextMax = static_cast<int>(sizeof(text) / sizeof(text[0]));
  if (!SendMessageW(hwnd_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv))) return;
  const auto colour = colours_.find(remembered_);
  const int saved = SaveDC(dc);
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
  if (font) SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colour == colours_.end() ? RGB(0, 0, 0) : colour->second);
  InflateRect(&rc, -2, -2);
  DrawTextW(dc, text, -1, &rc, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
  RestoreDC(dc, saved);
}

LRESULT CRw3StateCheckTreeCtrl::DefaultProc(UINT msg, WPARAM wp, LPARAM lp) {
  return DefSubclassProc(hwnd_, msg, wp, lp);
}

LRESULT CRw3StateCheckTreeCtrl::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      TVHITTESTINFO hit{};
      hit.pt = POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(hwnd_, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
      if (item && (hit.flags & TVHT_ONITEMSTATEICON)) {
        // The state icon is ours: the native tree neither selects nor
        // starts a drag for it.
        if (GetFocus() != hwnd_) SetFocus(hwnd_);
        ToggleItem(item);
        return 0;
      }
      break;
    }
    case WM_LBUTTONUP: {
      const LRESULT result = DefaultProc(msg, wp, lp);
      if (HWND main = MainWindow())
        SendMessageW(main, kMsgTreeButtonUp, static_cast<WPARAM>(GetDlgCtrlID(hwnd_)), 0);
      return result;
    }
    case WM_KEYDOWN:
      if (wp == VK_SPACE) {
        HTREEITEM selected = Next(hwnd_, nullptr, TVGN_CARET);
        if (selected) ToggleItem(selected);
        return 0;
      }
      break;
    case WM_CHAR:
      if (wp == L' ') return 0;  // no incremental search on the toggle key
      break;
    case WM_PAINT: {
      const LRESULT result = DefaultProc(msg, wp, lp);
      if (remembered_) {
        HDC dc = GetDC(hwnd_);
        PaintRemembered(dc);
        ReleaseDC(hwnd_, dc);
      }
      return result;
    }
    case WM_PRINTCLIENT: {
      // The native tree paints only its items into a given DC; the
      // background it erases on screen is filled here so a printed copy
      // looks the same.
      if (HDC dc = reinterpret_cast<HDC>(wp)) {
        COLORREF background = static_cast<COLORREF>(SendMessageW(hwnd_, TVM_GETBKCOLOR, 0, 0));
        if (background == static_cast<COLORREF>(-1)) background = GetSysColor(COLOR_WINDOW);
        RECT rc{};
        GetClientRect(hwnd_, &rc);
        HBRUSH brush = CreateSolidBrush(background);
        FillRect(dc, &rc, brush);
        DeleteObject(brush);
      }
      const LRESULT result = DefaultProc(msg, wp, lp);
      PaintRemembered(reinterpret_cast<HDC>(wp));
      return result;
    }
    case WM_NCDESTROY: {
      HWND hwnd = hwnd_;
      Unsubclass();
      colours_.clear();
      remembered_ = nullptr;
      return DefSubclassProc(hwnd, msg, wp, lp);
    }
    default:
      break;
  }
  return DefaultProc(msg, wp, lp);
}

bool CRw3StateCheckTreeCtrl::OnParentNotify(NMHDR& hdr, LRESULT&) {
  if (hdr.code == TVN_DELETEITEMW || hdr.code == TVN_DELETEITEMA) {
    // Handles of deleted items are reused; forget their colours.
    const HTREEITEM item = reinterpret_cast<NMTREEVIEWW&>(hdr).itemOld.hItem;
    colours_.erase(item);
    if (item == remembered_) remembered_ = nullptr;
  }
  return false;
}

LRESULT CALLBACK CRw3StateCheckTreeCtrl::TreeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                                  DWORD_PTR ref) {
  auto* self = reinterpret_cast<CRw3StateCheckTreeCtrl*>(ref);
  if (!self || self->hwnd_ != hwnd) return DefSubclassProc(hwnd, msg, wp, lp);
  return self->OnMessage(msg, wp, lp);
}

LRESULT CALLBACK CRw3StateCheckTreeCtrl::ParentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                                    DWORD_PTR ref) {
  auto* self = reinterpret_cast<CRw3StateCheckTreeCtrl*>(ref);
  if (msg == WM_NOTIFY && self && self->hwnd_) {
    auto* hdr = reinterpret_cast<NMHDR*>(lp);
    LRESULT result = 0;
    if (hdr && hdr->hwndFrom == self->hwnd_ && self->OnParentNotify(*hdr, result)) return result;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace salvor::skin
