// CIsSureDlg: the one confirmation dialog (layout 108), its question chosen
// by a kind. Ends with 1 for Yes, 2 for No or the close box.
#pragma once

#include "skin/win/dialog.h"

namespace salvor::win {

enum class ConfirmKind { kClose = 0, kQuickScan = 1, kReturn = 2, kUnformatScan = 3 };

class CIsSureDlg : public skin::CGwDialogImpl<CIsSureDlg> {
 public:
  static constexpr unsigned kLayout = 108;
  explicit CIsSureDlg(ConfirmKind kind) : CGwDialogImpl(kLayout), kind_(kind) {}

 protected:
  BOOL OnInitDialog() override;
  void OnGwNotify(const skin::GwNotifyHeader& n) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  ConfirmKind kind_;
};

}  // namespace salvor::win
