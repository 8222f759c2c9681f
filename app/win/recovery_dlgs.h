// The two small windows around a recovery run.
//
// CNoticeDlg (layout 114): a message and two choices, before a run whose
// destination is doubtful. The first choice is the safe one. Ends with 1
// for the first, 2 for the second, 0 for the close box.
//
// CFailedFilesDlg (layout 115): the files of the last run that were not
// recovered, or not completely, each with the reason.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/core/recovery_report.h"
#include "skin/win/controls/list_view_ctrl.h"
#include "skin/win/dialog.h"

namespace salvor::win {

class CNoticeDlg : public skin::CGwDialogImpl<CNoticeDlg> {
 public:
  static constexpr unsigned kLayout = 114;
  CNoticeDlg(std::u16string message, std::u16string first, std::u16string second)
      : CGwDialogImpl(kLayout), message_(std::move(message)), first_(std::move(first)), second_(std::move(second)) {}

 protected:
  BOOL OnInitDialog() override;
  void OnGwNotify(const skin::GwNotifyHeader& n) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  std::u16string message_, first_, second_;
};

class CFailedFilesDlg : public skin::CGwDialogImpl<CFailedFilesDlg> {
 public:
  static constexpr unsigned kLayout = 115;
  explicit CFailedFilesDlg(std::vector<app::FailedFile> files) : CGwDialogImpl(kLayout), files_(std::move(files)) {}

 protected:
  BOOL OnInitDialog() override;
  void OnGwNotify(const skin::GwNotifyHeader& n) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  std::vector<app::FailedFile> files_;
  std::unique_ptr<skin::CListViewCtrlEx> list_;
};

}  // namespace salvor::win
