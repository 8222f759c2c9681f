// The main window's start, its drive page and the scan run.
#include "app/win/main_dlg.h"

#include <commdlg.h>
#include <dbt.h>
#include <shlwapi.h>

#include <cstdio>

#include "app/core/disk_partitions.h"
#include "app/core/drive_list.h"
#include "app/core/volume_probe.h"
#include "app/win/ing_dlg.h"
#include "app/win/is_sure_dlg.h"
#include "app/win/language_dlg.h"
#include "app/win/ui_texts.h"
#include "common/command_bus.h"
#include "common/text.h"
#include "skin/win/controls/control_messages.h"

namespace salvor::win {
namespace {

// Element ids of layout 103.
constexpr int kInfoPicture = 208, kInfoTitle = 108, kInfoText = 109;
constexpr int kDriveListId = 2000, kResultListId = 2001;
constexpr int kRefreshLink = 205, kOpenImageLink = 206;
constexpr int kMinimise = 110, kMaximise = 115, kClose = 111;
constexpr int kVersionText = 130, kThankText = 131, kLanguageButtonText = 132, kLanguageLabel = 117,
              kLanguageButton = 118;
constexpr int kHelpVersion = 167, kHelpLink = 139, kNewVersionLink = 155, kHelpLogo = 165;
constexpr int kReturn = 214, kFind = 215, kBack = 216, kRecover = 204;
constexpr int kOnlyDeleted = 2899, kCheckAll = 2696;
constexpr int kStatus = 3000, kDetailsLink = 3004;
constexpr UINT kMsgDoSwitch = 0x8003;
constexpr UINT_PTR kBusyTimer = 7;

std::u16string program_version() {
  wchar_t exe[MAX_PATH * 2] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH * 2);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(exe, &ignored);
  std::u16string text = u"0.0.0.0";
  if (size == 0) return text;
  std::vector<BYTE> data(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (GetFileVersionInfoW(exe, 0, size, data.data()) &&
      VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) && info != nullptr) {
    wchar_t buffer[64];
    std::swprintf(buffer, 64, L"%i.%i.%i.%i", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                  HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    text = U(buffer);
  }
  return text;
}

std::u16string trim_right(std::u16string text) {
  while (!text.empty() && text.back() == u' ') text.pop_back();
  return text;
}

// `shown_name`: the first cell of a partition's row, when it is one.
skin::RowRecord drive_row(const DriveInfo& drive, const std::u16string* shown_name = nullptr) {
  app::DriveRowTexts texts = app::DriveRow(drive);
  if (shown_name != nullptr) texts.name = *shown_name;
  return skin::DriveCardRow(std::move(texts.name), std::move(texts.capacity), std::move(texts.free_space),
                            std::move(texts.format));
}

std::u16string device_path(const std::u16string& name) { return u"\\\\.\\" + name; }

constexpr const char16_t* kDiskImageText = u"Disk Image";

}  // namespace

CMainDlg::CMainDlg(ModuleInfo module, std::u16string do_value)
    : CGwDialogImpl(kLayout), module_(std::move(module)), do_value_(std::move(do_value)) {
  check_all_idle_ = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  results_.set_path_exists([](std::u16string_view path) {
    const std::u16string copy(path);
    return PathFileExistsW(W(copy)) != FALSE;
  });
}

CMainDlg::~CMainDlg() {
  // An abandoned worker may still be inside the engine: it keeps what it
  // needs; the process ends without waiting for it.
  if (scan_) scan_->Stop();
  if (recovery_) recovery_->Stop();
}

BOOL CMainDlg::OnInitDialog() {
  StartComponentModel(module_.directory_plain);
  engine_bound_ = engine_.bind(module_.directory_plain);
  RegisterProgramCommands();
  RegisterCommandHandler(kCmdBackDiskInfo, this);
  SetWindowTextW(hwnd(), kProductTitle);
  CreateControls();
  StoreMainWindow(hwnd());
  RequestDrives();
  language_ = app::LoadStartupLanguage(module_.directory_plain);
  SetUiLanguage(language_.table);
  ApplyTexts();
  ShowItem(kLanguageLabel, language_.show_chooser);
  ShowItem(kLanguageButton, language_.show_chooser);
  // Nothing is sent over the network: no update notice, no usage reports.
  ShowItem(kNewVersionLink, false);
  ShowItem(kHelpLink, false);
  if (!engine_bound_) ShowStatus(engine_.error.empty() ? u"The recovery engine (Gleaner.dll) could not be loaded."
                                                        : engine_.error);
  if (!do_value_.empty()) PostMessageW(hwnd(), kMsgDoSwitch, 0, 0);
  return TRUE;
}

void CMainDlg::CreateControls() {
  HWND host = view()->hwnd();
  const RECT none{0, 0, 10, 10};
  drive_list_ = std::make_unique<skin::CListViewCtrlEx>();
  drive_list_->Create(host, kDriveListId, none);
  drive_list_->SetMainWindow(hwnd());
  for (int c = 0; c < 4; ++c) drive_list_->InsertColumn(c, u"", c == 0 ? 140 : 120);

  result_list_ = std::make_unique<skin::CListViewCtrlEx>();
  result_list_->Create(host, kResultListId, none);
  result_list_->SetMainWindow(hwnd());
  const int widths[] = {110, 130, 70, 100, 60, 95};
  for (int c = 0; c < 6; ++c) result_list_->InsertColumn(c, u"", widths[c]);

  constexpr unsigned kTreeImagesBitmap = 1010;
  for (size_t t = 0; t < trees_.size(); ++t) {
    trees_[t] = std::make_unique<skin::CRw3StateCheckTreeCtrl10>();
    if (!trees_[t]->Create(host, t == 0 ? 10004 : 10005, none)) continue;
    trees_[t]->SetMainWindow(hwnd());
    trees_[t]->SetImageListFromBitmap(kTreeImagesBitmap);
    SendMessageW(trees_[t]->hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    TreeView_SetBkColor(trees_[t]->hwnd(), RGB(255, 255, 255));
  }
  scan_button_.CreateChild(host, hwnd());
  format_button_.CreateChild(host, hwnd());
  config_.CreateChild(hwnd());
  PlaceScanButtons();
  ShowScanButtons(true);
}

void CMainDlg::ApplyTexts() {
  SetItemText(kLanguageButtonText, Ui(u"LanguageText"));
  SetItemAttribute(1011, "title", text::to_utf8(Ui(u"lanTabData")));
  SetItemAttribute(1013, "title", text::to_utf8(Ui(u"lanTabHelp")));
  ShowInfo(0);
  scan_button_.SetText(Ui(u"lanQuickTitle"));
  format_button_.SetText(Ui(u"lanFormatTitle"));
  const char16_t* drive_columns[] = {u"lanListDisk", u"lanListTotal", u"lanListFree", u"lanListFormat"};
  const char16_t* file_columns[] = {u"lanFileName", u"lanFilePath", u"lanFileSize",
                                    u"lanFileDate", u"lanFileCluste", u"lanFileData"};
  auto set_column = [](HWND list, int index, const std::u16string& title) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<wchar_t*>(W(title));
    ListView_SetColumn(list, index, &column);
  };
  for (int c = 0; c < 4; ++c) set_column(drive_list_->hwnd(), c, Ui(drive_columns[c]));
  for (int c = 0; c < 6; ++c) set_column(result_list_->hwnd(), c, Ui(file_columns[c]));
  InvalidateRect(ListView_GetHeader(drive_list_->hwnd()), nullptr, TRUE);
  InvalidateRect(ListView_GetHeader(result_list_->hwnd()), nullptr, TRUE);
  SetItemText(kRefreshLink, Ui(u"lanRefresh"));
  SetItemText(kOpenImageLink, Ui(u"lanOpenImage"));
  const std::u16string version = program_version();
  SetItemText(kVersionText, trim_right(Ui(u"lanVersion")) + u" " + version);
  SetItemText(kThankText, Ui(u"lanThank"));
  SetItemText(kLanguageLabel, Ui(u"lanLauText"));
  SetRichText(136, Ui(u"lanHelpText1"));
  SetRichText(137, Ui(u"lanHelpText2"));
  SetRichText(138, Ui(u"lanHelpText3"));
  SetItemText(kHelpVersion, Ui(u"lanHelpText4") + version);
  SetItemText(kHelpLink, Ui(u"lanHelpBtn"));
  SetItemText(kHelpLogo, Ui(u"lanHelpLogo"));
  SetItemText(kNewVersionLink, Ui(u"newText"));
  SetItemText(150, Ui(u"lanFileFolders"));
  SetItemText(kOnlyDeleted, Ui(u"lanFileDisplay"));
  SetItemText(kCheckAll, Ui(u"lanFileALL"));
  SetItemText(151, Ui(u"lanFileBtnRet"));
  SetItemText(152, Ui(u"lanFileBtnFind"));
  SetItemText(153, Ui(u"lanFileBtnRecover"));
  SetItemText(154, Ui(u"lanFileBtnBack"));
  result_list_->SetMenuEntries({{skin::kCmdRecover, Ui(u"lanRRecover")},
                                {skin::kCmdCheckRow, Ui(u"lanRCheck")},
                                {skin::kCmdUncheckRow, Ui(u"lanRUncheck")}});
  result_list_->SetRecoverMenuText(Ui(u"lanRRecover"));
  busy_shown_ = false;
  UpdateBusyButtons();
  view()->InvalidateAll();
}

void CMainDlg::ShowInfo(LPARAM which) {
  const char* pictures[] = {"iconusb", "imgquickscan", "imgformatscan"};
  const char16_t* titles[] = {u"lanProTitle", u"lanQuickTitle", u"lanFormatTitle"};
  const char16_t* texts[] = {u"lanProText", u"lanQuickText", u"lanFormatText"};
  const size_t i = which == 1 || which == 2 ? static_cast<size_t>(which) : 0;
  SetItemAttribute(kInfoPicture, "skin", pictures[i]);
  SetItemText(kInfoTitle, Ui(titles[i]));
  SetRichText(kInfoText, Ui(texts[i]));
}

void CMainDlg::ChooseLanguage() {
  CLanguageDlg dialog(module_.directory_plain);
  if (dialog.DoModal(hwnd()) != 1) return;
  SetUiLanguage(app::ApplyLanguage(dialog.chosen_path(), app::SettingsFilePath(module_.directory_plain)));
  ApplyTexts();
}

void CMainDlg::RequestDrives() {
  std::u16string request = u"111";
  m_command.SendCommand(kCmdDriveInformation, request.data());
  m_command.SendCommand(kCmdDiskInformation, request.data());
}

void CMainDlg::FillDriveList(const DriveInfoList& reported) {
  // The physical drives' partitions follow with their own reply (FillDiskRows).
  UnmapPartitions(disk_drives_);
  drives_ = reported;
  // The boot sector has the last word on the file system.
  for (DriveInfo& drive : drives_) app::ApplyVolumeFacts(drive, app::ProbeVolume(engine_, device_path(app::DriveName(drive))));
  // Drives whose file system the system could not name.
  const DWORD mask = GetLogicalDrives();
  for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
    if ((mask & (1u << (letter - L'A'))) == 0) continue;
    const std::u16string name{static_cast<char16_t>(letter), u':'};
    if (app::FindDriveByName(drives_, name) != nullptr) continue;
    if (mapped_.count(name) != 0) continue;  // the engine shows a partition there
    const std::u16string root = name + u"\\";
    const UINT type = GetDriveTypeW(W(root));
    if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED) continue;
    wchar_t fs_name[MAX_PATH + 1] = {};
    const bool named = GetVolumeInformationW(W(root), nullptr, 0, nullptr, nullptr, nullptr, fs_name, MAX_PATH) &&
                       app::VolumeKindOf(U(fs_name)) != 0;
    if (named) continue;  // Surveyor's rules left it out
    ULARGE_INTEGER available{}, total{}, free{};
    std::optional<uint64_t> os_total, os_free;
    if (GetDiskFreeSpaceExW(W(root), &available, &total, &free)) {
      os_total = total.QuadPart;
      os_free = available.QuadPart;
    }
    auto drive = app::DriveFromBootSector(root, type == DRIVE_REMOVABLE ? kRemovableDriveText : kFixedDriveText,
                                          app::ProbeVolume(engine_, device_path(name)), os_total, os_free);
    if (drive) drives_.push_back(std::move(*drive));
  }
  drives_.insert(drives_.end(), image_drives_.begin(), image_drives_.end());
  ShowDriveRows(0);
}

