// The folder-browsing tree. Listing folders can be slow (network and
// removable drives), so it runs on threads; each found folder is handed to
// the window thread with SendMessage (kMsgInsertFolder), which inserts it.
// Destruction stops the threads and keeps serving their sent messages until
// every one has ended, so no thread ever talks to a dead window or object.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shellapi.h>

#include "skin/win/controls/folder_browse_ctrl.h"

#include <algorithm>

#include "skin/win/controls/control_messages.h"

namespace salvor::skin {

struct CGwFolderBrowseCtrl::Job {
  HTREEITEM parent = nullptr;
  std::u16string path;  // the folder to list; ignored for drives
  bool drives = false;  // list the drives (the computer folder)
};

namespace {

// Private messages of the tree window (the native tree uses none of WM_APP).
constexpr UINT kMsgInsertFolder = WM_APP + 0x3A1;  // lParam: InsertRequest*
constexpr UINT kMsgListingDone = WM_APP + 0x3A2;   // wParam: parent, lParam: count
// A folder with more sub-folders than this is listed only this far.
constexpr size_t kMaxFoldersPerLevel = 20000;

struct InsertRequest {
  HTREEITEM parent;
  const std::u16string* name;
  const std::u16string* path;
  int icon;
  int open_icon;
};

struct Found {
  std::u16string name;
  std::u16string path;
  int icon = 0;
  int open_icon = 0;
};

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
std::u16string U(const wchar_t* s) { return std::u16string(reinterpret_cast<const char16_t*>(s)); }

std::u16string JoinPath(const std::u16string& dir, const std::u16string& name) {
  if (!dir.empty() && (dir.back() == u'\\' || dir.back() == u'/')) return dir + name;
  return dir + u"\\" + name;
}

std::u16string SpecialFolderPath(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return U(path);
}

// Display name and small icon of a special folder; false when the system
// has no such folder.
bool SpecialFolderInfo(int csidl, std::u16string& name, int& icon, int& open_icon) {
  LPITEMIDLIST pidl = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &pidl)) || !pidl) return false;
  SHFILEINFOW info{};
  const auto* key = reinterpret_cast<LPCWSTR>(pidl);
  SHGetFileInfoW(key, 0, &info, sizeof(info), SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  name = U(info.szDisplayName);
  icon = info.iIcon;
  SHFILEINFOW open{};
  SHGetFileInfoW(key, 0, &open, sizeof(open), SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);
  open_icon = open.iIcon;
  CoTaskMemFree(pidl);
  return true;
}

bool LessIgnoringCase(const Found& a, const Found& b) {
  const int order = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, W(a.name), -1, W(b.name), -1);
  return order == CSTR_LESS_THAN;
}

std::vector<Found> ListDrives(const std::atomic<bool>& stop) {
  std::vector<Found> found;
  wchar_t buffer[512] = {};
  const DWORD n = GetLogicalDriveStringsW(static_cast<DWORD>(sizeof(buffer) / sizeof(buffer[0])) - 1, buffer);
  if (n == 0 || n >= sizeof(buffer) / sizeof(buffer[0])) return found;
  for (const wchar_t* root = buffer; *root && !stop; root += wcslen(root) + 1) {
    Found f;
    f.path = U(root);
    SHFILEINFOW info{};
    if (SHGetFileInfoW(root, 0, &info, sizeof(info), SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON) &&
        info.szDisplayName[0])
      f.name = U(info.szDisplayName);
    else
      f.name = f.path;
    f.icon = f.open_icon = info.iIcon;
    found.push_back(std::move(f));
  }
  return found;  // drive order, not name order
}

std::vector<Found> ListFolders(const std::u16string& dir, const std::atomic<bool>& stop) {
  std::vector<Found> found;
  const std::u16string pattern = JoinPath(dir, u"*");
  WIN32_FIND_DATAW data{};
  HANDLE find = FindFirstFileExW(W(pattern), FindExInfoBasic, &data, FindExSearchLimitToDirectories, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return found;
  // Every sub-folder gets the same closed/open folder icons; asking by
  // attributes avoids touching each folder.
  SHFILEINFOW closed{}, open{};
  SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &closed, sizeof(closed),
                 SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &open, sizeof(open),
                 SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);
  do {
    if (stop) break;
    const DWORD attributes = data.dwFileAttributes;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
    if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) continue;
    Found f;
    f.name = U(data.cFileName);
    f.path = JoinPath(dir, f.name);
    f.icon = closed.iIcon;
    f.open_icon = open.iIcon;
    found.push_back(std::move(f));
  } while (found.size() < kMaxFoldersPerLevel && FindNextFileW(find, &data));
  FindClose(find);
  std::sort(found.begin(), found.end(), &LessIgnoringCase);
  return found;
}

}  // namespace

