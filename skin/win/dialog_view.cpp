// The dialog view: layout on size changes, rendering through an off-screen
// bitmap, mouse routing, notifications and the realwnd controls.
#include "skin/win/dialog_view.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

#include "common/text.h"
#include "skin/win/element_paint.h"
#include "skin/win/resources.h"
#include "skin/win/rich_text.h"

namespace salvor::skin {
namespace {

constexpr wchar_t kViewClass[] = L"SalvorGwDialogView";
// The off-screen bitmap is cleared to this where no element paints.
constexpr COLORREF kBlank = RGB(255, 255, 255);

}  // namespace

bool CGwDialogView::RegisterWindowClass() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &CGwDialogView::WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kViewClass;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

namespace {

RECT to_rect(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

bool is_clickable_tag(std::string_view tag) {
  return tag == "button" || tag == "imgbtn" || tag == "link";
}

}  // namespace

GwWinManager& GwWinManager::Instance() {
  static GwWinManager manager;
  return manager;
}

CGwDialogView::CGwDialogView() : measure_([](const CGwWindow& e) { return MeasureElement(e); }) {}

CGwDialogView::~CGwDialogView() {
  if (hwnd_ != nullptr && IsWindow(hwnd_)) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  DestroySurface();
  if (invalid_ != nullptr) DeleteObject(invalid_);
}

void CGwDialogView::SetLayout(std::unique_ptr<Layout> layout) {
  router_.reset();
  realwnd_rects_.clear();
  layout_ = std::move(layout);
  if (layout_)
    router_ = std::make_unique<MouseRouter>(*this, header(), body(), footer());
  Relayout();
}

HWND CGwDialogView::Create(HWND parent, int ctrl_id) {
  if (hwnd_ != nullptr || !RegisterWindowClass()) return nullptr;
  RECT client{};
  GetClientRect(parent, &client);
  hwnd_ = CreateWindowExW(0, kViewClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                          client.right, client.bottom, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(ctrl_id)),
                          GetModuleHandleW(nullptr), this);
  if (hwnd_ == nullptr) return nullptr;

  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (tooltip_ != nullptr) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip_, TTM_ACTIVATE, FALSE, 0);
  }
  RecreateSurface(client.right, client.bottom);
  Relayout();
  return hwnd_;
}

CGwWindow* CGwDialogView::FindItem(int id) const {
  for (CGwWindow* part : {header(), body(), footer()}) {
    if (part == nullptr) continue;
    if (part->id == id) return part;
    if (CGwWindow* found = part->find_by_id(id)) return found;
  }
  return nullptr;
}

void CGwDialogView::Relayout() {
  if (!layout_ || hwnd_ == nullptr) return;
  RECT client{};
  GetClientRect(hwnd_, &client);
  frame_layout(*layout_, Rect{0, 0, client.right, client.bottom}, measure_);
  for (CGwWindow* part : {header(), body(), footer()})
    if (part != nullptr) AfterLayout(*part);
  InvalidateAll();
}

void CGwDialogView::RelayoutElement(CGwWindow& e) {
  CGwWindow* parent = e.parent();
  if (parent == nullptr) {
    Relayout();
    return;
  }
  parent->relayout_child(e, measure_);
  AfterLayout(*parent);
}

bool CGwDialogView::SetRichText(CGwWindow& e, std::string_view markup_utf8) {
  std::vector<RichRun> runs;
  if (e.tag() != "richtext" || !parse_rich_text(markup_utf8, runs)) return false;
  request_repaint(*this, e);
  e.rich_runs = std::move(runs);
  e.rich_pieces.clear();
  RelayoutElement(e);
  LayoutRichText(e);
  request_repaint(*this, e);
  return true;
}

bool CGwDialogView::SelectTab(CGwWindow& tabctrl, int index) {
  auto allow = [&](int new_index, int old_index) {
    GwNotifyTabChanging n{};
    n.tabctrl_id = tabctrl.id;
    n.new_index = new_index;
    n.old_index = old_index;
    n.cancel = FALSE;
    SendNotify(n.hdr, gwn::kTabChanging);
    return n.cancel == FALSE;
  };
  // The notification may destroy or change the tree: hold the handle.
  const std::uint32_t handle = tabctrl.handle();
  if (!tabctrl.select_tab(index, allow, measure_)) return false;
  CGwWindow* still = CGwWindow::from_handle(handle);
  if (still == nullptr) return false;
  AfterLayout(*still);
  request_repaint(*this, *still);
  return true;
}

