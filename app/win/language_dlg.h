// CLanguageDlg: the language chooser (layout 112). Lists the installed
// languages with their translators; OK remembers the selected language's
// file (empty with no selection: the English texts), Cancel and the close
// box end it as cancelled (2).
#pragma once

#include <memory>
#include <string>

#include "app/core/language.h"
#include "skin/win/controls/list_view_ctrl.h"
#include "skin/win/dialog.h"

namespace salvor::win {

class CLanguageDlg : public skin::CGwDialogImpl<CLanguageDlg> {
 public:
  static constexpr unsigned kLayout = 112;
  explicit CLanguageDlg(std::u16string program_dir) : CGwDialogImpl(kLayout), program_dir_(std::move(program_dir)) {}
  // After OK: the chosen language.ini ("" for English).
  const std::u16string& chosen_path() const { return chosen_path_; }

 protected:
  BOOL OnInitDialog() override;
  void OnGwNotify(const skin::GwNotifyHeader& n) override;

 private:
  std::u16string program_dir_;
  app::LanguageCatalog catalog_;
  std::unique_ptr<skin::CListViewCtrlEx> list_;
  std::u16string chosen_path_;
};

}  // namespace salvor::win
