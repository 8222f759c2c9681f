// CIngDlg: the progress dialog (layout 109) of a scan run or, in recovering
// mode, of a recovery run. A 100 ms timer advances the run's progress and
// shows its figures; Pause/Continue holds the run at its pause gate (a
// recovery between files); Stop (or closing) abandons the run and ends the
// dialog at once with 2 (a recovery stops inside the file it is writing).
// The run reaching 100 percent ends it with 1. While recovering, the bar
// follows the bytes written, with the time left beside them.
#pragma once

#include <chrono>

#include "app/core/recovery_run.h"
#include "app/core/scan_run.h"
#include "skin/win/dialog.h"

namespace salvor::win {

class CIngDlg : public skin::CGwDialogImpl<CIngDlg> {
 public:
  static constexpr unsigned kLayout = 109;
  static constexpr int kAnimationFrames = 17;
  explicit CIngDlg(app::ScanRun& run) : CGwDialogImpl(kLayout), scan_(&run) {}
  explicit CIngDlg(app::RecoveryRun& run) : CGwDialogImpl(kLayout), recovery_(&run) {}

 protected:
  BOOL OnInitDialog() override;
  void OnGwNotify(const skin::GwNotifyHeader& n) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  void OnTick();
  void ShowFigures();
  void TogglePause();
  void Stop();

  const app::ScanProgress& progress() const;
  void ShowRecoveryFigures();
  void ShowBar();

  app::ScanRun* scan_ = nullptr;
  app::RecoveryRun* recovery_ = nullptr;
  app::ProgressRate rate_;
  std::chrono::steady_clock::time_point started_;
  bool paused_ = false;
  int shown_percent_ = -1;
};

}  // namespace salvor::win
