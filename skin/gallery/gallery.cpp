// skin-gallery: opens every shipped window layout (resources 103..113) with
// sample content in its real controls, for looking at the skin without the
// engine or a drive.
//
//   skin-gallery                      all windows, interactive; closing the
//                                     main window ends the program
//   skin-gallery --screenshots DIR    one window at a time, each captured into
//                                     DIR\<id>-<name>.bmp, then exit: 0 when
//                                     every layout opened and every capture
//                                     was written, 1 otherwise
//
// The list icons and img\Drives.bmp are read from the "img" folder beside
// the program, as the program itself reads them.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "skin/win/controls/control_messages.h"
#include "skin/win/controls/folder_browse_ctrl.h"
#include "skin/win/controls/list_view_ctrl.h"
#include "skin/win/controls/tri_state_tree.h"
#include "skin/win/dialog.h"
#include "skin/win/notify.h"
#include "skin/win/resources.h"

namespace salvor::skin {
namespace {

// Normal images of the folder trees (four 16 x 16 cells), compiled in.
constexpr unsigned kTreeImagesBitmap = 1010;


struct WindowInfo {
  unsigned id;
  const char* name;
};
constexpr WindowInfo kWindows[] = {
    {103, "main"},    {104, "quick-scan"}, {105, "file-types"},  {108, "confirm"}, {109, "progress"},
    {110, "filter"},  {111, "format-scan"}, {112, "language"},   {113, "folder"},
};

// Handles the messages every view needs while the gallery runs: lets the
// mouse go through message loops and dispatches pending sends.
void pump_for(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  } while (GetTickCount() - start < ms);
}

RECT no_rect() { return RECT{0, 0, 10, 10}; }

void set_default_font(HWND hwnd) {
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GwFontPool::Instance().Get(0)), TRUE);
}

// Trees on the white pages: white whatever the visual theme says.
void prepare_tree(HWND tree) {
  set_default_font(tree);
  TreeView_SetBkColor(tree, RGB(255, 255, 255));
}

// One window of the gallery with its sample content.
class GalleryDialog : public CGwDialogImpl<GalleryDialog> {
 public:
  GalleryDialog(unsigned id, bool interactive) : CGwDialogImpl(id), interactive_(interactive) {}

  CGwFolderBrowseCtrl* folder_tree() { return folder_tree_.get(); }

  // Builds the scan button windows over the drive page, children of the
  // view as the program places them (client right - 230, top + 200 / 265).
  bool AddScanButtons() {
    for (unsigned id : {104u, 111u}) {
      auto button = std::make_unique<GalleryDialog>(id, interactive_);
      HWND h = button->Create(hwnd(), false);
      if (h == nullptr) return false;
      SetWindowLongPtrW(h, GWL_STYLE, WS_CHILD | WS_CLIPCHILDREN);
      SetWindowLongPtrW(h, GWL_EXSTYLE, 0);
      SetParent(h, view()->hwnd());
      scan_buttons_.push_back(std::move(button));
    }
    PlaceScanButtons();
    for (auto& b : scan_buttons_) ShowWindow(b->hwnd(), SW_SHOWNA);
    return true;
  }

  bool IsItemShown(int id) const {
    const CGwWindow* e = FindItem(id);
    return e != nullptr && !e->is_hidden();
  }

  void ShowScanButtons(bool show) {
    for (auto& b : scan_buttons_) ShowWindow(b->hwnd(), show ? SW_SHOWNA : SW_HIDE);
  }

  // The results page as a finished scan leaves it.
  void ShowResultsPage() {
    ShowScanButtons(false);
    ShowItem(254, false);
    ShowItem(253, true);
    SetItemCheck(2899, true);
    SetItemText(3000, u"All the files selected have  been recovered. ");
  }

 protected:
  BOOL OnInitDialog() override {
    switch (layout_id()) {
      case 103: FillMain(); break;
      case 105: FillFileTypes(); break;
      case 108: break;
      case 109: FillProgress(); break;
      case 110: FillFilter(); break;
      case 112: FillLanguages(); break;
      case 113: FillFolders(); break;
      default: break;
    }
    return TRUE;
  }

