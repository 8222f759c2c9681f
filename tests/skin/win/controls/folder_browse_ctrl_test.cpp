// The folder-browsing tree: its special-folder roots, listing sub-folders on
// threads (which to show and in what order), and stopping those threads
// when the window or the object goes away mid-listing.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "control_test_host.h"
#include "skin/win/controls/control_messages.h"
#include "skin/win/controls/folder_browse_ctrl.h"

namespace salvor::skin {
namespace {

using test::TestHost;

constexpr int kTreeId = 144;
constexpr int kWaitMs = 15000;

std::vector<HTREEITEM> Children(HWND tree, HTREEITEM parent) {
  std::vector<HTREEITEM> out;
  for (HTREEITEM c = TreeView_GetChild(tree, parent); c && out.size() < 10000; c = TreeView_GetNextSibling(tree, c))
    out.push_back(c);
  return out;
}

std::wstring ItemText(HWND tree, HTREEITEM item) {
  wchar_t text[260] = {};
  TVITEMW tv{};
  tv.mask = TVIF_HANDLE | TVIF_TEXT;
  tv.hItem = item;
  tv.pszText = text;
  tv.cchTextMax = 260;
  SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
  return text;
}

// A fresh folder under the test temp directory, removed afterwards.
class TempTree {
 public:
  TempTree() {
    wchar_t base[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"SALVOR_TEST_TMP", base, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) GetTempPathW(MAX_PATH, base);
    root_ = std::wstring(base);
    if (!root_.empty() && root_.back() != L'\\' && root_.back() != L'/') root_ += L'\\';
    root_ += L"folder_browse_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount64());
    CreateDirectoryW(root_.c_str(), nullptr);
  }
  ~TempTree() {
    // Deepest first.
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
      SetFileAttributesW(it->c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!RemoveDirectoryW(it->c_str())) DeleteFileW(it->c_str());
    }
    RemoveDirectoryW(root_.c_str());
  }
  std::wstring Dir(const std::wstring& name, DWORD attributes = 0) {
    const std::wstring path = root_ + L"\\" + name;
    CreateDirectoryW(path.c_str(), nullptr);
    if (attributes) SetFileAttributesW(path.c_str(), attributes);
    made_.push_back(path);
    return path;
  }
  void File(const std::wstring& name) {
    const std::wstring path = root_ + L"\\" + name;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    made_.push_back(path);
  }
  const std::wstring& root() const { return root_; }

 private:
  std::wstring root_;
  std::vector<std::wstring> made_;
};

std::u16string U(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

TEST(FolderBrowseCtrlTest, DesktopRootHoldsComputerAndDocuments) {
  TestHost host;
  CGwFolderBrowseCtrl tree;
  ASSERT_TRUE(tree.Create(host.hwnd(), kTreeId, RECT{0, 0, 300, 400}));
  ASSERT_NE(tree.desktop_item(), nullptr);
  EXPECT_EQ(TreeView_GetRoot(tree.hwnd()), tree.desktop_item());
  const auto top = Children(tree.hwnd(), tree.desktop_item());
  ASSERT_GE(top.size(), 2u);
  EXPECT_EQ(top[0], tree.computer_item());
  EXPECT_EQ(top[1], tree.documents_item());
  EXPECT_FALSE(ItemText(tree.hwnd(), tree.computer_item()).empty());

  wchar_t documents[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, documents)));
  EXPECT_EQ(tree.GetItemPath(tree.documents_item()), U(documents));
  EXPECT_TRUE(tree.GetItemPath(tree.computer_item()).empty());

  // The first levels fill in by themselves: the drives under the computer.
  ASSERT_TRUE(host.PumpUntil([&] { return tree.busy_threads() == 0; }, kWaitMs));
  host.Pump();
  EXPECT_FALSE(Children(tree.hwnd(), tree.computer_item()).empty());

