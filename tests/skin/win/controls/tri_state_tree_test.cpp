// The three-state trees through the native tree window: propagation of
// user toggles, the lock, the notifications and the state-icon click.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "control_test_host.h"
#include "skin/win/controls/control_messages.h"
#include "skin/win/controls/tri_state_tree.h"

namespace salvor::skin {
namespace {

using test::MousePoint;
using test::TestHost;

constexpr int kTreeId = 10004;

// root
//   docs
//     letters
//       2020
//     photos
//   music
class TriStateTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(host_.hwnd(), nullptr);
    ASSERT_TRUE(tree_.Create(host_.hwnd(), kTreeId, RECT{0, 0, 300, 300}));
    root_ = tree_.InsertItem(nullptr, u"root", kCheckUnchecked);
    docs_ = tree_.InsertItem(root_, u"docs", kCheckUnchecked);
    letters_ = tree_.InsertItem(docs_, u"letters", kCheckUnchecked);
    y2020_ = tree_.InsertItem(letters_, u"2020", kCheckUnchecked);
    photos_ = tree_.InsertItem(docs_, u"photos", kCheckUnchecked);
    music_ = tree_.InsertItem(root_, u"music", kCheckUnchecked);
    for (HTREEITEM item : {root_, docs_, letters_})
      SendMessageW(tree_.hwnd(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    host_.Drain();
  }

  // Where a user would click to hit the item's check box.
  POINT StateIconPoint(HTREEITEM item) {
    RECT rc{};
    *reinterpret_cast<HTREEITEM*>(&rc) = item;
    SendMessageW(tree_.hwnd(), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc));
    return POINT{rc.left - 8, (rc.top + rc.bottom) / 2};
  }

  size_t Notifications() const { return host_.Notified(kTreeNotifyCheckChanged).size(); }