CGwFolderBrowseCtrl::CGwFolderBrowseCtrl() { thread_done_ = CreateEventW(nullptr, FALSE, FALSE, nullptr); }

CGwFolderBrowseCtrl::~CGwFolderBrowseCtrl() {
  StopThreads();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    paths_.clear();
  }
  if (thread_done_) CloseHandle(thread_done_);
}

bool CGwFolderBrowseCtrl::Create(HWND parent, int ctrl_id, const RECT& rect, DWORD extra_style) {
  return CRw3StateCheckTreeCtrl::Create(parent, ctrl_id, rect, extra_style);
}

bool CGwFolderBrowseCtrl::Attach(HWND existing) {
  stop_ = false;
  if (!CRw3StateCheckTreeCtrl::Attach(existing)) return false;
  BuildRoots();
  return true;
}

void CGwFolderBrowseCtrl::OnAttached() {
  CRw3StateCheckTreeCtrl::OnAttached();
  SHFILEINFOW info{};
  auto system_list = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(L"C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  // The system image list belongs to the shell; the tree only borrows it.
  if (system_list) SendMessageW(hwnd_, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(system_list));
}

void CGwFolderBrowseCtrl::BuildRoots() {
  auto insert_root = [this](HTREEITEM parent, int csidl, const char16_t* fallback) -> HTREEITEM {
    std::u16string name;
    int icon = 0, open_icon = 0;
    if (!SpecialFolderInfo(csidl, name, icon, open_icon) || name.empty()) name = fallback;
    HTREEITEM item = InsertItem(parent, name, kCheckUnchecked, icon, open_icon);
    if (item) {
      TVITEMW tv{};
      tv.mask = TVIF_HANDLE | TVIF_CHILDREN;
      tv.hItem = item;
      tv.cChildren = 1;
      SendMessageW(hwnd_, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    }
    return item;
  };
  desktop_ = insert_root(nullptr, CSIDL_DESKTOP, u"Desktop");
  if (!desktop_) return;
  computer_ = insert_root(desktop_, CSIDL_DRIVES, u"Computer");
  documents_ = insert_root(desktop_, CSIDL_PERSONAL, u"Documents");
  const std::u16string desktop_path = SpecialFolderPath(CSIDL_DESKTOPDIRECTORY);
  const std::u16string documents_path = SpecialFolderPath(CSIDL_PERSONAL);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!desktop_path.empty()) paths_[desktop_] = desktop_path;
    if (documents_ && !documents_path.empty()) paths_[documents_] = documents_path;
  }
  // The first levels: the drives, the documents' and the desktop's folders.
  std::vector<Job> jobs;
  if (computer_) jobs.push_back(Job{computer_, {}, true});
  if (documents_ && !documents_path.empty()) jobs.push_back(Job{documents_, documents_path, false});
  if (!desktop_path.empty()) jobs.push_back(Job{desktop_, desktop_path, false});
  for (const Job& job : jobs) enumerated_.insert(job.parent);
  SendMessageW(hwnd_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(desktop_));
  if (!jobs.empty()) StartJob(std::move(jobs));
}

std::u16string CGwFolderBrowseCtrl::GetItemPath(HTREEITEM item) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = paths_.find(item);
  return found == paths_.end() ? std::u16string() : found->second;
}

std::u16string CGwFolderBrowseCtrl::GetSelectedPath() const {
  if (!hwnd_) return {};
  auto selected = reinterpret_cast<HTREEITEM>(SendMessageW(hwnd_, TVM_GETNEXTITEM, TVGN_CARET, 0));
  return selected ? GetItemPath(selected) : std::u16string();
}

HTREEITEM CGwFolderBrowseCtrl::InsertFolder(HTREEITEM parent, std::u16string_view name, std::u16string path) {
  const int state = parent && GetCheck(parent) == kCheckChecked ? kCheckChecked : kCheckUnchecked;
  SHFILEINFOW closed{}, open{};
  SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &closed, sizeof(closed),
                 SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &open, sizeof(open),
                 SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);
  HTREEITEM item = InsertItem(parent, name, state, closed.iIcon, open.iIcon);
  if (!item) return nullptr;
  TVITEMW tv{};
  tv.mask = TVIF_HANDLE | TVIF_CHILDREN;
  tv.hItem = item;
  tv.cChildren = 1;
  SendMessageW(hwnd_, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
  std::lock_guard<std::mutex> lock(mutex_);
  paths_[item] = std::move(path);
  return item;
}

void CGwFolderBrowseCtrl::EnumerateChildren(HTREEITEM item) {
  if (!hwnd_ || !item || stop_ || enumerated_.count(item)) return;
  if (item == computer_) {
    enumerated_.insert(item);
    StartJob({Job{item, {}, true}});
    return;
  }
  std::u16string path = GetItemPath(item);
  if (path.empty()) return;
  enumerated_.insert(item);
  StartJob({Job{item, std::move(path), false}});
}

