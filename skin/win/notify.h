// Notifications that a dialog view (control id 1000) sends to its parent as
// WM_NOTIFY, with wparam = the view's control id. Every struct starts with an
// NMHDR (hwndFrom = the view, idFrom = 1000, code below), so a receiver reads
// the header first and casts to the struct its code names.
#pragma once

#include <windows.h>

namespace salvor::skin {

// The control id of every dialog view inside its dialog.
inline constexpr int kGwViewId = 1000;

namespace gwn {
inline constexpr UINT kClick = 1;           // GwNotifyClick
inline constexpr UINT kRealWndMoved = 2;    // GwNotifyRealWnd
inline constexpr UINT kMouseEntered = 3;    // header only
inline constexpr UINT kMouseLeft = 4;       // header only
inline constexpr UINT kTabChanging = 5;     // GwNotifyTabChanging
inline constexpr UINT kRepaint = 1000;      // GwNotifyRepaint, view-internal
}  // namespace gwn

using GwNotifyHeader = NMHDR;

// A click on an element with a non-zero id and no link. tag is the element's
// tag name ("button", "imgbtn" ...); an application that simulates a click by
// sending this itself passes "".
struct GwNotifyClick {
  NMHDR hdr;
  int id;
  const char* tag;
};

// A realwnd element moved its control to rect (view client coordinates).
struct GwNotifyRealWnd {
  NMHDR hdr;
  int id;
  RECT rect;
};

// A tab control is about to show page new_index instead of old_index; set
// cancel to TRUE to keep the old page.
struct GwNotifyTabChanging {
  NMHDR hdr;
  int tabctrl_id;
  int new_index;
  int old_index;
  BOOL cancel;
};

// Asks the view to repaint rect (view client coordinates).
struct GwNotifyRepaint {
  NMHDR hdr;
  RECT rect;
};

}  // namespace salvor::skin
