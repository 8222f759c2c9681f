// The folder tree's check boxes as a user clicks them: a folder takes its
// subtree along, and its ancestors show checked, partial or unchecked.
#include <gtest/gtest.h>

#include "common/check_tree.h"

namespace salvor {
namespace {

// E: > Docs > (Old, New), E: > Music
struct SampleTree {
  CheckTree tree;
  CheckTree::NodeId root, docs, old_, new_, music;
  SampleTree() {
    root = tree.Insert(CheckTree::kNoNode, u"E:", 0, 1);
    docs = tree.Insert(root, u"Docs", 0, 1);
    old_ = tree.Insert(docs, u"Old", 2, 3);
    new_ = tree.Insert(docs, u"New", 2, 3);
    music = tree.Insert(root, u"Music", 0, 1);
  }
};

TEST(CheckTree, KeepsInsertionOrderTextsAndImages) {
  SampleTree s;
  EXPECT_EQ(s.tree.Root(), s.root);
  EXPECT_EQ(s.tree.Children(s.root), (std::vector<CheckTree::NodeId>{s.docs, s.music}));
  EXPECT_EQ(s.tree.Text(s.old_), u"Old");
  EXPECT_EQ(s.tree.Image(s.old_), 2);
  EXPECT_EQ(s.tree.SelectedImage(s.old_), 3);
  EXPECT_EQ(s.tree.DepthFirst(), (std::vector<CheckTree::NodeId>{s.root, s.docs, s.old_, s.new_, s.music}));
  EXPECT_EQ(s.tree.Insert(99, u"x", 0, 1), CheckTree::kNoNode);
}

TEST(CheckTree, CheckingAFolderChecksItsSubtreeAndSettlesAncestors) {
  SampleTree s;
  ASSERT_TRUE(s.tree.Toggle(s.docs));
  EXPECT_EQ(s.tree.State(s.docs), CheckState::kChecked);
  EXPECT_EQ(s.tree.State(s.old_), CheckState::kChecked);
  EXPECT_EQ(s.tree.State(s.new_), CheckState::kChecked);
  EXPECT_EQ(s.tree.State(s.root), CheckState::kPartial);  // Music is still unchecked
  EXPECT_EQ(s.tree.State(s.music), CheckState::kUnchecked);

  // Unchecking one sub-folder makes every checked ancestor partial...
  s.tree.Toggle(s.root);
  EXPECT_EQ(s.tree.State(s.root), CheckState::kChecked);
  s.tree.Toggle(s.old_);
  EXPECT_EQ(s.tree.State(s.docs), CheckState::kPartial);
  EXPECT_EQ(s.tree.State(s.root), CheckState::kPartial);
  // ...and checking it again restores them.
  s.tree.Toggle(s.old_);
  EXPECT_EQ(s.tree.State(s.docs), CheckState::kChecked);
  EXPECT_EQ(s.tree.State(s.root), CheckState::kChecked);
}

TEST(CheckTree, AllChildrenUncheckedMakesTheParentUncheckedNotPartial) {
  SampleTree s;
  s.tree.Toggle(s.old_);
  EXPECT_EQ(s.tree.State(s.docs), CheckState::kPartial);
  s.tree.Toggle(s.old_);
  EXPECT_EQ(s.tree.State(s.docs), CheckState::kUnchecked);
  EXPECT_EQ(s.tree.State(s.root), CheckState::kUnchecked);
}

TEST(CheckTree, TogglingAPartialNodeChecksItsWholeSubtree) {
  SampleTree s;
  s.tree.Toggle(s.new_);
  ASSERT_EQ(s.tree.State(s.root), CheckState::kPartial);
  s.tree.Toggle(s.root);
  for (auto node : s.tree.DepthFirst()) EXPECT_EQ(s.tree.State(node), CheckState::kChecked);
}

TEST(CheckTree, LockAndNodesWithoutCheckBoxIgnoreToggling) {
  SampleTree s;
  s.tree.set_locked(true);
  EXPECT_FALSE(s.tree.Toggle(s.docs));
  EXPECT_EQ(s.tree.State(s.docs), CheckState::kUnchecked);
  s.tree.set_locked(false);

  // A parent whose children have no check box loses its own when they are
  // all clear; a parent without a check box ends the walk up.
  CheckTree tree;
  auto top = tree.Insert(CheckTree::kNoNode, u"top", 0, 1, CheckState::kNone);
  auto mid = tree.Insert(top, u"mid", 0, 1);
  auto leaf = tree.Insert(mid, u"leaf", 0, 1);
  EXPECT_FALSE(tree.Toggle(top));
  EXPECT_TRUE(tree.Toggle(leaf));
  EXPECT_EQ(tree.State(mid), CheckState::kChecked);
  EXPECT_EQ(tree.State(top), CheckState::kNone);
  tree.SetState(leaf, CheckState::kNone);
  tree.SetCheckedWithPropagation(mid, false);  // sets leaf back to unchecked
  EXPECT_EQ(tree.State(leaf), CheckState::kUnchecked);
}

}  // namespace
}  // namespace salvor
