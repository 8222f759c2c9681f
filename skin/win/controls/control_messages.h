// Message and command numbers by which the owner-drawn list, header and tree
// controls talk to the application. They are plain numbers, not offsets from
// WM_USER or WM_APP, because the application's windows already answer to
// these exact values.
#pragma once

#include <windows.h>

namespace salvor::skin {

// Posted to the list's message window: wParam = row under the mouse (-1 for
// none), lParam = the list's control id. Posted once per change of row.
inline constexpr UINT kMsgHoverRow = 2001;
// Posted to the list's message window: wParam = row, lParam = link cell index.
inline constexpr UINT kMsgLinkClick = 2002;
// Sent to the main window after the user toggled a row's check box:
// wParam = row, lParam = the list's control id.
inline constexpr UINT kMsgRowCheckToggled = 6390;
// Sent to the main window when the left button goes up over a tree:
// wParam = the tree's control id, lParam = 0.
inline constexpr UINT kMsgTreeButtonUp = 2999;
// Sent to the main window after a click on a column title of the list:
// wParam = column, lParam = the list's control id.
inline constexpr UINT kMsgHeaderClick = 6391;
// Sent to the main window when "recover" was chosen in a row's context menu:
// wParam = 0, lParam = row.
inline constexpr UINT kMsgRecoverRow = 11111;

// Commands of the list's context menu. kCmdRecover is offered unless the
// application chooses the entries (SetMenuEntries); the other two check or
// clear the row under the menu.
inline constexpr UINT kCmdRecover = 22222;
inline constexpr UINT kCmdCheckRow = 33333;
inline constexpr UINT kCmdUncheckRow = 44444;

// WM_NOTIFY code sent by the three-state trees to their parent after the
// user changed a check box (NMHDR.idFrom = the tree's control id).
inline constexpr UINT kTreeNotifyCheckChanged = 1;

// Check-box state indexes shared by the rows and the tree items (the tree's
// state image index, bits 12..15 of the item state).
inline constexpr int kCheckNone = 0;
inline constexpr int kCheckUnchecked = 1;
inline constexpr int kCheckChecked = 2;
inline constexpr int kCheckPartial = 3;

}  // namespace salvor::skin