  void OnGwNotify(const GwNotifyHeader& n) override {
    if (!interactive_) return;
    if (n.code == gwn::kTabChanging) {  // the scan buttons belong to the drive tab
      const auto& change = reinterpret_cast<const GwNotifyTabChanging&>(n);
      ShowScanButtons(change.new_index == 0 && !IsItemShown(253));
      return;
    }
    if (n.code != gwn::kClick) return;
    const auto& click = reinterpret_cast<const GwNotifyClick&>(n);
    switch (click.id) {
      case 111:  // close
      case 170: case 171: case 210: case 211: case 218: case 219: case 119: case 120:
        if (layout_id() == 103) PostQuitMessage(0);
        else ShowWindow(hwnd(), SW_HIDE);
        break;
      case 110: ShowWindow(hwnd(), SW_MINIMIZE); break;
      case 115: ShowWindow(hwnd(), IsZoomed(hwnd()) ? SW_RESTORE : SW_MAXIMIZE); break;
      case 204: case 215: ShowResultsPage(); break;
      case 214:
        ShowItem(253, false);
        ShowItem(254, true);
        ShowScanButtons(true);
        break;
      case 212: {  // Pause / Continue
        paused_ = !paused_;
        SetItemAttribute(3002, "skin", paused_ ? "iconstart" : "iconpause");
        SetItemText(144, paused_ ? u"Continue" : u"Pause");
        break;
      }
      default: break;
    }
  }

  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override {
    (void)wp, (void)lp, (void)result;
    if (msg == WM_SIZE && !scan_buttons_.empty()) PlaceScanButtons();
    return false;
  }

 private:
  void PlaceScanButtons() {
    RECT client{};
    GetClientRect(view()->hwnd(), &client);
    int y = client.top + 200;
    for (auto& b : scan_buttons_) {
      SetWindowPos(b->hwnd(), HWND_TOP, client.right - 230, y, 204, 55, SWP_NOACTIVATE);
      y += 65;
    }
  }

