// CMainDlg: the program's main window (layout 103). It is the hub of the
// component model (registry and bus, Surveyor attached by path), binds the
// engine by name, shows the drive page with the drive list and the two scan
// buttons, runs a scan with the progress dialog, and shows what was found
// on the results page (results_page.cpp).
#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/core/engine_binding.h"
#include "app/core/file_filter.h"
#include "app/core/recovery_report.h"
#include "app/core/recovery_run.h"
#include "app/core/hub.h"
#include "app/core/results_model.h"
#include "app/core/scan_run.h"
#include "app/core/settings.h"
#include "app/win/config_page.h"
#include "app/win/scan_button.h"
#include "app/win/startup.h"
#include "common/drive_info.h"
#include "skin/win/controls/list_view_ctrl.h"
#include "skin/win/controls/tri_state_tree.h"
#include "skin/win/dialog.h"

namespace salvor::win {

// Posted to the main window when a check-all worker is done.
inline constexpr UINT kMsgCheckAllDone = WM_APP + 2;
// Posted to the main window by the recovery worker once a run is over.
inline constexpr UINT kMsgRecoveryDone = 3613;

class CMainDlg : public skin::CGwDialogImpl<CMainDlg>, public app::CLeader {
 public:
  static constexpr unsigned kLayout = 103;
  CMainDlg(ModuleInfo module, std::u16string do_value);
  ~CMainDlg() override;

  int OnDispatchCommand(const WChar* command, void* data) override;
  using app::CLeader::OnDispatchCommand;

 protected:
  BOOL OnInitDialog() override;
  void OnGwNotify(const skin::GwNotifyHeader& n) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

 private:
  // Drive page.
  void CreateControls();
  void ApplyTexts();
  void ChooseLanguage();
  void RequestDrives();
  void FillDriveList(const DriveInfoList& reported);
  void FillDiskRows(const DriveInfoList& disks);
  void RememberSelectedDrive();
  void RequestScan(bool unformat);
  void StartScan();
  void OpenImage();
  void ShowDriveRows(int selected);
  // Lists the scannable partitions of `source` (an image, a physical
  // drive), maps each to a free letter and adds its row to drives_ and
  // `shown`; the number mapped.
  size_t MapPartitions(const std::u16string& source, const char16_t* type_text, const std::u16string& label,
                       uint32_t flags, DriveInfoList& shown);
  void UnmapPartitions(DriveInfoList& shown);
  void ShowInfo(LPARAM which);
  void PlaceScanButtons();
  void ShowScanButtons(bool show);
  void UpdateBusyButtons();
  void ShowStatus(const std::u16string& text);

  // Results page (results_page.cpp).
  void ClearResults();
  void ShowResultsPage();
  void ShowDrivePage();
  void FillTree(app::TreeKind kind);
  void SyncTreeChecks(app::TreeKind kind);
  void FillResultList();
  void OnTreeClick(int tree_id);
  void OnTreeSelected(app::TreeKind kind, HTREEITEM item);
  void OnOnlyDeletedClicked();
  void OnCheckAllClicked();
  void OnRowCheckToggled(int row);
  void OnSortColumn(int column);
  skin::CRw3StateCheckTreeCtrl* Tree(app::TreeKind kind);

  // The File Filter and the flat view (filter_view.cpp).
  void OpenFilter();
  void ShowFlatView(bool flat);
  void OnBackClicked();
  // Recovery (recovery.cpp).
  void OnRecover(int row);
  bool ChooseDestination(const std::vector<const app::FoundItem*>& selection, app::RecoveryRequest& request);
  void OnRecoveryDone();
  void ShowFailedLink(bool show);
  void ShowFailedFiles();

  ModuleInfo module_;
  std::u16string do_value_;
  app::EngineBinding engine_;
  bool engine_bound_ = false;

  DriveInfoList drives_;
  DriveInfoList selected_drive_;  // the record of the drive a scan is for
  bool drive_selected_ = false;
  int fat_family_ = 1;
  int scan_mode_ = 0;  // 1 Quick Scan, 2 Unformatting Scan
  std::u16string scanned_drive_;        // "E:": the volume the results come from
  std::u16string scanned_file_system_;  // its file system, which selects the recovery
  // Rows of the opened image's and of the physical drives' partitions, each
  // under a letter the engine maps to its bytes; by drive name ("Z:"), the
  // row's first cell and the partition's size.
  DriveInfoList image_drives_, disk_drives_;
  struct MappedPartition {
    std::u16string row_name;
    uint64_t length_bytes = 0;
  };
  std::map<std::u16string, MappedPartition> mapped_;

  std::unique_ptr<skin::CListViewCtrlEx> drive_list_;
  std::unique_ptr<skin::CListViewCtrlEx> result_list_;
  std::array<std::unique_ptr<skin::CRw3StateCheckTreeCtrl10>, 2> trees_;
  std::array<std::vector<HTREEITEM>, 2> tree_items_;  // by node id - 1
  std::array<std::unordered_map<HTREEITEM, CheckTree::NodeId>, 2> tree_nodes_;
  CScan scan_button_;
  CFormatScan format_button_;
  CConfig config_;  // the file-type page, kept hidden
  bool sized_once_ = false;
  bool drive_page_active_ = true;
  bool busy_shown_ = false;
  bool filling_ = false;  // the page itself selects tree items
  bool flat_view_ = false;  // the filter's matches, without the tree
  app::FilterSpec filter_;  // the last one applied

  std::unique_ptr<app::ScanRun> scan_;
  app::ResultsModel results_;
  std::unique_ptr<app::RecoveryRun> recovery_;
  bool single_item_ = false;  // the run was asked for one row
  std::vector<app::FailedFile> failed_files_;  // of the last run
  HANDLE check_all_idle_ = nullptr;  // set while no check-all worker runs
  app::StartupLanguage language_;
};

}  // namespace salvor::win
