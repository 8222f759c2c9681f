// CConfig: the file-type page (layout 105), 24 check boxes (8000 to 8011
// photo types, 8012 to 8023 video types) whose states live in .\KVN.ini,
// section "CONFIG", under their ids. The main window creates it hidden as
// its child; it loads the states when created and again at each scan
// start, and writes them all back whenever a box is clicked.
#pragma once

#include <array>

#include "app/core/settings.h"
#include "skin/win/dialog.h"

namespace salvor::win {

class CConfig : public skin::CGwDialogImpl<CConfig> {
 public:
  static constexpr unsigned kLayout = 105;
  static constexpr int kLeft = 8, kTop = 107, kWidth = 784, kHeight = 426;
  CConfig() : CGwDialogImpl(kLayout) {}
  // Hidden, at its place in `main`.
  bool CreateChild(HWND main);
  // The boxes from KVN.ini (unchecked where a key is missing).
  void Load();
  // Every box's state to KVN.ini; write failures are ignored.
  void Save();
  const std::array<bool, app::kFileTypeCount>& checks() const { return checks_; }

 protected:
  BOOL OnInitDialog() override;
  void OnGwNotify(const skin::GwNotifyHeader& n) override;

 private:
  std::array<bool, app::kFileTypeCount> checks_{};
};

}  // namespace salvor::win