void CMainDlg::FillDiskRows(const DriveInfoList& disks) {
  UnmapPartitions(disk_drives_);
  for (const DriveInfo& disk : disks) {
    const auto number = app::PhysicalDriveNumber(disk.RootPath);
    if (!number) continue;
    // Only the tables are read: a search of a whole disk takes as long as
    // reading all of it.
    MapPartitions(disk.RootPath, kPhysicalDiskText, u"disk " + text::from_utf8(std::to_string(*number)),
                  kReListNoSearch, disk_drives_);
  }
  if (!disk_drives_.empty()) ShowDriveRows(0);
}

void CMainDlg::ShowDriveRows(int selected) {
  drive_list_->DeleteAllRows();
  for (const DriveInfo& drive : drives_) {
    const auto mapped = mapped_.find(app::DriveName(drive));
    drive_list_->AddRow(drive_row(drive, mapped != mapped_.end() ? &mapped->second.row_name : nullptr));
  }
  if (selected >= 0 && selected < static_cast<int>(drives_.size())) {
    SetFocus(drive_list_->hwnd());
    ListView_SetItemState(drive_list_->hwnd(), selected, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    // The rows after it (an opened image's other partitions) come into view with it.
    ListView_EnsureVisible(drive_list_->hwnd(), static_cast<int>(drives_.size()) - 1, FALSE);
    ListView_EnsureVisible(drive_list_->hwnd(), selected, FALSE);
  }
}

size_t CMainDlg::MapPartitions(const std::u16string& source, const char16_t* type_text, const std::u16string& label,
                               uint32_t flags, DriveInfoList& shown) {
  auto partitions = app::ListDiskPartitions(engine_, source, flags);
  if (!partitions || partitions->empty() || !engine_.ReMountImageRange) return 0;
  const auto letters = app::FreeLetters(GetLogicalDrives(), drives_, partitions->size());
  size_t mapped = 0;
  for (size_t i = 0; i < letters.size(); ++i) {
    const app::DiskPartition& partition = (*partitions)[i];
    if (!engine_.ReMountImageRange(letters[i], source.c_str(), partition.start_bytes, partition.length_bytes)) continue;
    DriveInfo drive = app::PartitionDrive(letters[i], partition, type_text);
    // A disk that is one volume is shown as the volume; a partition by its number.
    const bool whole = partition.start_bytes == 0 && partitions->size() == 1;
    mapped_[app::DriveName(drive)] = {whole ? app::DriveName(drive) : app::PartitionRowName(drive, partition.index, label),
                                      partition.length_bytes};
    drives_.push_back(drive);
    shown.push_back(std::move(drive));
    ++mapped;
  }
  if (letters.size() < partitions->size())
    ShowStatus(u"No drive letter is left for some partitions of " + source + u".");
  return mapped;
}

void CMainDlg::UnmapPartitions(DriveInfoList& shown) {
  // A stopped scan's worker may still read one of them: they stay mapped
  // (to the same bytes) until the engine is free.
  const bool busy = app::EngineUse::Busy();
  for (const DriveInfo& drive : shown) {
    const std::u16string name = app::DriveName(drive);
    for (auto it = drives_.begin(); it != drives_.end();) it = app::DriveName(*it) == name ? drives_.erase(it) : it + 1;
    mapped_.erase(name);
    if (!busy && engine_.ReMountImageRange) engine_.ReMountImageRange(name[0], nullptr, 0, 0);
  }
  shown.clear();
}

int CMainDlg::OnDispatchCommand(const WChar* command, void* data) {
  if (CommandNameEquals(command, kCmdBackDriveInfo)) {
    if (data != nullptr) FillDriveList(*static_cast<const DriveInfoList*>(data));
    return 1;
  }
  if (CommandNameEquals(command, kCmdBackDiskInfo)) {
    if (data != nullptr) FillDiskRows(*static_cast<const DriveInfoList*>(data));
    return 1;
  }
  if (CommandNameEquals(command, kCmdIsHaveDisk)) {
    RememberSelectedDrive();
    drive_selected_ = !selected_drive_.empty();
    if (drive_selected_) fat_family_ = app::FatFamilyFlag(selected_drive_.front().FileSystem);
    return 1;
  }
  if (CommandNameEquals(command, kCmdUserClickScanButton) || CommandNameEquals(command, kCmdUserClickFormatScan)) {
    scan_mode_ = CommandNameEquals(command, kCmdUserClickScanButton) ? 1 : 2;
    StartScan();
    return 1;
  }
  return 0;
}

void CMainDlg::RememberSelectedDrive() {
  selected_drive_.clear();
  const int row = ListView_GetNextItem(drive_list_->hwnd(), -1, LVNI_SELECTED);
  if (row < 0) return;
  wchar_t name[64] = {};
  ListView_GetItemText(drive_list_->hwnd(), row, 0, name, 64);
  if (const DriveInfo* drive = app::FindDriveByName(drives_, app::DriveNameOfRow(U(name))))
    selected_drive_.push_back(*drive);
}

void CMainDlg::RequestScan(bool unformat) {
  // The engine has one state: while a stopped scan's worker is still
  // inside it, nothing new starts (the buttons say so).
  if (app::EngineUse::Busy()) {
    UpdateBusyButtons();
    return;
  }
  std::u16string zero = u"0";
  m_command.SendCommand(kCmdIsHaveDisk, zero.data());
  if (!drive_selected_) return;
  CIsSureDlg sure(unformat ? ConfirmKind::kUnformatScan : ConfirmKind::kQuickScan);
  if (sure.DoModal(hwnd()) != 1) return;
  scan_.reset();
  m_command.SendCommand(unformat ? kCmdUserClickFormatScan : kCmdUserClickScanButton, zero.data());
  if (!scan_) return;
  CIngDlg progress(*scan_);
  if (progress.DoModal(hwnd()) == 1) {
    ShowResultsPage();
    if (!scan_->engine_ok())
      ShowStatus(u"The volume could not be read completely; the results may be incomplete.");
  } else {
    UpdateBusyButtons();
  }
}

void CMainDlg::StartScan() {
  RememberSelectedDrive();
  if (selected_drive_.empty()) return;
  const DriveInfo& drive = selected_drive_.front();
  config_.Load();  // KVN.ini may have changed since
  ClearResults();
  ShowStatus(u"");
  ShowFailedLink(false);
  failed_files_.clear();

  app::ScanRequest request;
  request.file_system = drive.FileSystem;
  request.kind = app::VolumeKindOf(drive.FileSystem);
  const std::u16string name = app::DriveName(drive);
  request.root = name + u"\\";
  request.mode = scan_mode_ == 2 ? app::ScanMode::kUnformat : app::ScanMode::kQuick;
  // The device's own size: an Unformatting Scan sweeps the whole device,
  // also where the old file system reached beyond the new one.
  const auto facts = app::ProbeVolume(engine_, device_path(name));
  ULARGE_INTEGER available{}, total{}, free{};
  const auto mapped = mapped_.find(name);
  if (mapped != mapped_.end()) request.total_bytes = mapped->second.length_bytes;  // a partition or an image
  else if (facts && facts->size_bytes != 0) request.total_bytes = facts->size_bytes;
  else if (GetDiskFreeSpaceExW(W(request.root), &available, &total, &free)) request.total_bytes = total.QuadPart;

  auto run = std::make_unique<app::ScanRun>(engine_);
  const bool unformat = request.mode == app::ScanMode::kUnformat;
  const bool fat_family = fat_family_ != 0 && request.kind != 0 && drive.FileSystem != u"EXFAT" &&
                          drive.FileSystem != u"NTFS";
  // On the worker, once the engine returned: the trees are built before the
  // progress reaches 100 and the window looks at them.
  run->on_engine_done = [this, unformat, fat_family, name](app::FoundItems& items) {
    results_.Clear();
    results_.items() = std::move(items);
    if (unformat && fat_family) results_.RehomeDeletedItems(name);
    results_.BuildTrees(unformat ? app::ScanKind::kUnformat : app::ScanKind::kQuick);
  };
  if (!engine_bound_ || !run->Start(request)) {
    ShowStatus(engine_bound_ ? Ui(u"lanScanBusy") : u"The recovery engine (Gleaner.dll) could not be loaded.");
    return;
  }
  scan_ = std::move(run);
  scanned_drive_ = name;
  scanned_file_system_ = drive.FileSystem;
}

void CMainDlg::OpenImage() {
  wchar_t path[MAX_PATH * 2] = {};
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = hwnd();
  ofn.lpstrFilter = L"Disk images (*.img;*.ima;*.bin;*.dd;*.raw;*.vhd)\0*.img;*.ima;*.bin;*.dd;*.raw;*.vhd\0All files\0*.*\0";
  ofn.lpstrFile = path;
  ofn.nMaxFile = MAX_PATH * 2;
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&ofn)) return;
  const std::u16string image = U(path);
  if (!engine_.ReListPartitions || !engine_.ReMountImageRange) {
    ShowStatus(u"The recovery engine cannot open image files.");
    return;
  }
  // An image opened before gives way to this one.
  UnmapPartitions(image_drives_);
  const size_t first = drives_.size();
  if (MapPartitions(image, kDiskImageText, {}, 0, image_drives_) == 0) {
    ShowStatus(u"No FAT, FAT32, exFAT or NTFS file system found in " + image + u".");
    ShowDriveRows(-1);
    return;
  }
  ShowDriveRows(static_cast<int>(first));
}