void CGwFolderBrowseCtrl::StartJob(std::vector<Job> jobs) {
  if (stop_ || !hwnd_) return;
  ++active_threads_;
  try {
    threads_.emplace_back(&CGwFolderBrowseCtrl::RunJobs, this, hwnd_, std::move(jobs));
  } catch (...) {
    --active_threads_;  // no thread: the folders stay unlisted
  }
}

// `tree` outlives the thread: the window's destruction (and this object's)
// stops and joins every thread first.
void CGwFolderBrowseCtrl::RunJobs(HWND tree, std::vector<Job> jobs) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  for (const Job& job : jobs) {
    if (stop_) break;
    const std::vector<Found> found = job.drives ? ListDrives(stop_) : ListFolders(job.path, stop_);
    size_t inserted = 0;
    for (const Found& f : found) {
      if (stop_) break;
      InsertRequest request{job.parent, &f.name, &f.path, f.icon, f.open_icon};
      if (SendMessageW(tree, kMsgInsertFolder, 0, reinterpret_cast<LPARAM>(&request))) ++inserted;
    }
    if (!stop_)
      SendMessageW(tree, kMsgListingDone, reinterpret_cast<WPARAM>(job.parent), static_cast<LPARAM>(inserted));
  }
  if (SUCCEEDED(com)) CoUninitialize();
  --active_threads_;
  SetEvent(thread_done_);
}

HTREEITEM CGwFolderBrowseCtrl::InsertFromThread(HTREEITEM parent, const std::u16string& name,
                                                const std::u16string& path) {
  if (stop_ || !enumerated_.count(parent)) return nullptr;  // parent deleted meanwhile
  const int state = GetCheck(parent) == kCheckChecked ? kCheckChecked : kCheckUnchecked;
  HTREEITEM item = InsertItem(parent, name, state);
  if (!item) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  paths_[item] = path;
  return item;
}

void CGwFolderBrowseCtrl::StopThreads() {
  stop_ = true;
  // The threads may be blocked in SendMessage to this (the window's) thread:
  // keep serving sent messages while waiting, or both would wait forever.
  while (active_threads_.load() > 0) {
    const DWORD wait = MsgWaitForMultipleObjects(1, &thread_done_, FALSE, 100, QS_SENDMESSAGE);
    if (wait == WAIT_OBJECT_0 + 1) {
      MSG msg;
      PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
  }
  for (std::thread& t : threads_)
    if (t.joinable()) t.join();
  threads_.clear();
}

LRESULT CGwFolderBrowseCtrl::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kMsgInsertFolder: {
      const auto* request = reinterpret_cast<const InsertRequest*>(lp);
      if (!request) return 0;
      HTREEITEM item = InsertFromThread(request->parent, *request->name, *request->path);
      if (item) {
        TVITEMW tv{};
        tv.mask = TVIF_HANDLE | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        tv.hItem = item;
        tv.cChildren = 1;  // unknown until listed; the button goes if none
        tv.iImage = request->icon;
        tv.iSelectedImage = request->open_icon;
        SendMessageW(hwnd_, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
      }
      return reinterpret_cast<LRESULT>(item);
    }
    case kMsgListingDone: {
      auto parent = reinterpret_cast<HTREEITEM>(wp);
      if (!stop_ && lp == 0 && enumerated_.count(parent)) {
        TVITEMW tv{};
        tv.mask = TVIF_HANDLE | TVIF_CHILDREN;
        tv.hItem = parent;
        tv.cChildren = 0;
        SendMessageW(hwnd_, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
      }
      return 0;
    }
    case WM_DESTROY:
      StopThreads();
      break;
    default:
      break;
  }
  return CRw3StateCheckTreeCtrl::OnMessage(msg, wp, lp);
}

bool CGwFolderBrowseCtrl::OnParentNotify(NMHDR& hdr, LRESULT& result) {
  if (hdr.code == TVN_ITEMEXPANDINGW || hdr.code == TVN_ITEMEXPANDINGA) {
    const auto& nm = reinterpret_cast<NMTREEVIEWW&>(hdr);
    if (nm.action & TVE_EXPAND) EnumerateChildren(nm.itemNew.hItem);
  } else if (hdr.code == TVN_DELETEITEMW || hdr.code == TVN_DELETEITEMA) {
    const HTREEITEM item = reinterpret_cast<NMTREEVIEWW&>(hdr).itemOld.hItem;
    enumerated_.erase(item);
    if (item == desktop_) desktop_ = nullptr;
    if (item == computer_) computer_ = nullptr;
    if (item == documents_) documents_ = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    paths_.erase(item);
  }
  return CRw3StateCheckTreeCtrl::OnParentNotify(hdr, result);
}

}  // namespace salvor::skin
