// CScan and CFormatScan: the two scan button windows over the drive page
// (layouts 104 and 111). Each is one big button; a click and the mouse
// entering or leaving are posted to the main window, which does the rest.
#pragma once

#include "skin/win/dialog.h"

namespace salvor::win {

// Posted to the main window: wParam = the button's click id (202 or 888).
inline constexpr UINT kMsgScanButtonClick = WM_APP + 1;
// Posted to the main window as the mouse enters (lParam 1 quick, 2 unformat)
// or leaves (lParam 0) a scan button.
inline constexpr UINT kMsgScanButtonHover = 501;

class CScanButton : public skin::CGwDialogImpl<CScanButton> {
 public:
  static constexpr int kWidth = 204, kHeight = 55;
  // Layout 104 (click id 202, hover code 1) or 111 (888, 2).
  CScanButton(unsigned layout, int click_id, int text_id, LPARAM hover_code)
      : CGwDialogImpl(layout), click_id_(click_id), text_id_(text_id), hover_code_(hover_code) {}
  // Creates the window as a child of `host`, telling `main`.
  bool CreateChild(HWND host, HWND main);
  void SetText(const std::u16string& text) { SetItemText(text_id_, text); }

 protected:
  void OnGwNotify(const skin::GwNotifyHeader& n) override;

 private:
  int click_id_;
  int text_id_;
  LPARAM hover_code_;
  HWND main_ = nullptr;
};

class CScan : public CScanButton {
 public:
  CScan() : CScanButton(104, 202, 168, 1) {}
};
class CFormatScan : public CScanButton {
 public:
  CFormatScan() : CScanButton(111, 888, 169, 2) {}
};

}  // namespace salvor::win