  void FillMain() {
    HWND host = view()->hwnd();
    SetItemText(130, u"Version: 1.0.0.0");
    SetItemText(167, u"Salvor For USB drive 1.0.0.0");

    // The drive list: one card per drive.
    drives_ = std::make_unique<CListViewCtrlEx>();
    if (drives_->Create(host, 2000, no_rect())) {
      drives_->InsertColumn(0, u"       Disk", 140);
      drives_->InsertColumn(1, u"Capacity", 120);
      drives_->InsertColumn(2, u"Free Space", 120);
      drives_->InsertColumn(3, u"Format", 120);
      struct Drive {
        const char16_t* name;
        const char16_t* total;
        const char16_t* free;
        const char16_t* fs;
      };
      const Drive samples[] = {{u"E:", u"14.91 GB", u"3.27 GB", u"FAT32"},
                               {u"F:", u"7.45 GB", u"7.12 GB", u"EXFAT"},
                               {u"G:", u"465.76 GB", u"120.04 GB", u"NTFS"}};
      for (const Drive& d : samples) drives_->AddRow(DriveCardRow(d.name, d.total, d.free, d.fs));
      ListView_SetItemState(drives_->hwnd(), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }

    // The results list: files of the selected folder, deleted ones marked.
    results_ = std::make_unique<CListViewCtrlEx>();
    if (results_->Create(host, 2001, no_rect())) {
      results_->InsertColumn(0, u"File Name", 130);
      results_->InsertColumn(1, u"File Path", 170);
      results_->InsertColumn(2, u"Size", 80);
      results_->InsertColumn(3, u"Date Modified", 80);
      results_->InsertColumn(4, u"First Cluste", 80);
      struct File {
        const char16_t* name;
        const char16_t* path;
        const char16_t* size;
        const char16_t* date;
        const char16_t* cluster;
        bool deleted;
        bool checked;
      };
      const File files[] = {
          {u"IMG_0412.JPG", u"E:\\DCIM\\100PHOTO\\IMG_0412.JPG", u"2.41 MB", u"2013-01-02 14:02:04", u"1204", true, true},
          {u"IMG_0413.JPG", u"E:\\DCIM\\100PHOTO\\IMG_0413.JPG", u"2.38 MB", u"2013-01-02 14:02:31", u"1820", true, true},
          {u"IMG_0415.JPG", u"E:\\DCIM\\100PHOTO\\IMG_0415.JPG", u"2.52 MB", u"2013-01-02 14:05:10", u"2433", false, false},
          {u"report.docx", u"E:\\DCIM\\100PHOTO\\report.docx", u"18.20 KB", u"2013-01-03 09:12:44", u"3051", true, false},
          {u"notes.txt", u"E:\\DCIM\\100PHOTO\\notes.txt", u"N/A", u"2013-01-03 09:15:02", u"0", true, true},
          {u"holiday.mp4", u"E:\\DCIM\\100PHOTO\\holiday.mp4", u"48.07 MB", u"2013-01-04 18:40:57", u"3062", false, false},
      };
      for (const File& f : files) {
        RowRecord row;
        row.flags = row_flags::kCheckOnBox;
        row.check_state = f.checked ? kCheckChecked : kCheckUnchecked;
        row.icon = f.deleted ? RowIcon::kDeletedFile : RowIcon::kExistingFile;
        const COLORREF text = f.deleted ? RGB(0xC6, 0x28, 0x28) : RGB(0x33, 0x3A, 0x44);
        for (const char16_t* cell : {f.name, f.path, f.size, f.date, f.cluster})
          row.cells.push_back({0, cell, text, {}});
        results_->AddRow(std::move(row));
      }
      // A row whose path is a link, as a file list may offer to open it.
      RowRecord link;
      link.icon = RowIcon::kDeletedFolder;
      link.cells = {{0, u"Holiday", RGB(0x33, 0x3A, 0x44), {}},
                    {1, u"E:\\DCIM\\Holiday", 0, {}},
                    {0, u"", 0, {}},
                    {0, u"2013-01-05 10:00:00", RGB(0x66, 0x66, 0x66), {}},
                    {0, u"3100", RGB(0x66, 0x66, 0x66), {}}};
      results_->AddRow(std::move(link));
    }

    // The two folder trees; the "all items" one stays hidden.
    for (int id : {10004, 10005}) {
      auto tree = std::make_unique<CRw3StateCheckTreeCtrl10>();
      if (!tree->Create(host, id, no_rect())) continue;
      tree->SetImageListFromBitmap(kTreeImagesBitmap);
      prepare_tree(tree->hwnd());
      // Folders gone from the volume show the second image pair.
      HTREEITEM root = tree->InsertItem(TVI_ROOT, u"E:", kCheckUnchecked, 0, 1);
      HTREEITEM dcim = tree->InsertItem(root, u"DCIM", kCheckUnchecked, 0, 1);
      HTREEITEM photos = tree->InsertItem(dcim, u"100PHOTO", kCheckUnchecked, 0, 1);
      HTREEITEM holiday = tree->InsertItem(dcim, u"Holiday", kCheckUnchecked, 2, 3);
      HTREEITEM docs = tree->InsertItem(root, u"Documents", kCheckUnchecked, 0, 1);
      tree->InsertItem(docs, u"Reports", kCheckUnchecked, 0, 1);
      tree->InsertItem(docs, u"Letters", kCheckUnchecked, 2, 3);
      tree->InsertItem(root, u"Music", kCheckUnchecked, 0, 1);
      tree->InsertItem(root, u"dir1234", kCheckUnchecked, 2, 3);
      // Checked as a user would check them: the ancestors follow.
      tree->SetCheckWithPropagation(holiday, true);
      tree->SetCheckWithPropagation(docs, true);
      for (HTREEITEM item : {root, dcim, docs}) TreeView_Expand(tree->hwnd(), item, TVE_EXPAND);
      TreeView_SelectItem(tree->hwnd(), photos);
      trees_.push_back(std::move(tree));
    }
  }

  void FillFileTypes() {
    for (int id : {8000, 8001, 8002, 8004, 8012, 8013, 8014}) SetItemCheck(id, true);
  }

  void FillProgress() {
    SetItemText(106, u"128");
    SetItemText(105, u"2046");
    SetItemText(104, u"IMG_0412.JPG");
    SetItemAttribute(1600, "value", "64");
    SetItemAttribute(3001, "sub", "5");
  }

  void FillFilter() {
    HWND host = view()->hwnd();
    HWND combo = CreateWindowExW(0, WC_COMBOBOXW, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST,
                                 0, 0, 10, 200, host, reinterpret_cast<HMENU>(INT_PTR{10006}),
                                 GetModuleHandleW(nullptr), nullptr);
    HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | ES_READONLY,
                                0, 0, 10, 22, host, reinterpret_cast<HMENU>(INT_PTR{10007}),
                                GetModuleHandleW(nullptr), nullptr);
    for (HWND h : {combo, edit}) set_default_font(h);
    const char16_t* rows[] = {
        u"Office documents (*.doc;*.docx;*.xls;*.xlsx;*.ppt;*.pptx;*.mdb;*.pst)",
        u"PDF documents (*.pdf)",
        u"Pictures (*.jpg;*.jpeg;*.bmp;*.gif;*.png)",
        u"Text files (*.txt)",
        u"Music (*.mp3;*.wav;*.ogg;*.wma)",
        u"Movies (*.avi;*.wmv)",
        u"Videos (*.mpg;*.mpeg)",
        u"Archives (*.zip;*.rar)",
        u"Registry files (*.reg)",
        u"Programs (*.exe;*.dll)",
        u"Web pages (*.htm;*.html;*.asp;*.jsp;*.php)",
        u"Disc images (*.iso;*.img;*.nrg;*.vcd)",
        u"Custom",
    };
    for (const char16_t* row : rows)
      SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(reinterpret_cast<const wchar_t*>(row)));
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    SetWindowTextW(edit, L"*.doc|*.docx|*.xls|*.xlsx|*.ppt|*.pptx|*.mdb|*.pst");
    SetItemCheck(2898, true);
  }

  void FillLanguages() {
    languages_ = std::make_unique<CListViewCtrlEx>();
    if (!languages_->Create(view()->hwnd(), 2003, no_rect())) return;
    languages_->InsertColumn(0, u"Language.", 180);
    languages_->InsertColumn(1, u"Translator", 150);
    const std::pair<const char16_t*, const char16_t*> rows[] = {
        {u"English", u"Salvor team"}, {u"Deutsch", u"Salvor team"}, {u"Fran\u00e7ais", u"Salvor team"}};
    for (const auto& [name, translator] : rows) {
      RowRecord row;
      row.cells = {{0, name, RGB(0x33, 0x3A, 0x44), {}}, {0, translator, RGB(0x66, 0x66, 0x66), {}}};
      languages_->AddRow(std::move(row));
    }
    ListView_SetItemState(languages_->hwnd(), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }

  void FillFolders() {
    folder_tree_ = std::make_unique<CGwFolderBrowseCtrl>();
    if (folder_tree_->Create(view()->hwnd(), 144, no_rect())) prepare_tree(folder_tree_->hwnd());
  }

  bool interactive_;
  bool paused_ = false;
  std::unique_ptr<CListViewCtrlEx> drives_;
  std::unique_ptr<CListViewCtrlEx> results_;
  std::unique_ptr<CListViewCtrlEx> languages_;
  std::vector<std::unique_ptr<CRw3StateCheckTreeCtrl>> trees_;
  std::unique_ptr<CGwFolderBrowseCtrl> folder_tree_;
  std::vector<std::unique_ptr<GalleryDialog>> scan_buttons_;
};

