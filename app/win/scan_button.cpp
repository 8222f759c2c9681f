#include "app/win/scan_button.h"

namespace salvor::win {

bool CScanButton::CreateChild(HWND host, HWND main) {
  main_ = main;
  HWND h = Create(host, false);
  if (h == nullptr) return false;
  SetWindowLongPtrW(h, GWL_STYLE, WS_CHILD | WS_CLIPCHILDREN);
  SetWindowLongPtrW(h, GWL_EXSTYLE, 0);
  SetParent(h, host);
  return true;
}

void CScanButton::OnGwNotify(const skin::GwNotifyHeader& n) {
  if (main_ == nullptr) return;
  if (n.code == skin::gwn::kClick && reinterpret_cast<const skin::GwNotifyClick&>(n).id == click_id_) {
    PostMessageW(main_, kMsgScanButtonClick, static_cast<WPARAM>(click_id_), 0);
  } else if (n.code == skin::gwn::kMouseEntered) {
    PostMessageW(main_, kMsgScanButtonHover, 0, hover_code_);
  } else if (n.code == skin::gwn::kMouseLeft) {
    PostMessageW(main_, kMsgScanButtonHover, 0, 0);
  }
}

}  // namespace salvor::win
