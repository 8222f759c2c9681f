// CGwDialogView: the one native child window of a skinned dialog. It holds
// the layout's header, body and footer element trees, lays them out on every
// size change, paints them through an off-screen bitmap, feeds the mouse to
// the portable MouseRouter and reports clicks, realwnd moves, mouse
// enter/leave and tab changes to its parent as WM_NOTIFY (notify.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "skin/core/element.h"
#include "skin/core/mouse.h"
#include "skin/core/xml_load.h"
#include "skin/win/notify.h"

namespace salvor::skin {

// Process-wide lock a view holds while it renders into its bitmap, so that
// code changing element trees from elsewhere can keep a frame consistent.
class GwWinManager {
 public:
  static GwWinManager& Instance();
  std::recursive_mutex& lock() { return lock_; }

 private:
  std::recursive_mutex lock_;
};

class CGwDialogView : public ViewHost {
 public:
  CGwDialogView();
  ~CGwDialogView() override;
  CGwDialogView(const CGwDialogView&) = delete;
  CGwDialogView& operator=(const CGwDialogView&) = delete;

  // The view takes the layout's parts; it may be given before the window
  // exists (item access then works on the tree already).
  void SetLayout(std::unique_ptr<Layout> layout);
  Layout* layout() { return layout_.get(); }
  const Layout* layout() const { return layout_.get(); }
  CGwWindow* header() const { return layout_ ? layout_->header.get() : nullptr; }
  CGwWindow* body() const { return layout_ ? layout_->body.get() : nullptr; }
  CGwWindow* footer() const { return layout_ ? layout_->footer.get() : nullptr; }

  // Creates the child window filling parent's client area.
  HWND Create(HWND parent, int ctrl_id = kGwViewId);
  HWND hwnd() const { return hwnd_; }

  // Header, then body, then footer; depth first in each. Null if absent.
  CGwWindow* FindItem(int id) const;

  // Lays the three parts out over the client area again.
  void Relayout();
  // Lays one element out again inside its parent after a change of its
  // text, position or visibility (a flowed element re-flows its parent).
  void RelayoutElement(CGwWindow& e);
  // Rich text: new markup (UTF-8) as the element's runs, laid out at once.
  bool SetRichText(CGwWindow& e, std::string_view markup_utf8);
  // Tab page k of a tab control, with notification 5 first (its cancel
  // flag keeps the old page). False when nothing changed.
  bool SelectTab(CGwWindow& tabctrl, int index);
  // Shows or hides an element (and the real windows inside it).
  void ShowElement(CGwWindow& e, bool show);

  // Adds rect to the invalid region; the next WM_PAINT renders it.
  void Invalidate(const Rect& rect);
  void InvalidateAll();

  // Renders pending changes into the off-screen bitmap now (WM_PAINT does
  // the same); the bitmap's device context, for reading pixels back.
  void RenderNow();
  HDC surface_dc() const { return surface_dc_; }
  // True while changes wait for the next render.
  bool dirty() const { return dirty_; }

  // The natural-size measurer used for layout (GDI text extents, skin
  // sizes).
  const Measure& measure() const { return measure_; }

  MouseRouter* router() { return router_.get(); }
  const std::u16string& tooltip_text() const { return tooltip_text_; }

  // Seam: what a press on the header background does. Unset, it sends
  // WM_SYSCOMMAND SC_MOVE|HTCAPTION to the top-level window (a modal move
  // loop); tests set it to observe the request.
  std::function<void()> window_move_hook;
  // Seam: how an href is opened (ShellExecuteW "open" when unset).
  std::function<void(const std::string&)> open_link_hook;

  // ViewHost.
  void repaint(const Rect& rect) override;
  void notify_click(int id, std::string_view tag) override;
  void open_link(const std::string& href) override;
  void start_window_move() override;
  void set_capture(bool on) override;
  void set_cursor(Cursor cursor) override;
  void mouse_entered() override;
  void mouse_left() override;
  void select_tab(CGwWindow& tabctrl, int index) override;

 private:
  struct RealWndState {
    Rect rect;
    bool hidden = false;
  };
  static bool RegisterWindowClass();
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void Render();
  void RecreateSurface(int width, int height);
  void DestroySurface();
  void AfterLayout(CGwWindow& e);  // rich text breaking and realwnd moves below e
  void SyncRealWindows(CGwWindow& e);
  void SendNotify(NMHDR& hdr, UINT code);
  void UpdateTooltip();
  void HeaderDoubleClick(int x, int y);
  HWND TopLevel() const;

  HWND hwnd_ = nullptr;
  std::unique_ptr<Layout> layout_;
  std::unique_ptr<MouseRouter> router_;
  Measure measure_;

  HDC surface_dc_ = nullptr;
  HBITMAP surface_ = nullptr;
  HGDIOBJ surface_old_ = nullptr;
  int surface_width_ = 0;
  int surface_height_ = 0;
  HRGN invalid_ = nullptr;
  bool dirty_ = true;
  bool full_repaint_ = true;  // the whole bitmap, not just invalid_

  bool tracking_leave_ = false;
  Cursor cursor_ = Cursor::kArrow;
  HWND tooltip_ = nullptr;
  std::uint32_t tooltip_owner_ = 0;
  std::u16string tooltip_text_;
  // Where each realwnd element last put its control, by handle.
  std::map<std::uint32_t, RealWndState> realwnd_rects_;
};

}  // namespace salvor::skin
