// Skinned dialogs: the top-level window of a layout, its view, item access
// and the modal loop.
#include "skin/win/dialog.h"

#include <uxtheme.h>

#include <string>

#include "common/text.h"
#include "skin/core/xml_load.h"
#include "skin/win/resources.h"

namespace salvor::skin {
namespace {

constexpr wchar_t kDialogClass[] = L"SalvorGwDialog";

bool register_class(WNDPROC proc) {
  static const bool registered = [proc] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kDialogClass;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

// Centres a window of the given size over owner, or over the work area.
POINT centred_origin(HWND owner, int width, int height) {
  RECT area{};
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &area);
  else SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return POINT{area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2};
}

// Sends `text` to `receiver` as WM_COPYDATA tagged with `id`.
void send_text(HWND receiver, HWND sender, int id, std::u16string_view text) {
  if (receiver == nullptr || !IsWindow(receiver)) return;
  COPYDATASTRUCT data{};
  data.dwData = static_cast<ULONG_PTR>(id);
  data.cbData = static_cast<DWORD>(text.size() * sizeof(char16_t));
  data.lpData = const_cast<char16_t*>(text.data());
  SendMessageW(receiver, WM_COPYDATA, reinterpret_cast<WPARAM>(sender), reinterpret_cast<LPARAM>(&data));
}

}  // namespace

UINT GwAutomationMessage() {
  static const UINT message = RegisterWindowMessageW(kGwAutomationName);
  return message;
}

CGwDialogBase::CGwDialogBase(unsigned layout_id) : layout_id_(layout_id) {}

CGwDialogBase::~CGwDialogBase() {
  if (hwnd_ != nullptr && IsWindow(hwnd_)) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

bool CGwDialogBase::LoadLayout() {
  std::string xml;
  if (!ReadGwResource(layout_id_, xml)) return false;
  return LoadLayoutText(xml);
}

bool CGwDialogBase::LoadLayoutText(std::string_view xml) {
  std::unique_ptr<Layout> layout = load_layout(xml, GwStyles(), GwString::Instance().table());
  if (!layout) return false;
  view_.SetLayout(std::move(layout));
  layout_loaded_ = true;
  return true;
}

HWND CGwDialogBase::Create(HWND parent, bool show) {
  if (hwnd_ != nullptr) return hwnd_;
  if (!layout_loaded_ && !LoadLayout()) return nullptr;
  if (!register_class(&CGwDialogBase::WndProc)) return nullptr;
  const Layout& layout = *view_.layout();
  DWORD style = WS_POPUP | WS_SYSMENU | WS_CLIPCHILDREN;
  DWORD ex_style = 0;
  if (layout.app_window) ex_style |= WS_EX_APPWINDOW;
  if (layout.resizable) style |= WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  if (layout.no_border) ex_style |= WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
  else ex_style |= WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE;
  ended_ = false;
  HWND hwnd = CreateWindowExW(ex_style, kDialogClass,
                              reinterpret_cast<const wchar_t*>(layout.title.c_str()), style,
                              CW_USEDEFAULT, CW_USEDEFAULT, 200, 150, parent, nullptr,
                              GetModuleHandleW(nullptr), this);
  if (hwnd == nullptr) return nullptr;
  SetWindowTheme(hwnd, L"", L"");
  if (view_.Create(hwnd, kGwViewId) == nullptr || !OnInitDialog()) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (hwnd_ == nullptr) return nullptr;  // OnInitDialog ended a modeless dialog
  if (layout.width > 0 && layout.height > 0) {
    RECT rc{0, 0, layout.width, layout.height};
    AdjustWindowRectEx(&rc, style, FALSE, ex_style);
    const int w = rc.right - rc.left;
    const int h = rc.bottom - rc.top;
    const POINT at = centred_origin(parent, w, h);
    SetWindowPos(hwnd_, nullptr, at.x, at.y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  view_.Relayout();
  if (show && !ended_) {
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
  }
  return hwnd_;
}

INT_PTR CGwDialogBase::DoModal(HWND parent) {
  modal_ = true;
  result_ = IDCANCEL;  // a window closed by other means counts as cancelled
  HWND hwnd = Create(parent, false);
  if (hwnd == nullptr) {
    modal_ = false;
    return -1;
  }
  // Input is blocked at the top-level window that owns the dialog.
  HWND owner = parent != nullptr ? GetAncestor(parent, GA_ROOT) : nullptr;
  if (owner == nullptr) owner = parent;
  const bool disable_owner = owner != nullptr && IsWindowEnabled(owner);
  if (disable_owner) EnableWindow(owner, FALSE);
  if (!ended_) {
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
  }
  MSG msg;
  while (!ended_ && IsWindow(hwnd)) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // leave WM_QUIT to the outer loop
      break;
    }
    if (got == -1) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // The owner comes back before the dialog goes, so activation returns to it.
  if (disable_owner) EnableWindow(owner, TRUE);
  if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  modal_ = false;
  return result_;
}

void CGwDialogBase::EndDialog(INT_PTR result) {
  result_ = result;
  ended_ = true;
  if (hwnd_ == nullptr) return;
  if (modal_) {
    // The loop re-enables the owner before the window goes, so that the
    // owner, not some other program, becomes active.
    PostMessageW(hwnd_, WM_NULL, 0, 0);  // wakes the modal loop
  } else {
    DestroyWindow(hwnd_);
  }
}

CGwWindow* CGwDialogBase::FindItem(int id) { return view_.FindItem(id); }
const CGwWindow* CGwDialogBase::FindItem(int id) const { return view_.FindItem(id); }

void CGwDialogBase::RepaintElement(const CGwWindow& e) { request_repaint(view_, e); }

int CGwDialogBase::SetItemText(int id, std::u16string_view text) {
  CGwWindow* e = FindItem(id);
  if (e == nullptr) return 0;
  RepaintElement(*e);
  e->text = std::u16string(text);
  // A size taken from the content follows the new text.
  view_.RelayoutElement(*e);
  RepaintElement(*e);
  return 1;
}

std::u16string CGwDialogBase::GetItemText(int id) const {
  const CGwWindow* e = FindItem(id);
  return e != nullptr ? e->text : std::u16string();
}

int CGwDialogBase::ShowItem(int id, bool show) {
  CGwWindow* e = FindItem(id);
  if (e == nullptr) return 0;
  view_.ShowElement(*e, show);
  return 1;
}

int CGwDialogBase::EnableItem(int id, bool enable) {
  CGwWindow* e = FindItem(id);
  if (e == nullptr) return 0;
  if (enable) e->state &= ~state::kDisabled;
  else e->state |= state::kDisabled;
  RepaintElement(*e);
  return 1;
}

int CGwDialogBase::SetItemCheck(int id, bool checked) {
  CGwWindow* e = FindItem(id);
  if (e == nullptr) return 0;
  if (checked && e->tag() == "radio") {
    // A group keeps one checked radio, as a click would.
    if (const std::string* group = e->class_attribute("group")) {
      for (CGwWindow* part : {view_.header(), view_.body(), view_.footer()}) {
        if (part == nullptr) continue;
        std::vector<CGwWindow*> stack{part};
        while (!stack.empty()) {
          CGwWindow* node = stack.back();
          stack.pop_back();
          for (const auto& child : node->children()) stack.push_back(child.get());
          const std::string* g = node->class_attribute("group");
          if (node != e && node->tag() == "radio" && g != nullptr && *g == *group &&
              (node->state & state::kChecked)) {
            node->state &= ~state::kChecked;
            RepaintElement(*node);
          }
        }
      }
    }
  }
  if (checked) e->state |= state::kChecked;
  else e->state &= ~state::kChecked;
  RepaintElement(*e);
  return 1;
}

bool CGwDialogBase::GetItemCheck(int id) const {
  const CGwWindow* e = FindItem(id);
  return e != nullptr && (e->state & state::kChecked) != 0;
}

int CGwDialogBase::SetItemAttribute(int id, std::string_view name, std::string_view value) {
  CGwWindow* e = FindItem(id);
  if (e == nullptr) return 0;
  RepaintElement(*e);
  if (!e->set_attribute(name, value, /*loading=*/false, GwStyles())) return 0;
  view_.RelayoutElement(*e);
  RepaintElement(*e);
  return 1;
}

int CGwDialogBase::SetRichText(int id, std::u16string_view markup) {
  CGwWindow* e = FindItem(id);
  if (e == nullptr) return 0;
  return view_.SetRichText(*e, salvor::text::to_utf8(markup)) ? 1 : 0;
}

int CGwDialogBase::SelectTab(int tabctrl_id, int index) {
  CGwWindow* e = FindItem(tabctrl_id);
  if (e == nullptr || e->tag() != "tabctrl") return 0;
  return view_.SelectTab(*e, index) ? 1 : 0;
}

LRESULT CALLBACK CGwDialogBase::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* created = static_cast<CGwDialogBase*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    if (created != nullptr) created->hwnd_ = hwnd;
  }
  auto* dialog = reinterpret_cast<CGwDialogBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (dialog == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    dialog->hwnd_ = nullptr;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (dialog->modal_) dialog->ended_ = true;
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  return dialog->HandleMessage(msg, wp, lp);
}

LRESULT CGwDialogBase::HandleAutomation(WPARAM wp, LPARAM lp) {
  const int id = static_cast<int>(static_cast<uint32_t>(wp & 0xFFFFFFFFu));
  const unsigned op = static_cast<unsigned>(static_cast<uint64_t>(wp) >> 32);
  if (op == gwauto::kLayoutId) return static_cast<LRESULT>(layout_id_);
  CGwWindow* e = FindItem(id);
  if (e == nullptr) return 0;
  HWND receiver = reinterpret_cast<HWND>(lp);
  switch (op) {
    case gwauto::kClick: {
      // A check box changes as under the mouse, before its owner hears of it.
      if (e->tag() == "check") SetItemCheck(id, (e->state & state::kChecked) == 0);
      GwNotifyClick click{};
      click.hdr.hwndFrom = view_.hwnd();
      click.hdr.idFrom = kGwViewId;
      click.hdr.code = gwn::kClick;
      click.id = id;
      click.tag = "";
      OnGwNotify(click.hdr);
      return 1;
    }
    case gwauto::kState: {
      LRESULT bits = gwauto::kExists;
      if (!e->hidden_in_tree()) bits |= gwauto::kShown;
      if (e->state & state::kChecked) bits |= gwauto::kChecked;
      if (!e->disabled_in_tree()) bits |= gwauto::kEnabled;
      return bits;
    }
    case gwauto::kText: {
      std::u16string text = e->text;
      for (const RichRun& run : e->rich_runs) text += run.line_break ? std::u16string(u"\n") : run.text;
      send_text(receiver, hwnd_, id, text);
      return 1;
    }
    case gwauto::kAttributes: {
      std::u16string lines;
      for (const char* name : {"skin", "sub", "value", "pos", "ctrlid"}) {
        if (const std::string* value = e->class_attribute(name))
          lines += salvor::text::from_utf8(std::string(name) + "=" + *value + "\n");
      }
      send_text(receiver, hwnd_, id, lines);
      return 1;
    }
    default:
      return 0;
  }
}

LRESULT CGwDialogBase::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == GwAutomationMessage()) return HandleAutomation(wp, lp);
  if (msg == WM_NOTIFY) {
    const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
    const bool from_view =
        hdr != nullptr && (hdr->hwndFrom == view_.hwnd() || hdr->idFrom == kGwViewId);
    if (from_view && hdr->code >= gwn::kClick && hdr->code <= gwn::kTabChanging) {
      OnGwNotify(*hdr);
      return 0;
    }
  }
  // A minimised window keeps its layout for the restore.
  if (msg == WM_SIZE && wp != SIZE_MINIMIZED && view_.hwnd() != nullptr)
    MoveWindow(view_.hwnd(), 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
  LRESULT result = 0;
  if (OnMessage(msg, wp, lp, result)) return result;
  switch (msg) {
    case WM_CLOSE:
      EndDialog(IDCANCEL);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the view covers the client area
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace salvor::skin