void CMainDlg::PlaceScanButtons() {
  if (view()->hwnd() == nullptr || scan_button_.hwnd() == nullptr) return;
  RECT client{};
  GetClientRect(view()->hwnd(), &client);
  SetWindowPos(scan_button_.hwnd(), HWND_TOP, client.right - 230, client.top + 200, CScanButton::kWidth,
               CScanButton::kHeight, SWP_NOACTIVATE);
  SetWindowPos(format_button_.hwnd(), HWND_TOP, client.right - 230, client.top + 265, CScanButton::kWidth,
               CScanButton::kHeight, SWP_NOACTIVATE);
}

void CMainDlg::ShowScanButtons(bool show) {
  for (HWND h : {scan_button_.hwnd(), format_button_.hwnd()})
    if (h != nullptr) ShowWindow(h, show ? SW_SHOWNA : SW_HIDE);
}

void CMainDlg::UpdateBusyButtons() {
  const bool busy = app::EngineUse::Busy();
  if (busy == busy_shown_) return;
  busy_shown_ = busy;
  scan_button_.SetText(busy ? Ui(u"lanScanBusy") : Ui(u"lanQuickTitle"));
  format_button_.SetText(busy ? Ui(u"lanScanBusy") : Ui(u"lanFormatTitle"));
  if (busy) SetTimer(hwnd(), kBusyTimer, 250, nullptr);
  else KillTimer(hwnd(), kBusyTimer);
}

