// CGwFolderBrowseCtrl: a three-state tree of the computer's folders for
// choosing a destination. The desktop is the root with the computer and the
// documents folder beneath it; sub-folders are listed by background threads
// (one after creation for the first level, one per expanded item) that hand
// each new item to the window thread by SendMessage, so every tree change
// happens on the user-interface thread. Hidden and system folders are left
// out; folders are sorted by name, ignoring case.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "skin/win/controls/tri_state_tree.h"

namespace salvor::skin {

class CGwFolderBrowseCtrl : public CRw3StateCheckTreeCtrl {
 public:
  CGwFolderBrowseCtrl();
  ~CGwFolderBrowseCtrl() override;

  bool Create(HWND parent, int ctrl_id, const RECT& rect, DWORD extra_style = 0) override;
  bool Attach(HWND existing) override;

  // The recorded path of the selected item; empty for none (or for the
  // computer folder, which has no path).
  std::u16string GetSelectedPath() const;
  std::u16string GetItemPath(HTREEITEM item) const;
  HTREEITEM desktop_item() const { return desktop_; }
  HTREEITEM computer_item() const { return computer_; }
  HTREEITEM documents_item() const { return documents_; }

  // Adds a folder item that stands for `path` (its sub-folders are listed
  // when it is expanded), e.g. a place the application suggests.
  HTREEITEM InsertFolder(HTREEITEM parent, std::u16string_view name, std::u16string path);
  // Starts listing the sub-folders of `item` on a thread (once per item).
  void EnumerateChildren(HTREEITEM item);
  // Threads still listing folders.
  int busy_threads() const { return active_threads_.load(); }
  // Stops and joins every listing thread, answering (refusing) the inserts
  // they send meanwhile; nothing is listed afterwards. Called on the window
  // thread by the window's destruction and by the destructor.
  void StopThreads();

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnAttached() override;
  bool OnParentNotify(NMHDR& hdr, LRESULT& result) override;

 private:
  struct Job;
  void BuildRoots();
  void StartJob(std::vector<Job> jobs);
  void RunJobs(HWND tree, std::vector<Job> jobs);
  // Runs on the window thread, for a listing thread's SendMessage.
  HTREEITEM InsertFromThread(HTREEITEM parent, const std::u16string& name, const std::u16string& path);

  HTREEITEM desktop_ = nullptr;
  HTREEITEM computer_ = nullptr;
  HTREEITEM documents_ = nullptr;
  mutable std::mutex mutex_;  // guards paths_
  std::unordered_map<HTREEITEM, std::u16string> paths_;
  std::unordered_set<HTREEITEM> enumerated_;  // UI thread only
  std::vector<std::thread> threads_;          // UI thread only
  std::atomic<bool> stop_{false};
  std::atomic<int> active_threads_{0};
  HANDLE thread_done_ = nullptr;  // auto-reset event, set as a thread ends
};

}  // namespace salvor::skin