void CGwDialogView::ShowElement(CGwWindow& e, bool show) {
  const bool was_hidden = e.is_hidden();
  if (show == !was_hidden) return;
  CGwWindow* parent = e.parent();
  const bool flowed = parent != nullptr && !e.pos.has_position() && !e.is_floating();
  if (!show) {
    // Repaint before hiding: a hidden element asks for nothing.
    request_repaint(*this, e);
    e.state |= state::kHidden;
    if (flowed) {  // the rest of its line closes up
      parent->layout_children(measure_);
      AfterLayout(*parent);
      request_repaint(*this, *parent);
    } else {
      SyncRealWindows(e);
    }
    return;
  }
  e.state &= ~state::kHidden;
  RelayoutElement(e);
  SyncRealWindows(e);
  request_repaint(*this, flowed ? *parent : e);
}

void CGwDialogView::Invalidate(const Rect& rect) {
  if (rect.width() <= 0 || rect.height() <= 0) return;
  dirty_ = true;
  if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, FALSE);
  if (full_repaint_) return;
  HRGN r = CreateRectRgn(rect.left, rect.top, rect.right, rect.bottom);
  if (invalid_ == nullptr) {
    invalid_ = r;
  } else {
    CombineRgn(invalid_, invalid_, r, RGN_OR);
    DeleteObject(r);
  }
}

void CGwDialogView::InvalidateAll() {
  dirty_ = true;
  full_repaint_ = true;
  if (invalid_ != nullptr) {
    DeleteObject(invalid_);
    invalid_ = nullptr;
  }
  if (hwnd_ != nullptr) InvalidateRect(hwnd_, nullptr, FALSE);
}

void CGwDialogView::RenderNow() {
  if (dirty_) Render();
}

void CGwDialogView::Render() {
  if (surface_dc_ == nullptr) return;
  std::lock_guard guard(GwWinManager::Instance().lock());
  HGDIOBJ old_font = SelectObject(surface_dc_, GwFontPool::Instance().Get(0));
  SetBkMode(surface_dc_, TRANSPARENT);
  HRGN clip = full_repaint_ ? nullptr : invalid_;
  SelectClipRgn(surface_dc_, clip);
  HBRUSH blank = CreateSolidBrush(kBlank);
  RECT all{0, 0, surface_width_, surface_height_};
  FillRect(surface_dc_, &all, blank);
  DeleteObject(blank);
  for (CGwWindow* part : {header(), body(), footer()})
    if (part != nullptr) PaintTree(surface_dc_, *part, clip, hwnd_);
  SelectClipRgn(surface_dc_, nullptr);
  SelectObject(surface_dc_, old_font);
  if (invalid_ != nullptr) {
    DeleteObject(invalid_);
    invalid_ = nullptr;
  }
  full_repaint_ = false;
  dirty_ = false;
}

void CGwDialogView::RecreateSurface(int width, int height) {
  DestroySurface();
  width = std::max(1, width);
  height = std::max(1, height);
  HDC screen = GetDC(nullptr);
  surface_dc_ = CreateCompatibleDC(screen);
  surface_ = CreateCompatibleBitmap(screen, width, height);
  ReleaseDC(nullptr, screen);
  surface_old_ = SelectObject(surface_dc_, surface_);
  surface_width_ = width;
  surface_height_ = height;
  InvalidateAll();
}

void CGwDialogView::DestroySurface() {
  if (surface_dc_ == nullptr) return;
  SelectObject(surface_dc_, surface_old_);
  DeleteObject(surface_);
  DeleteDC(surface_dc_);
  surface_dc_ = nullptr;
  surface_ = nullptr;
}

void CGwDialogView::AfterLayout(CGwWindow& e) {
  if (e.tag() == "richtext") {
    LayoutRichText(e);
    return;  // its children are its link pieces
  }
  if (e.tag() == "realwnd") SyncRealWindows(e);
  for (const auto& child : e.children()) AfterLayout(*child);
}