void CMainDlg::ShowStatus(const std::u16string& text) { SetItemText(kStatus, text); }

void CMainDlg::OnGwNotify(const skin::GwNotifyHeader& n) {
  if (n.code == skin::gwn::kTabChanging) {
    const auto& change = reinterpret_cast<const skin::GwNotifyTabChanging&>(n);
    ShowScanButtons(change.new_index == 0 && drive_page_active_);
    return;
  }
  if (n.code != skin::gwn::kClick) return;
  switch (reinterpret_cast<const skin::GwNotifyClick&>(n).id) {
    case kRefreshLink: RequestDrives(); break;
    case kOpenImageLink: OpenImage(); break;
    case kMinimise: ShowWindow(hwnd(), SW_MINIMIZE); break;
    case kMaximise: ShowWindow(hwnd(), (GetWindowLongPtrW(hwnd(), GWL_STYLE) & WS_MAXIMIZE) ? SW_RESTORE : SW_MAXIMIZE); break;
    case kClose: {
      CIsSureDlg sure(ConfirmKind::kClose);
      if (sure.DoModal(hwnd()) == 1) EndDialog(IDOK);
      break;
    }
    case kLanguageButton: ChooseLanguage(); break;
    case kReturn: {
      CIsSureDlg sure(ConfirmKind::kReturn);
      if (sure.DoModal(hwnd()) == 1) ShowDrivePage();
      break;
    }
    case kOnlyDeleted: OnOnlyDeletedClicked(); break;
    case kFind: OpenFilter(); break;
    case kBack: OnBackClicked(); break;
    case kCheckAll: OnCheckAllClicked(); break;
    case kRecover: OnRecover(-1); break;
    case kDetailsLink: ShowFailedFiles(); break;
    default: break;
  }
}

