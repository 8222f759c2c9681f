// CIngDlg: the progress dialog (layout 109) of a scan run. A 100 ms timer
// advances the run's progress and shows its figures; Pause/Continue holds
// the run at its pause gate; Stop (or closing) abandons the run and ends the
// dialog at once with 2. The run reaching 100 percent ends it with 1.
#pragma once

#include "app/core/scan_run.h"
#include "skin/win/dialog.h"

namespace salvor::win {

class CIngDlg : public skin::CGwDialogImpl<CIngDlg> {
 public:
  static constexpr unsigned kLayout = 109;
  static constexpr int kAnimationFrames = 17;
  explicit CIngDlg(app::ScanRun& run) : CGwDialogImpl(kLayout), run_(run) {}

 protected:
  BOOL OnInitDialog() override;
  void OnGwNotify(const skin::GwNotifyHeader& n) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  void OnTick();
  void ShowFigures();
  void TogglePause();
  void Stop();

  app::ScanRun& run_;
  bool paused_ = false;
  int shown_percent_ = -1;
};

}  // namespace salvor::win