// Writes the client area of hwnd, as it is on the screen, as a 24-bit BMP.
bool capture_client(HWND hwnd, const std::wstring& path) {
  RECT rc{};
  GetClientRect(hwnd, &rc);
  const int w = rc.right - rc.left;
  const int h = rc.bottom - rc.top;
  if (w <= 0 || h <= 0) return false;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;  // bottom-up, as the file stores it
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(hwnd);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (dib != nullptr && mem != nullptr) {
    HGDIOBJ old = SelectObject(mem, dib);
    ok = BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY) != FALSE;
    GdiFlush();
    SelectObject(mem, old);
  }
  ReleaseDC(hwnd, screen);
  if (mem != nullptr) DeleteDC(mem);
  if (ok) {
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    const DWORD image_size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;  // "BM"
    fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
    fh.bfSize = fh.bfOffBits + image_size;
    bi.bmiHeader.biSizeImage = image_size;
    FILE* f = _wfopen(path.c_str(), L"wb");
    ok = f != nullptr && fwrite(&fh, sizeof(fh), 1, f) == 1 &&
         fwrite(&bi.bmiHeader, sizeof(bi.bmiHeader), 1, f) == 1 && fwrite(bits, image_size, 1, f) == 1;
    if (f != nullptr && fclose(f) != 0) ok = false;
  }
  if (dib != nullptr) DeleteObject(dib);
  return ok;
}

void report(const char* fmt, const char* name, unsigned id) {
  std::fprintf(stderr, fmt, id, name);
  std::fflush(stderr);
}

