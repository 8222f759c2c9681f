// CFolderBrowseDlg: where recovered files go (layout 113). The folder tree
// (control 144) lists the computer's drives and folders; Yes (210) takes the
// selected folder and ends with 1, No (211) and the close box end with 2.
#pragma once

#include <memory>
#include <string>

#include "skin/win/controls/folder_browse_ctrl.h"
#include "skin/win/dialog.h"

namespace salvor::win {

class CFolderBrowseDlg : public skin::CGwDialogImpl<CFolderBrowseDlg> {
 public:
  static constexpr unsigned kLayout = 113;
  CFolderBrowseDlg() : CGwDialogImpl(kLayout) {}

  // The folder chosen by Yes.
  const std::u16string& chosen_path() const { return chosen_; }

 protected:
  BOOL OnInitDialog() override;
  void OnGwNotify(const skin::GwNotifyHeader& n) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  void Choose();

  std::unique_ptr<skin::CGwFolderBrowseCtrl> tree_;
  std::u16string chosen_;
};

}  // namespace salvor::win