void CGwDialogView::SyncRealWindows(CGwWindow& e) {
  if (e.tag() != "realwnd") {
    if (e.tag() == "richtext") return;
    for (const auto& child : e.children()) SyncRealWindows(*child);
    return;
  }
  const std::string* ctrl = e.class_attribute("ctrlid");
  if (hwnd_ == nullptr || ctrl == nullptr) return;
  HWND control = GetDlgItem(hwnd_, parse_decimal(*ctrl));
  if (control == nullptr) return;
  const bool hidden = e.hidden_in_tree();
  auto known = realwnd_rects_.find(e.handle());
  const bool moved = known == realwnd_rects_.end() || known->second.rect != e.rect;
  const bool was_hidden = known != realwnd_rects_.end() && known->second.hidden;
  realwnd_rects_[e.handle()] = RealWndState{e.rect, hidden};
  // Moved also while hidden, so that it shows up in place.
  if (moved) {
    SetWindowPos(control, nullptr, e.rect.left, e.rect.top, e.rect.width(), e.rect.height(),
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    GwNotifyRealWnd n{};
    n.id = e.id;
    n.rect = to_rect(e.rect);
    SendNotify(n.hdr, gwn::kRealWndMoved);
  }
  // The control's own visibility, not IsWindowVisible: before the dialog is
  // first shown every child counts as invisible there, and a control on a
  // hidden page would then stay up over the page shown instead.
  const bool shown = (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0;
  if (hidden) {
    if (shown) ShowWindow(control, SW_HIDE);
    return;
  }
  if (was_hidden) ShowWindow(control, SW_SHOWNA);
  if ((moved || was_hidden) && (shown || was_hidden)) {
    InvalidateRect(control, nullptr, TRUE);
    ShowWindow(control, SW_SHOWNA);
  }
}

void CGwDialogView::SendNotify(NMHDR& hdr, UINT code) {
  if (hwnd_ == nullptr) return;
  hdr.hwndFrom = hwnd_;
  hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(hwnd_));
  hdr.code = code;
  HWND parent = GetParent(hwnd_);
  if (parent != nullptr) SendMessageW(parent, WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
}

void CGwDialogView::UpdateTooltip() {
  CGwWindow* hovered = router_ ? router_->hovered() : nullptr;
  const std::uint32_t owner = hovered != nullptr ? hovered->handle() : 0;
  if (owner == tooltip_owner_) return;
  tooltip_owner_ = owner;
  tooltip_text_ = hovered != nullptr ? hovered->tip : std::u16string();
  if (tooltip_ == nullptr) return;
  TOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
  tool.lpszText = const_cast<wchar_t*>(reinterpret_cast<const wchar_t*>(tooltip_text_.c_str()));
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(tooltip_, TTM_ACTIVATE, tooltip_text_.empty() ? FALSE : TRUE, 0);
}

HWND CGwDialogView::TopLevel() const {
  HWND top = hwnd_ != nullptr ? GetAncestor(hwnd_, GA_ROOT) : nullptr;
  return top != nullptr ? top : hwnd_;
}

void CGwDialogView::HeaderDoubleClick(int x, int y) {
  if (!router_) return;
  CGwWindow* hit = router_->hit_test(x, y);
  bool in_header = false;
  for (const CGwWindow* p = hit; p != nullptr; p = p->parent())
    if (p == header()) in_header = true;
  if (hit != nullptr && in_header && !is_clickable_tag(hit->tag())) {
    if (layout_->resizable) {
      HWND top = TopLevel();
      ShowWindow(top, IsZoomed(top) ? SW_RESTORE : SW_MAXIMIZE);
    }
    return;
  }
  // The second press of a double click acts like any press.
  router_->button_down(x, y, !IsIconic(TopLevel()) && !IsZoomed(TopLevel()));
}

// ViewHost.
void CGwDialogView::repaint(const Rect& rect) { Invalidate(rect); }

void CGwDialogView::notify_click(int id, std::string_view tag) {
  // Tags are the fixed names of element classes; a terminated copy lives
  // as long as the notification.
  const std::string name(tag);
  GwNotifyClick n{};
  n.id = id;
  n.tag = name.c_str();
  SendNotify(n.hdr, gwn::kClick);
}

void CGwDialogView::open_link(const std::string& href) {
  if (open_link_hook) {
    open_link_hook(href);
    return;
  }
  const std::u16string target = salvor::text::from_utf8(href);
  ShellExecuteW(hwnd_, L"open", reinterpret_cast<const wchar_t*>(target.c_str()), nullptr, nullptr,
                SW_SHOWNORMAL);
}

void CGwDialogView::start_window_move() {
  if (window_move_hook) {
    window_move_hook();
    return;
  }
  // The system's move loop runs inside this call until the button goes up.
  SendMessageW(TopLevel(), WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
}

void CGwDialogView::set_capture(bool on) {
  if (hwnd_ == nullptr) return;
  if (on) SetCapture(hwnd_);
  else if (GetCapture() == hwnd_) ReleaseCapture();
}

void CGwDialogView::set_cursor(Cursor cursor) {
  cursor_ = cursor;
  SetCursor(LoadCursorW(nullptr, cursor == Cursor::kHand ? IDC_HAND : IDC_ARROW));
}

void CGwDialogView::mouse_entered() {
  NMHDR n{};
  SendNotify(n, gwn::kMouseEntered);
}

void CGwDialogView::mouse_left() {
  NMHDR n{};
  SendNotify(n, gwn::kMouseLeft);
}

void CGwDialogView::select_tab(CGwWindow& tabctrl, int index) { SelectTab(tabctrl, index); }

LRESULT CALLBACK CGwDialogView::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* created = static_cast<CGwDialogView*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    if (created != nullptr) created->hwnd_ = hwnd;
  }
  auto* view = reinterpret_cast<CGwDialogView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (view == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    view->hwnd_ = nullptr;
    view->tooltip_ = nullptr;
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  return view->HandleMessage(msg, wp, lp);
}

LRESULT CGwDialogView::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      RecreateSurface(LOWORD(lp), HIWORD(lp));
      Relayout();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      RenderNow();
      if (surface_dc_ != nullptr)
        BitBlt(dc, 0, 0, surface_width_, surface_height_, surface_dc_, 0, 0, SRCCOPY);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_PRINTCLIENT: {
      RenderNow();
      if (surface_dc_ != nullptr)
        BitBlt(reinterpret_cast<HDC>(wp), 0, 0, surface_width_, surface_height_, surface_dc_, 0,
               0, SRCCOPY);
      return 0;
    }
    case WM_MOUSEMOVE: {
      if (!tracking_leave_) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd_, 0};
        tracking_leave_ = TrackMouseEvent(&track) != FALSE;
      }
      if (router_) router_->mouse_move(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      UpdateTooltip();
      return 0;
    }
    case WM_MOUSELEAVE:
      tracking_leave_ = false;
      if (router_) router_->mouse_leave();
      UpdateTooltip();
      return 0;
    case WM_LBUTTONDOWN: {
      HWND top = TopLevel();
      if (router_)
        router_->button_down(GET_X_LPARAM(lp), GET_Y_LPARAM(lp), !IsIconic(top) && !IsZoomed(top));
      return 0;
    }
    case WM_LBUTTONDBLCLK:
      HeaderDoubleClick(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_LBUTTONUP:
      if (router_) router_->button_up(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, cursor_ == Cursor::kHand ? IDC_HAND : IDC_ARROW));
        return TRUE;
      }
      break;
    case WM_MOUSEWHEEL:
      return 0;
    case WM_NOTIFY: {
      const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
      if (hdr != nullptr && hdr->code == gwn::kRepaint && hdr->hwndFrom == hwnd_) {
        const RECT& r = reinterpret_cast<const GwNotifyRepaint*>(lp)->rect;
        Invalidate(Rect{r.left, r.top, r.right, r.bottom});
        return 0;
      }
      HWND parent = GetParent(hwnd_);
      return parent != nullptr ? SendMessageW(parent, WM_NOTIFY, wp, lp) : 0;
    }
    case WM_COMMAND: {
      HWND parent = GetParent(hwnd_);
      return parent != nullptr ? SendMessageW(parent, WM_COMMAND, wp, lp) : 0;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace salvor::skin
