// The base classes of every skinned dialog: a top-level window built from a
// "GWRES" layout, holding one CGwDialogView (control id 1000) that draws the
// layout, with item access by element id and a modal loop. An application
// dialog derives from CGwDialogImpl<T> and overrides the On... hooks.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "skin/core/element.h"
#include "skin/win/dialog_view.h"
#include "skin/win/notify.h"

namespace salvor::skin {

// Automation: how another program (a test driver, an accessibility tool)
// drives a skinned dialog by element id, as the layouts name them. The
// message is registered under kGwAutomationName; wParam carries the element
// id in its low 32 bits and the operation in the high 32 bits, lParam the
// window that receives texts (as WM_COPYDATA, dwData = the element id,
// UTF-16 without a terminating zero). The result is 0 when the dialog has no
// such element.
inline constexpr wchar_t kGwAutomationName[] = L"SalvorGwAutomation";
namespace gwauto {
inline constexpr unsigned kClick = 1;       // a click on the element; 1
inline constexpr unsigned kState = 2;       // bits below
inline constexpr unsigned kText = 3;        // sends the text (rich text: its runs' text); 1
inline constexpr unsigned kLayoutId = 4;    // the dialog's layout id (element id ignored)
inline constexpr unsigned kAttributes = 5;  // sends "name=value" lines of the class attributes; 1
inline constexpr LRESULT kExists = 1, kShown = 2, kChecked = 4, kEnabled = 8;
}  // namespace gwauto
UINT GwAutomationMessage();

class CGwDialogBase {
 public:
  explicit CGwDialogBase(unsigned layout_id);
  virtual ~CGwDialogBase();
  CGwDialogBase(const CGwDialogBase&) = delete;
  CGwDialogBase& operator=(const CGwDialogBase&) = delete;

  // Reads GWRES layout_id and parses it (styles and strings from the loaded
  // tables). False when the resource is missing or does not parse. Done by
  // Create when not yet done.
  bool LoadLayout();
  // Parses a layout given as text instead of a resource (tools and tests).
  bool LoadLayoutText(std::string_view xml);

  // Modeless; the window is shown when show is true. Null when the layout is
  // missing or does not parse.
  HWND Create(HWND parent, bool show = true);
  // Runs a modal loop with parent disabled; returns EndDialog's result, or
  // -1 when the window could not be created.
  INT_PTR DoModal(HWND parent);
  // Ends the modal loop with result; a modeless dialog is destroyed.
  void EndDialog(INT_PTR result);

  HWND hwnd() const { return hwnd_; }
  CGwDialogView* view() { return &view_; }
  unsigned layout_id() const { return layout_id_; }

  // Item access by element id: header, then body, then footer, depth first.
  // Each returns 0 (and does nothing) when no element has the id.
  int SetItemText(int id, std::u16string_view text);
  std::u16string GetItemText(int id) const;
  int ShowItem(int id, bool show);
  int EnableItem(int id, bool enable);
  int SetItemCheck(int id, bool checked);
  bool GetItemCheck(int id) const;
  // A run-time attribute change ("pos" repositions at once). 0 also when
  // the element rejects the attribute or its value.
  int SetItemAttribute(int id, std::string_view name, std::string_view value);
  // New content of a richtext element: markup such as u"a <b>b</b><br/>c".
  // 0 also when the markup does not parse.
  int SetRichText(int id, std::u16string_view markup);
  // Selects page index of tab control tabctrl_id (notification 5 first).
  // 1 when the page changed.
  int SelectTab(int tabctrl_id, int index);
  CGwWindow* FindItem(int id);
  const CGwWindow* FindItem(int id) const;

 protected:
  // After the view exists, before the window is shown. FALSE ends creation
  // (Create then returns null).
  virtual BOOL OnInitDialog() { return TRUE; }
  // Notification codes 1..5 from the view (notify.h).
  virtual void OnGwNotify(const GwNotifyHeader& n) { (void)n; }
  // Any other message; true = handled, result returned to Windows.
  virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    (void)msg, (void)wp, (void)lp, (void)result;
    return false;
  }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleAutomation(WPARAM wp, LPARAM lp);
  void RepaintElement(const CGwWindow& e);

  unsigned layout_id_;
  HWND hwnd_ = nullptr;
  CGwDialogView view_;
  bool layout_loaded_ = false;
  bool modal_ = false;
  bool ended_ = false;
  INT_PTR result_ = 0;
};

// The application-facing template; the CRTP parameter only names the
// derived dialog.
template <class T>
class CGwDialogImpl : public CGwDialogBase {
 public:
  using CGwDialogBase::CGwDialogBase;
};

}  // namespace salvor::skin