  TestHost host_;
  CRw3StateCheckTreeCtrl tree_;
  HTREEITEM root_{}, docs_{}, letters_{}, y2020_{}, photos_{}, music_{};
};

TEST_F(TriStateTreeTest, UserTogglesPropagateDownAndSettleAncestors) {
  // Checking a folder checks every sub-folder; its parent is then partial.
  ASSERT_TRUE(tree_.ToggleItem(docs_));
  for (HTREEITEM item : {docs_, letters_, y2020_, photos_}) EXPECT_EQ(tree_.GetCheck(item), kCheckChecked);
  EXPECT_EQ(tree_.GetCheck(root_), kCheckPartial);
  EXPECT_EQ(tree_.GetCheck(music_), kCheckUnchecked);

  // Unchecking one leaf makes every checked ancestor partial.
  ASSERT_TRUE(tree_.ToggleItem(y2020_));
  EXPECT_EQ(tree_.GetCheck(y2020_), kCheckUnchecked);
  EXPECT_EQ(tree_.GetCheck(letters_), kCheckUnchecked);  // its only child is off
  EXPECT_EQ(tree_.GetCheck(docs_), kCheckPartial);
  EXPECT_EQ(tree_.GetCheck(root_), kCheckPartial);

  // Checking it again restores the ancestors.
  ASSERT_TRUE(tree_.ToggleItem(y2020_));
  EXPECT_EQ(tree_.GetCheck(letters_), kCheckChecked);
  EXPECT_EQ(tree_.GetCheck(docs_), kCheckChecked);

  // Children all unchecked: the parent is unchecked, not partial.
  ASSERT_TRUE(tree_.ToggleItem(letters_));
  ASSERT_TRUE(tree_.ToggleItem(photos_));
  EXPECT_EQ(tree_.GetCheck(docs_), kCheckUnchecked);
  EXPECT_EQ(tree_.GetCheck(root_), kCheckUnchecked);

  // Toggling a partial item checks its whole subtree.
  ASSERT_TRUE(tree_.ToggleItem(photos_));
  ASSERT_EQ(tree_.GetCheck(root_), kCheckPartial);
  ASSERT_TRUE(tree_.ToggleItem(root_));
  for (HTREEITEM item : {root_, docs_, letters_, y2020_, photos_, music_})
    EXPECT_EQ(tree_.GetCheck(item), kCheckChecked);

  EXPECT_EQ(Notifications(), 7u);  // one per toggle
  for (const auto& n : host_.Notified(kTreeNotifyCheckChanged)) EXPECT_EQ(n.notify_id, static_cast<UINT_PTR>(kTreeId));
}

TEST_F(TriStateTreeTest, ItemsWithoutBoxAreLeftAloneAndProgrammaticChangesStayQuiet) {
  HTREEITEM label = tree_.InsertItem(root_, u"no box", kCheckNone);
  EXPECT_FALSE(tree_.ToggleItem(label));
  EXPECT_EQ(tree_.GetCheck(label), kCheckNone);

  tree_.SetCheckWithPropagation(docs_, true);
  EXPECT_EQ(tree_.GetCheck(y2020_), kCheckChecked);
  EXPECT_EQ(tree_.GetCheck(root_), kCheckPartial);
  tree_.SetCheck(music_, kCheckChecked);  // one item only
  EXPECT_EQ(tree_.GetCheck(root_), kCheckPartial);
  EXPECT_EQ(Notifications(), 0u);
}

TEST_F(TriStateTreeTest, LockedTreeIgnoresClicksAndSpaceAndSendsNothing) {
  tree_.SetLocked(true);
  const POINT pt = StateIconPoint(docs_);
  test::Click(tree_.hwnd(), pt.x, pt.y);
  TreeView_SelectItem(tree_.hwnd(), music_);
  SendMessageW(tree_.hwnd(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_FALSE(tree_.ToggleItem(docs_));
  for (HTREEITEM item : {root_, docs_, letters_, music_}) EXPECT_EQ(tree_.GetCheck(item), kCheckUnchecked);
  EXPECT_EQ(Notifications(), 0u);

  tree_.SetLocked(false);
  SendMessageW(tree_.hwnd(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(tree_.GetCheck(music_), kCheckChecked);
  EXPECT_EQ(Notifications(), 1u);
}

TEST_F(TriStateTreeTest, ClickOnStateIconTogglesOnceAndButtonUpReachesMainWindow) {
  const POINT pt = StateIconPoint(photos_);
  TVHITTESTINFO hit{};
  hit.pt = pt;
  ASSERT_EQ(reinterpret_cast<HTREEITEM>(SendMessageW(tree_.hwnd(), TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit))),
            photos_);
  ASSERT_TRUE(hit.flags & TVHT_ONITEMSTATEICON);

  test::Click(tree_.hwnd(), pt.x, pt.y);
  EXPECT_EQ(tree_.GetCheck(photos_), kCheckChecked);
  EXPECT_EQ(tree_.GetCheck(docs_), kCheckPartial);
  EXPECT_EQ(Notifications(), 1u);
  EXPECT_EQ(host_.Received(kMsgTreeButtonUp).size(), 1u);

  // A click on the text selects but does not toggle. The native tree waits
  // in WM_LBUTTONDOWN for the button to go up, so the up is queued first.
  RECT rc{};
  *reinterpret_cast<HTREEITEM*>(&rc) = music_;
  SendMessageW(tree_.hwnd(), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc));
  const LPARAM at = MousePoint(rc.left + 5, (rc.top + rc.bottom) / 2);
  PostMessageW(tree_.hwnd(), WM_LBUTTONUP, 0, at);
  SendMessageW(tree_.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  host_.Pump();
  EXPECT_EQ(TreeView_GetSelection(tree_.hwnd()), music_);
  EXPECT_EQ(tree_.GetCheck(music_), kCheckUnchecked);
  EXPECT_EQ(Notifications(), 1u);
}

TEST_F(TriStateTreeTest, RememberedItemIsDrawnAgainInItsColour) {
  tree_.SetItemColour(music_, RGB(0xE0, 0x10, 0x10));
  tree_.RememberItem(music_);
  const test::Picture pic = test::RenderClient(tree_.hwnd());
  RECT rc{};
  *reinterpret_cast<HTREEITEM*>(&rc) = music_;
  ASSERT_TRUE(SendMessageW(tree_.hwnd(), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc)));
  int red = 0;
  for (int y = rc.top; y < rc.bottom; ++y)
    for (int x = rc.left; x < rc.right; ++x) {
      const COLORREF c = pic.at(x, y);
      if (GetRValue(c) > 0xA0 && GetGValue(c) < 0x70 && GetBValue(c) < 0x70) ++red;
    }
  EXPECT_GT(red, 5);

  // Deleting the item forgets it.
  SendMessageW(tree_.hwnd(), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(music_));
  EXPECT_EQ(tree_.remembered_item(), nullptr);
}

TEST(TriStateTree10Test, ExplorerLookVariantTogglesTheSameWay) {
  TestHost host;
  CRw3StateCheckTreeCtrl10 tree;
  ASSERT_TRUE(tree.Create(host.hwnd(), kTreeId + 1, RECT{0, 0, 200, 200}));
  EXPECT_FALSE(GetWindowLongPtrW(tree.hwnd(), GWL_STYLE) & TVS_HASLINES);
  HTREEITEM parent = tree.InsertItem(nullptr, u"parent", kCheckUnchecked);
  HTREEITEM child = tree.InsertItem(parent, u"child", kCheckUnchecked);
  tree.InsertItem(parent, u"sibling", kCheckUnchecked);
  ASSERT_TRUE(tree.ToggleItem(child));
  EXPECT_EQ(tree.GetCheck(parent), kCheckPartial);
}

}  // namespace
}  // namespace salvor::skin