  TreeView_SelectItem(tree.hwnd(), tree.documents_item());
  EXPECT_EQ(tree.GetSelectedPath(), U(documents));
  TreeView_SelectItem(tree.hwnd(), tree.computer_item());
  EXPECT_TRUE(tree.GetSelectedPath().empty());

  // Expanding the documents item lists it without hanging.
  SendMessageW(tree.hwnd(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(tree.documents_item()));
  EXPECT_TRUE(host.PumpUntil([&] { return tree.busy_threads() == 0; }, kWaitMs));
}

TEST(FolderBrowseCtrlTest, ListsVisibleSubFoldersSortedAndInheritsTheCheck) {
  TempTree temp;
  temp.Dir(L"beta");
  temp.Dir(L"Alpha");
  temp.Dir(L"gamma");
  temp.Dir(L"hidden", FILE_ATTRIBUTE_HIDDEN);
  temp.Dir(L"system", FILE_ATTRIBUTE_SYSTEM);
  temp.File(L"aardvark.txt");

  TestHost host;
  CGwFolderBrowseCtrl tree;
  ASSERT_TRUE(tree.Create(host.hwnd(), kTreeId, RECT{0, 0, 300, 400}));
  HTREEITEM place = tree.InsertFolder(nullptr, u"place", U(temp.root()));
  ASSERT_NE(place, nullptr);
  tree.SetCheck(place, kCheckChecked);
  SendMessageW(tree.hwnd(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(place));
  ASSERT_TRUE(host.PumpUntil([&] { return tree.busy_threads() == 0; }, kWaitMs));

  const auto children = Children(tree.hwnd(), place);
  std::vector<std::wstring> names;
  for (HTREEITEM c : children) names.push_back(ItemText(tree.hwnd(), c));
  EXPECT_EQ(names, (std::vector<std::wstring>{L"Alpha", L"beta", L"gamma"}));
  for (HTREEITEM c : children) EXPECT_EQ(tree.GetCheck(c), kCheckChecked);
  ASSERT_EQ(children.size(), 3u);
  EXPECT_EQ(tree.GetItemPath(children[1]), U(temp.root() + L"\\beta"));

  // An empty folder loses its expand button once listed.
  SendMessageW(tree.hwnd(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(children[0]));
  ASSERT_TRUE(host.PumpUntil([&] { return tree.busy_threads() == 0; }, kWaitMs));
  host.Pump();
  TVITEMW tv{};
  tv.mask = TVIF_HANDLE | TVIF_CHILDREN;
  tv.hItem = children[0];
  SendMessageW(tree.hwnd(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
  EXPECT_EQ(tv.cChildren, 0);
}

TEST(FolderBrowseCtrlTest, DestroyingWhileListingStopsTheThreads) {
  TempTree temp;
  for (int i = 0; i < 200; ++i) temp.Dir(L"d" + std::to_wstring(i));
  for (int round = 0; round < 3; ++round) {
    TestHost host;
    CGwFolderBrowseCtrl tree;
    ASSERT_TRUE(tree.Create(host.hwnd(), kTreeId, RECT{0, 0, 300, 400}));
    HTREEITEM place = tree.InsertFolder(nullptr, u"place", U(temp.root()));
    tree.EnumerateChildren(place);
    DestroyWindow(tree.hwnd());
    EXPECT_EQ(tree.busy_threads(), 0);
    EXPECT_EQ(tree.hwnd(), nullptr);
  }
  // The object going first, its window still alive.
  TestHost host;
  auto tree = std::make_unique<CGwFolderBrowseCtrl>();
  ASSERT_TRUE(tree->Create(host.hwnd(), kTreeId, RECT{0, 0, 300, 400}));
  HWND hwnd = tree->hwnd();
  tree->EnumerateChildren(tree->InsertFolder(nullptr, u"place", U(temp.root())));
  tree.reset();
  host.Pump();
  EXPECT_TRUE(IsWindow(hwnd));
}

}  // namespace
}  // namespace salvor::skin