bool CMainDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_SIZE:
      // The first size comes before the buttons exist.
      if (sized_once_) PlaceScanButtons();
      sized_once_ = true;
      return false;
    case kMsgScanButtonClick:
      RequestScan(wp == 888);
      return true;
    case kMsgScanButtonHover:
      ShowInfo(lp);
      return true;
    case kMsgDoSwitch:
      return true;  // "do" has no task in this program
    case WM_TIMER:
      if (wp != kBusyTimer) return false;
      UpdateBusyButtons();
      return true;
    case WM_DEVICECHANGE:
      if ((wp == DBT_DEVICEARRIVAL || wp == DBT_DEVICEREMOVECOMPLETE) && lp != 0 &&
          reinterpret_cast<const DEV_BROADCAST_HDR*>(lp)->dbch_devicetype == DBT_DEVTYP_VOLUME) {
        drive_list_->DeleteAllRows();
        RequestDrives();
      }
      result = TRUE;
      return true;
    case WM_CLOSE:
      EndDialog(IDCANCEL);
      return true;
    case skin::kMsgTreeButtonUp:
      OnTreeClick(static_cast<int>(wp));
      return true;
    case skin::kMsgRowCheckToggled:
      if (static_cast<int>(lp) == kResultListId) OnRowCheckToggled(static_cast<int>(wp));
      return true;
    case skin::kMsgHeaderClick:
      if (static_cast<int>(lp) == kResultListId) OnSortColumn(static_cast<int>(wp));
      return true;
    case kMsgCheckAllDone:
      InvalidateRect(result_list_->hwnd(), nullptr, FALSE);
      return true;
    case skin::kMsgRecoverRow:
      OnRecover(static_cast<int>(lp));
      return true;
    case kMsgRecoveryDone:
      OnRecoveryDone();
      return true;
    case WM_NOTIFY: {
      const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
      if (hdr == nullptr || (hdr->idFrom != 10004 && hdr->idFrom != 10005)) return false;
      const app::TreeKind kind = hdr->idFrom == 10004 ? app::TreeKind::kDeleted : app::TreeKind::kAll;
      if (hdr->code == skin::kTreeNotifyCheckChanged) {
        SyncTreeChecks(kind);
        return true;
      }
      // A new selection, by mouse or keyboard, lists its folder.
      if (hdr->code == TVN_SELCHANGEDW) OnTreeSelected(kind, reinterpret_cast<const NMTREEVIEWW*>(lp)->itemNew.hItem);
      return false;
    }
    default:
      return false;
  }
}

}  // namespace salvor::win
