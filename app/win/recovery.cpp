// The main window's recovery: the selection test, the destination folder
// (with the checks made before anything is written: not on the scanned
// volume unless the user insists twice, room for the selection), the run
// with the progress dialog in recovering mode, and what the status line
// says afterwards, with the list of the files that failed.

#include "app/core/recovery_report.h"
#include "app/win/folder_browse_dlg.h"
#include "app/win/ing_dlg.h"
#include "app/win/main_dlg.h"
#include "app/win/recovery_dlgs.h"
#include "app/win/ui_texts.h"

namespace salvor::win {
namespace {

constexpr int kRecover = 204, kReturn = 214, kStatus = 3000, kDetailsLink = 3004;

// The clusters of the volume `folder` lies on; 0 when not known.
uint64_t cluster_bytes_of(const std::u16string& folder) {
  wchar_t root[MAX_PATH + 1] = {};
  if (!GetVolumePathNameW(W(folder), root, MAX_PATH)) return 0;
  DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceW(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters, &clusters)) return 0;
  return static_cast<uint64_t>(sectors_per_cluster) * bytes_per_sector;
}

constexpr char16_t kOnVolumeMessage[] =
    u"The folder you chose lies on the drive being recovered. The files found there are only "
    u"traces in space the drive counts as free: every file written to that drive may land on "
    u"them and destroy, for good, what you are trying to get back. Choose a folder on another drive.";
constexpr char16_t kOnVolumeAgain[] =
    u"Recover onto the drive being recovered all the same? Files not yet recovered may be "
    u"overwritten by the ones written now and be lost for good.";

}  // namespace

// A destination the run can use, asked for until the user gives one or
// gives up (false).
bool CMainDlg::ChooseDestination(const std::vector<const app::FoundItem*>& selection,
                                 app::RecoveryRequest& request) {
  for (;;) {
    CFolderBrowseDlg browse;
    if (browse.DoModal(hwnd()) != 1) return false;
    request.destination = browse.chosen_path();
    request.allow_destination_on_source = false;
    if (app::CheckDestination(request) == app::StartFailure::kDestinationOnSource) {
      CNoticeDlg warning(kOnVolumeMessage, u"Choose another folder", u"Recover here anyway");
      const INT_PTR answer = warning.DoModal(hwnd());
      if (answer == 0) return false;
      if (answer == 1) continue;
      CNoticeDlg again(kOnVolumeAgain, u"Choose another folder", u"Yes, recover here");
      const INT_PTR insisted = again.DoModal(hwnd());
      if (insisted == 0) return false;
      if (insisted == 1) continue;
      request.allow_destination_on_source = true;
    }
    ULARGE_INTEGER available{}, total{}, free{};
    if (GetDiskFreeSpaceExW(W(request.destination), &available, &total, &free)) {
      const uint64_t needed = app::SpaceNeeded(selection, cluster_bytes_of(request.destination));
      const app::SpaceCheck space = app::CheckSpace(needed, available.QuadPart);
      if (!space.enough) {
        CNoticeDlg full(space.text, u"Choose another folder", u"Cancel");
        if (full.DoModal(hwnd()) == 1) continue;
        return false;
      }
    }
    return true;
  }
}

// "Recover" (row < 0) or "&Recover This One" for a row.
void CMainDlg::OnRecover(int row) {
  ShowFailedLink(false);
  if (recovery_ && !recovery_->done()) {
    ShowStatus(u"The last recovery is still finishing; try again in a moment.");
    return;
  }
  const app::TreeKind kind = results_.VisibleTree();
  SyncTreeChecks(kind);
  std::vector<const app::FoundItem*> selection;
  single_item_ = row >= 0;
  if (single_item_) {
    if (static_cast<size_t>(row) >= results_.rows().size()) return;
    selection.push_back(results_.rows()[static_cast<size_t>(row)].item);
  } else {
    if (!results_.AnythingChecked()) {
      ShowStatus(app::kNothingSelectedText);
      return;
    }
    selection = results_.CollectChecked();
  }
  if (app::PlanRecovery(selection).empty()) {
    ShowStatus(app::kNothingSelectedText);
    return;
  }

  app::RecoveryRequest request;
  request.items = selection;
  request.file_system = scanned_file_system_;
  request.mode = scan_mode_ == 2 ? app::ScanMode::kUnformat : app::ScanMode::kQuick;
  request.source = scanned_drive_;
  for (const auto* items : {&results_.all_items(), &results_.deleted_items()})
    for (const app::FoundItem& item : *items)
      if (item.is_folder()) request.folders.push_back(&item);
  if (!ChooseDestination(selection, request)) return;

  auto run = std::make_unique<app::RecoveryRun>(engine_);
  const HWND window = hwnd();
  run->on_done = [window] { PostMessageW(window, kMsgRecoveryDone, 0, 0); };
  if (!run->Start(request)) {
    ShowStatus(run->message());
    return;
  }
  recovery_ = std::move(run);
  single_item_ = false;
  ShowStatus(u"");
  ShowItem(kRecover, false);
  ShowItem(kReturn, false);
  CIngDlg progress(*recovery_);
  progress.DoModal(hwnd());
}

// The worker's note that the run is over (its results are final).
void CMainDlg::OnRecoveryDone() {
  ShowItem(kRecover, true);
  ShowItem(kReturn, true);
  if (!recovery_ || !recovery_->done()) return;
  failed_files_ = app::FailedFiles(recovery_->results());
  app::RunOutcome outcome;
  outcome.abort_reason = recovery_->abort_reason();
  outcome.completed = !recovery_->stopped() && outcome.abort_reason.empty();
  outcome.planned = recovery_->planned();
  outcome.failed = failed_files_.size();
  for (const app::RecoveryResult& result : recovery_->results())
    if (result.ok && result.written >= result.size) ++outcome.whole;
  ShowStatus(app::RecoveryStatusText(outcome));
  ShowFailedLink(!failed_files_.empty());
}

void CMainDlg::ShowFailedLink(bool show) {
  SetItemAttribute(kStatus, "pos", show ? "180,5,-300,-4" : "180,5,-220,-4");
  ShowItem(kDetailsLink, show);
}

void CMainDlg::ShowFailedFiles() {
  if (failed_files_.empty()) return;
  CFailedFilesDlg details(failed_files_);
  details.DoModal(hwnd());
}

}  // namespace salvor::win