// Opens each window alone, lets it settle, captures it and closes it.
int take_screenshots(const std::wstring& dir) {
  CreateDirectoryW(dir.c_str(), nullptr);
  // Windows open centred; a pointer resting there would show hover states.
  SetCursorPos(0, 0);
  int failures = 0;
  auto shoot = [&](GalleryDialog& dialog, unsigned id, const char* name) {
    const std::string file = std::to_string(id) + "-" + name + ".bmp";
    const std::wstring path = dir + L"\\" + std::wstring(file.begin(), file.end());
    pump_for(400);
    if (CGwFolderBrowseCtrl* tree = dialog.folder_tree()) {
      for (int i = 0; i < 300 && tree->busy_threads() > 0; ++i) pump_for(10);
      TreeView_Expand(tree->hwnd(), tree->desktop_item(), TVE_EXPAND);
      pump_for(200);
    }
    RedrawWindow(dialog.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pump_for(100);
    if (!capture_client(dialog.hwnd(), path)) {
      report("skin-gallery: capture of %u (%s) failed\n", name, id);
      ++failures;
    }
  };
  for (const WindowInfo& w : kWindows) {
    GalleryDialog dialog(w.id, false);
    if (dialog.Create(nullptr) == nullptr) {
      report("skin-gallery: layout %u (%s) did not open\n", w.name, w.id);
      ++failures;
      continue;
    }
    if (w.id == 103) {
      if (!dialog.AddScanButtons()) {
        report("skin-gallery: the scan buttons of %u (%s) did not open\n", w.name, w.id);
        ++failures;
      }
      shoot(dialog, w.id, w.name);
      dialog.SelectTab(120, 1);
      dialog.ShowScanButtons(false);
      dialog.ShowItem(155, true);  // as when a newer version was found
      shoot(dialog, w.id, "main-help");
      dialog.ShowItem(155, false);
      dialog.SelectTab(120, 0);
      dialog.ShowResultsPage();
      shoot(dialog, w.id, "main-results");
    } else if (w.id == 108) {
      shoot(dialog, w.id, w.name);
      // The longest question, placed where the main window puts it.
      dialog.SetItemAttribute(107, "pos", "80,15,308,90");
      dialog.SetRichText(107, u"<c color=\"000000\">Are you sure want to return to the main interface? "
                              u"If none of the scanning results will be saved.</c>");
      shoot(dialog, w.id, "confirm-return");
    } else {
      shoot(dialog, w.id, w.name);
    }
  }
  return failures == 0 ? 0 : 1;
}

int run_interactive() {
  // The main window at the top left, the dialogs tiled in columns beside it
  // (they are top-most tool windows: overlapping would hide the main one).
  std::vector<std::unique_ptr<GalleryDialog>> windows;
  int x = 830;
  int y = 10;
  int column_width = 0;
  for (const WindowInfo& w : kWindows) {
    if (w.id == 104 || w.id == 111) continue;  // shown inside the main window
    auto dialog = std::make_unique<GalleryDialog>(w.id, true);
    HWND h = dialog->Create(nullptr);
    if (h == nullptr) {
      report("skin-gallery: layout %u (%s) did not open\n", w.name, w.id);
      continue;
    }
    RECT rc{};
    GetWindowRect(h, &rc);
    if (w.id == 103) {
      dialog->AddScanButtons();
      SetWindowPos(h, nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
      if (y > 10 && y + (rc.bottom - rc.top) > GetSystemMetrics(SM_CYSCREEN)) {
        x += column_width + 10;
        y = 10;
        column_width = 0;
      }
      SetWindowPos(h, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      y += rc.bottom - rc.top + 10;
      column_width = std::max(column_width, static_cast<int>(rc.right - rc.left));
    }
    windows.push_back(std::move(dialog));
  }
  if (windows.empty()) return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

}  // namespace
}  // namespace salvor::skin

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace salvor::skin;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring screenshots;
  for (int i = 1; argv != nullptr && i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--screenshots" && i + 1 < argc) {
      screenshots = argv[++i];
    } else {
      std::fprintf(stderr, "usage: skin-gallery [--screenshots DIR]\n");
      return 2;
    }
  }
  if (argv != nullptr) LocalFree(argv);

  // img\Drives.bmp is read relative to the current directory: make that the
  // program's own, where the build puts the "img" folder.
  wchar_t exe[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    std::wstring dir(exe, n);
    dir.erase(dir.find_last_of(L"\\/") + 1);
    SetCurrentDirectoryW(dir.c_str());
  }

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  if (LoadSkins() != 1 || LoadStyles() != 1 || LoadStrings() != 1) {
    std::fprintf(stderr, "skin-gallery: the skin tables did not load\n");
    return 1;
  }
  const int rc = screenshots.empty() ? run_interactive() : take_screenshots(screenshots);
  CoUninitialize();
  return rc;
}
