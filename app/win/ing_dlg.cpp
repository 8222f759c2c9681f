#include "app/win/ing_dlg.h"

#include <string>

#include "app/win/ui_texts.h"

namespace salvor::win {
namespace {
constexpr int kTitle = 143, kFoldersLabel = 140, kFilesLabel = 141, kLastLabel = 142;
constexpr int kFolders = 106, kFiles = 105, kLastName = 104, kAnimation = 3001, kBar = 1600;
constexpr int kPauseButton = 212, kPauseIcon = 3002, kPauseText = 144, kStopButton = 213, kStopText = 145;
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerMs = 100;

std::u16string number(long long value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}
}  // namespace

BOOL CIngDlg::OnInitDialog() {
  SetItemText(kFoldersLabel, Ui(u"lanScanFolder"));
  SetItemText(kFilesLabel, Ui(u"lanScanFile"));
  SetItemText(kLastLabel, Ui(u"lanScanLast"));
  SetItemText(kPauseText, Ui(u"lanScanBtnPause"));
  SetItemText(kStopText, Ui(u"lanScanBtnStop"));
  SetItemText(kTitle, Ui(u"lanScanText"));
  ShowFigures();
  SetTimer(hwnd(), kTimerId, kTimerMs, nullptr);
  return TRUE;
}

void CIngDlg::ShowFigures() {
  const app::ScanProgress& p = run_.progress();
  SetItemText(kFolders, number(p.folders.load()));
  SetItemText(kFiles, number(p.files.load()));
  SetItemText(kLastName, p.LastName());
  const std::string frame = std::to_string(p.ticks.load() % kAnimationFrames);
  SetItemAttribute(kAnimation, "sub", frame);
  const int percent = p.percent.load();
  if (percent != shown_percent_) {
    shown_percent_ = percent;
    SetItemAttribute(kBar, "value", std::to_string(percent));
  }
}

void CIngDlg::OnTick() {
  if (!paused_) {
    run_.Tick();
    ShowFigures();
  }
  // A worker that ended without reaching 100 (it cannot, but a dialog must
  // never wait for nothing) ends the dialog too.
  if (run_.progress().percent.load() >= 100 || (run_.done() && !run_.stopped())) {
    KillTimer(hwnd(), kTimerId);
    EndDialog(1);
  }
}

void CIngDlg::TogglePause() {
  paused_ = !paused_;
  if (paused_) run_.Pause();
  else run_.Continue();
  SetItemAttribute(kPauseIcon, "skin", paused_ ? "iconstart" : "iconpause");
  SetItemText(kPauseText, Ui(paused_ ? u"lanScanBtnCon" : u"lanScanBtnPause"));
}

void CIngDlg::Stop() {
  KillTimer(hwnd(), kTimerId);
  run_.Stop();
  EndDialog(2);
}

void CIngDlg::OnGwNotify(const skin::GwNotifyHeader& n) {
  if (n.code != skin::gwn::kClick) return;
  const int id = reinterpret_cast<const skin::GwNotifyClick&>(n).id;
  if (id == kPauseButton) TogglePause();
  else if (id == kStopButton) Stop();
}

bool CIngDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
  if (msg == WM_TIMER && wp == kTimerId) {
    OnTick();
    result = 0;
    return true;
  }
  if (msg == WM_CLOSE || (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE)) {
    Stop();
    result = 0;
    return true;
  }
  return false;
}

}  // namespace salvor::win
