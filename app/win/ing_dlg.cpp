#include "app/win/ing_dlg.h"

#include <string>

#include "app/core/recovery_report.h"
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

const app::ScanProgress& CIngDlg::progress() const { return scan_ ? scan_->progress() : recovery_->progress(); }

BOOL CIngDlg::OnInitDialog() {
  started_ = std::chrono::steady_clock::now();
  if (recovery_) {
    SetItemText(kFoldersLabel, u"Written:");
    // Bytes and time left take more room than a count.
    SetItemAttribute(kFolders, "pos", "190,14,-22,30");
    SetItemText(kFilesLabel, Ui(u"lanScanFile"));
    SetItemText(kLastLabel, u"Recovering:");
    SetItemText(kTitle, Ui(u"lanRecText"));
  } else {
    SetItemText(kFoldersLabel, Ui(u"lanScanFolder"));
    SetItemText(kFilesLabel, Ui(u"lanScanFile"));
    SetItemText(kLastLabel, Ui(u"lanScanLast"));
    SetItemText(kTitle, Ui(u"lanScanText"));
  }
  SetItemText(kPauseText, Ui(u"lanScanBtnPause"));
  SetItemText(kStopText, Ui(u"lanScanBtnStop"));
  ShowFigures();
  SetTimer(hwnd(), kTimerId, kTimerMs, nullptr);
  return TRUE;
}

void CIngDlg::ShowRecoveryFigures() {
  const app::ScanProgress& p = progress();
  const uint64_t done = p.bytes_done.load(), total = p.bytes_total.load();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  if (!paused_) rate_.Sample(seconds, done);
  std::u16string written = app::BytesOfText(done, total);
  const std::u16string left = paused_ ? std::u16string() : app::TimeLeftText(rate_.SecondsLeft(total));
  if (!left.empty()) written += u", " + left;
  SetItemText(kFolders, written);
  SetItemText(kFiles, number(p.files.load()) + u" of " + number(static_cast<long long>(p.files_total.load())));
}

void CIngDlg::ShowFigures() {
  const app::ScanProgress& p = progress();
  if (recovery_) {
    ShowRecoveryFigures();
  } else {
    SetItemText(kFolders, number(p.folders.load()));
    SetItemText(kFiles, number(p.files.load()));
  }
  SetItemText(kLastName, p.LastName());
  const std::string frame = std::to_string(p.ticks.load() % kAnimationFrames);
  SetItemAttribute(kAnimation, "sub", frame);
  ShowBar();
}

void CIngDlg::ShowBar() {
  const int percent = progress().percent.load();
  if (percent != shown_percent_) {
    shown_percent_ = percent;
    SetItemAttribute(kBar, "value", std::to_string(percent));
  }
}

void CIngDlg::OnTick() {
  if (!paused_) {
    if (scan_) scan_->Tick();
    else recovery_->Tick();
    ShowFigures();
  } else if (recovery_) {
    // A paused recovery finishes the file under way: its bytes still count.
    recovery_->Tick();
    ShowRecoveryFigures();
    ShowBar();
  }
  // A worker that ended without reaching 100 (a scan cannot; a recovery
  // that the destination ended does) ends the dialog too: a dialog must
  // never wait for nothing.
  const bool ended = scan_ ? scan_->done() && !scan_->stopped() : recovery_->done();
  if (progress().percent.load() >= 100 || ended) {
    KillTimer(hwnd(), kTimerId);
    EndDialog(1);
  }
}

void CIngDlg::TogglePause() {
  paused_ = !paused_;
  if (scan_) {
    if (paused_) scan_->Pause();
    else scan_->Continue();
  } else {
    if (paused_) recovery_->Pause();
    else recovery_->Continue();
  }
  SetItemAttribute(kPauseIcon, "skin", paused_ ? "iconstart" : "iconpause");
  SetItemText(kPauseText, Ui(paused_ ? u"lanScanBtnCon" : u"lanScanBtnPause"));
  if (recovery_) ShowRecoveryFigures();
}

void CIngDlg::Stop() {
  KillTimer(hwnd(), kTimerId);
  if (scan_) scan_->Stop();
  else recovery_->Stop();
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
