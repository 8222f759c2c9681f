// CFindDlg: the File Filter (layout 110). The combo box offers the filter's
// thirteen categories; rows 0 to 11 show their pattern, read-only, row 12
// (custom) takes a name part typed by the user. OK ends with 1 and keeps
// the category, the text and the zero-size rule; Cancel and the close box
// end with 2.
#pragma once

#include "app/core/file_filter.h"
#include "app/win/filter_controls.h"
#include "skin/win/dialog.h"

namespace salvor::win {

class CFindDlg : public skin::CGwDialogImpl<CFindDlg> {
 public:
  static constexpr unsigned kLayout = 110;
  CFindDlg() : CGwDialogImpl(kLayout) {}
  // After OK: what to filter by.
  const app::FilterSpec& filter() const { return filter_; }

 protected:
  BOOL OnInitDialog() override;
  void OnGwNotify(const skin::GwNotifyHeader& n) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  void OnCategoryChanged();

  CMyCombobox categories_;
  CSoftMgrQueryEdit name_;
  app::FilterSpec filter_;
};

}  // namespace salvor::win
