// What the results page shows after a scan: sizes, the folder trees and the
// items in each folder, folders of a formatted volume gathered under dirN,
// the list with its sorting and check marks, and what a recovery takes.
#include <gtest/gtest.h>

#include <set>

#include "app/core/results_model.h"

namespace salvor::app {
namespace {

// Items of tests that need no model of their own.
FoundItems& Scratch() {
  static FoundItems store;
  return store;
}

const FoundItem& Item(FoundItems& store, std::u16string_view path, uint32_t type = kEntryFile,
                      uint32_t state = kDeleted, uint64_t size = 1) {
  FoundItem item;
  item.type = type;
  item.state = state;
  item.size = size;
  item.time = FatTimeValue(2024, 1, 2, 3, 4, 5);
  return store.Add(item, path);
}

const FoundItem& Item(std::u16string_view path, uint32_t type = kEntryFile, uint32_t state = kDeleted,
                      uint64_t size = 1) {
  return Item(Scratch(), path, type, state, size);
}

const FoundItem& Swept(FoundItems& store, std::u16string_view name, uint32_t parent, uint32_t folder,
                       uint32_t cluster = 0, uint32_t type = kEntryFile, uint32_t state = kDeleted) {
  FoundItem item = Item(store, name, type, state);
  item.parent_folder = parent;
  item.folder = folder;
  item.first_cluster = cluster;
  return store.Add(item, name);
}

const FoundItem& Swept(std::u16string_view name, uint32_t parent, uint32_t folder, uint32_t cluster = 0,
                       uint32_t type = kEntryFile, uint32_t state = kDeleted) {
  return Swept(Scratch(), name, parent, folder, cluster, type, state);
}

ItemList List(std::initializer_list<std::reference_wrapper<const FoundItem>> items) {
  ItemList list;
  for (const FoundItem& item : items) list.push_back(item);
  return list;
}

std::vector<std::u16string> Paths(const ItemList& items) {
  std::vector<std::u16string> out;
  for (const auto& item : items) out.push_back(item.path());
  return out;
}

std::vector<std::u16string> Paths(const std::vector<const FoundItem*>& items) {
  std::vector<std::u16string> out;
  for (const auto* item : items) out.push_back(item->path());
  return out;
}

std::vector<std::u16string> RowPaths(const ResultsModel& model) {
  std::vector<std::u16string> out;
  for (const auto& row : model.rows()) out.push_back(row.item->path());
  return out;
}

TEST(SizeText, ShowsBytesKilobytesAndMegabytesWithoutAGigabyteStep) {
  EXPECT_EQ(SizeText(0), u"N/A");
  EXPECT_EQ(SizeText(1), u"1.00 B");
  EXPECT_EQ(SizeText(1023), u"1023.00 B");
  EXPECT_EQ(SizeText(1024), u"1.00 KB");
  EXPECT_EQ(SizeText(1536), u"1.50 KB");
  EXPECT_EQ(SizeText(1048575), u"1024.00 KB");
  EXPECT_EQ(SizeText(1048576), u"1.00 MB");
  EXPECT_EQ(SizeText(5ull << 30), u"5120.00 MB");
}

TEST(ListCells, ShowNamePathSizeDateAndClusterAsSignedDecimal) {
  FoundItem item = Item(u"E:\\Docs\\a.txt", kEntryFile, kDeleted, 2048);
  item.first_cluster = 0x80000000u;
  EXPECT_EQ(CellText(item, 0), u"a.txt");
  EXPECT_EQ(CellText(item, 1), u"E:\\Docs\\a.txt");
  EXPECT_EQ(CellText(item, 2), u"2.00 KB");
  EXPECT_EQ(CellText(item, 3), u"2024-01-02 03:04:05");
  EXPECT_EQ(CellText(item, 4), u"-2147483648");
  // A root entry as the engine names it: one separator after the drive.
  EXPECT_EQ(CellText(Item(u"E:\\\\b.txt", kEntryFile, kDeleted, 1), 1), u"E:\\b.txt");
}

TEST(NtfsLostFolder, GoesInAfterTheRoot) {
  EXPECT_EQ(NtfsLostFolderPath(u"E:\\a.txt", 5), u"E:\\dir5\\a.txt");
  EXPECT_EQ(NtfsLostFolderPath(u"E:\\x\\b.txt", (uint64_t{7} << 32) | 12), u"E:\\dir12\\x\\b.txt");
  EXPECT_EQ(NtfsLostFolderPath(u"E:", 1), u"E:dir1\\");
}

TEST(UnformatRehoming, OrphansGoIntoDirNBelowTheRoot) {
  const auto rehomed = RehomeUnformatted(Scratch(), List({Swept(u"a.txt", 0, 1234)}), u"E:");
  EXPECT_EQ(Paths(rehomed.files), (std::vector<std::u16string>{u"E:\\dir1234\\a.txt"}));

  ResultsModel model;
  model.deleted_items().push_back(Swept(model.items(), u"a.txt", 0, 1234));
  model.RehomeDeletedItems(u"E:");
  model.BuildTrees(ScanKind::kUnformat);
  const CheckTree& tree = model.tree(TreeKind::kDeleted);
  ASSERT_EQ(tree.Text(tree.Root()), u"E:");
  ASSERT_EQ(tree.Children(tree.Root()).size(), 1u);
  const auto dir = tree.Children(tree.Root())[0];
  EXPECT_EQ(tree.Text(dir), u"dir1234");
  EXPECT_EQ(Paths(model.NodeContent(TreeKind::kDeleted, dir)), (std::vector<std::u16string>{u"E:\\dir1234\\a.txt"}));
  EXPECT_TRUE(model.tree(TreeKind::kAll).empty());  // only DeletedTree after an Unformatting Scan
}

TEST(UnformatRehoming, ItemsWithoutFolderNumbersAreKeptOnlyWhenDeleted) {
  const auto rehomed = RehomeUnformatted(
      Scratch(),
      List({Swept(u"gone.txt", 0, 0, 0, kEntryFile, kDeleted), Swept(u"here.txt", 0, 0, 0, kEntryFile, kPresent)}),
      u"E:");
  EXPECT_EQ(Paths(rehomed.files), (std::vector<std::u16string>{u"gone.txt"}));
}

TEST(UnformatRehoming, NestsFoldersByTheirNumbersInReportOrder) {
  // Root directory (cluster 2) holds folder D (cluster 10), which holds S
  // (cluster 20); each folder's entries carry (parent, folder).
  const ItemList reported = List({
      Swept(u"D", 0, 2, 10, kEntryFolder),  Swept(u"f.txt", 2, 10, 30), Swept(u"S", 2, 10, 20, kEntryFolder),
      Swept(u"g.txt", 10, 20, 40),
  });
  const auto rehomed = RehomeUnformatted(Scratch(), reported, u"E:");
  EXPECT_EQ(Paths(rehomed.folders), (std::vector<std::u16string>{u"E:\\dir2\\D", u"E:\\dir2\\D\\S"}));
  EXPECT_EQ(Paths(rehomed.files), (std::vector<std::u16string>{u"E:\\dir2\\D\\f.txt", u"E:\\dir2\\D\\S\\g.txt"}));
}

TEST(UnformatRehoming, AnItemGoesIntoEveryMatchingFolderAndAnUnseenFolderStillShowsIt) {
  // Two old copies of one folder's entry: its file appears in both.
  const ItemList reported = List({
      Swept(u"A", 0, 2, 10, kEntryFolder), Swept(u"B", 0, 2, 10, kEntryFolder), Swept(u"f.txt", 2, 10),
      // Its folder was never reported: still listed, by its folder number.
      Swept(u"lost.txt", 3, 77),
  });
  const auto rehomed = RehomeUnformatted(Scratch(), reported, u"E:");
  EXPECT_EQ(Paths(rehomed.files), (std::vector<std::u16string>{u"E:\\dir2\\A\\f.txt", u"E:\\dir2\\B\\f.txt",
                                                               u"E:\\dir77\\lost.txt"}));
}

TEST(UnformatRehoming, DuplicatedFoldersCannotMultiplyWithoutBound) {
  ItemList reported;
  for (int i = 0; i < 100; ++i) reported.push_back(Swept(u"A", 0, 2, 10, kEntryFolder));
  for (int i = 0; i < 100; ++i) reported.push_back(Swept(u"B", 2, 10, 20, kEntryFolder));
  reported.push_back(Swept(u"f.txt", 10, 20));
  const auto rehomed = RehomeUnformatted(Scratch(), reported, u"E:");
  EXPECT_EQ(rehomed.files.size(), kMaxPlacements);
  EXPECT_LE(rehomed.folders.size(), 100 + 100 * kMaxPlacements);
}

class QuickScanTree : public ::testing::Test {
 protected:
  void SetUp() override {
    model.set_path_exists([](std::u16string_view path) { return path == u"E:" || path == u"E:\\Docs"; });
    auto& deleted = model.deleted_items();
    deleted.push_back(Item(model.items(), u"E:\\Docs\\a.txt"));
    deleted.push_back(Item(model.items(), u"E:\\Old", kEntryFolder));  // an empty deleted folder
    deleted.push_back(Item(model.items(), u"E:\\Docs\\Sub\\c.txt"));
    deleted.push_back(Item(model.items(), u"stray.txt"));  // no folder: not listed
    deleted.push_back(Item(model.items(), u"E:\\Docs\\Other\\d.txt"));
    auto& all = model.all_items();
    all.push_back(Item(model.items(), u"E:\\Docs", kEntryFolder, kPresent));
    all.push_back(Item(model.items(), u"E:\\Docs\\a.txt"));
    all.push_back(Item(model.items(), u"E:\\Docs\\a.txt", kEntryFile, kPresent, 7));  // same path, a present file
    all.push_back(Item(model.items(), u"E:\\b.txt", kEntryFile, kPresent));
    all.push_back(Item(model.items(), u"E:\\Docs\\Sub\\c.txt"));
    model.BuildTrees(ScanKind::kQuick);
  }
  ResultsModel model;
};

TEST_F(QuickScanTree, FoldersBecomeNodesAndOnlyFilesBecomeRows) {
  const CheckTree& tree = model.tree(TreeKind::kDeleted);
  const auto root = tree.Root();
  ASSERT_EQ(tree.Text(root), u"E:");
  // No node for the empty deleted folder E:\Old.
  ASSERT_EQ(tree.Children(root).size(), 1u);
  const auto docs = tree.Children(root)[0];
  EXPECT_EQ(tree.Text(docs), u"Docs");
  const auto sub = tree.Children(docs).at(0);
  EXPECT_EQ(model.FolderPath(TreeKind::kDeleted, sub), u"E:\\Docs\\Sub");
  EXPECT_EQ(model.FindFolderNode(TreeKind::kDeleted, u"E:\\Docs\\Sub"), sub);
  // Images: existing folders (0, 1), gone ones (2, 3).
  EXPECT_EQ(tree.Image(docs), 0);
  EXPECT_EQ(tree.SelectedImage(docs), 1);
  EXPECT_EQ(tree.Image(sub), 2);
  EXPECT_EQ(tree.SelectedImage(sub), 3);

  EXPECT_TRUE(model.NodeContent(TreeKind::kDeleted, root).empty());
  EXPECT_EQ(Paths(model.NodeContent(TreeKind::kDeleted, docs)), (std::vector<std::u16string>{u"E:\\Docs\\a.txt"}));

  // AllTree: the folder item itself gives no row; both a.txt stay, in order.
  const CheckTree& all = model.tree(TreeKind::kAll);
  const auto all_docs = model.FindFolderNode(TreeKind::kAll, u"E:\\Docs");
  ASSERT_NE(all_docs, CheckTree::kNoNode);
  EXPECT_EQ(all.Children(all.Root()).front(), all_docs);  // first seen first
  ASSERT_EQ(model.NodeContent(TreeKind::kAll, all_docs).size(), 2u);
  EXPECT_EQ(model.NodeContent(TreeKind::kAll, all_docs)[1]->size, 7u);
}

// The engine joins a root given as "E:\" and a name with one more "\";
// that doubled separator must not show as a folder without a name.
TEST(QuickScanPaths, DoubledSeparatorAfterTheRootAddsNoNode) {
  ResultsModel model;
  model.set_path_exists([](std::u16string_view) { return true; });
  model.deleted_items().push_back(Item(model.items(), u"E:\\\\a.txt"));
  model.deleted_items().push_back(Item(model.items(), u"E:\\\\Docs\\b.txt"));
  model.BuildTrees(ScanKind::kQuick);
  const CheckTree& tree = model.tree(TreeKind::kDeleted);
  const auto root = tree.Root();
  ASSERT_EQ(tree.Text(root), u"E:");
  EXPECT_EQ(Paths(model.NodeContent(TreeKind::kDeleted, root)), (std::vector<std::u16string>{u"E:\\\\a.txt"}));
  ASSERT_EQ(tree.Children(root).size(), 1u);
  EXPECT_EQ(tree.Text(tree.Children(root)[0]), u"Docs");
}

TEST_F(QuickScanTree, PathIndexKeepsTheFirstItemOfAPath) {
  const FoundItem* a = model.FindByPath(u"E:\\Docs\\a.txt");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, &model.all_items()[1]);
  EXPECT_EQ(model.FindByPath(u"E:\\Docs"), nullptr);  // folders are not entered
  EXPECT_EQ(model.FindByPath(u"e:\\docs\\a.txt"), nullptr);
}

TEST_F(QuickScanTree, ListFollowsTheShownTreeAndCopiesTheNodeCheck) {
  // A scan ends with DeletedTree shown and its root listed (no files there).
  EXPECT_EQ(model.VisibleTree(), TreeKind::kDeleted);
  EXPECT_TRUE(model.rows().empty());

  CheckTree& tree = model.tree(TreeKind::kDeleted);
  const auto docs = model.FindFolderNode(TreeKind::kDeleted, u"E:\\Docs");
  tree.Toggle(docs);
  model.FillListFromTree(TreeKind::kDeleted, docs);
  ASSERT_EQ(model.rows().size(), 1u);
  EXPECT_TRUE(model.rows()[0].checked);
  EXPECT_TRUE(model.AllRowsChecked());

  // No node given: the tree's last selected node.
  model.FillListFromTree(TreeKind::kDeleted);
  EXPECT_EQ(RowPaths(model), (std::vector<std::u16string>{u"E:\\Docs\\a.txt"}));
  model.ResetSelection();
  model.FillListFromTree(TreeKind::kDeleted);
  EXPECT_TRUE(model.rows().empty());  // back at the root

  model.SetOnlyDeleted(false);
  EXPECT_EQ(model.VisibleTree(), TreeKind::kAll);
  model.FillListFromTree(TreeKind::kAll, model.FindFolderNode(TreeKind::kAll, u"E:\\Docs"));
  EXPECT_EQ(model.rows().size(), 2u);
  EXPECT_FALSE(model.AnyRowChecked());
}

TEST_F(QuickScanTree, CheckAllAndInvertWorkOnRows) {
  model.FillListFromTree(TreeKind::kAll, model.FindFolderNode(TreeKind::kAll, u"E:\\Docs"));
  model.SetRowChecked(0, true);
  EXPECT_FALSE(model.AllRowsChecked());
  model.InvertRows();
  EXPECT_FALSE(model.rows()[0].checked);
  EXPECT_TRUE(model.rows()[1].checked);
  model.CheckAllRows(true);
  EXPECT_TRUE(model.AllRowsChecked());
  model.CheckAllRows(false);
  EXPECT_FALSE(model.AnyRowChecked());
}

TEST_F(QuickScanTree, CollectCheckedTakesCheckedNodesDepthFirstThenRowsEachItemOnce) {
  EXPECT_FALSE(model.AnythingChecked());
  EXPECT_TRUE(model.CollectChecked().empty());
  CheckTree& tree = model.tree(TreeKind::kDeleted);
  const auto docs = model.FindFolderNode(TreeKind::kDeleted, u"E:\\Docs");
  tree.Toggle(docs);  // checks Docs and Sub
  model.FillListFromTree(TreeKind::kDeleted, docs);  // its row is checked too
  EXPECT_TRUE(model.AnythingChecked());
  EXPECT_EQ(Paths(model.CollectChecked()), (std::vector<std::u16string>{u"E:\\Docs\\a.txt", u"E:\\Docs\\Sub\\c.txt",
                                                                      u"E:\\Docs\\Other\\d.txt"}));

  // Rows come after the checked nodes.
  tree.Toggle(docs);
  const auto sub = model.FindFolderNode(TreeKind::kDeleted, u"E:\\Docs\\Sub");
  tree.Toggle(sub);
  model.FillListFromTree(TreeKind::kDeleted, docs);
  model.SetRowChecked(0, true);
  EXPECT_EQ(Paths(model.CollectChecked()),
            (std::vector<std::u16string>{u"E:\\Docs\\Sub\\c.txt", u"E:\\Docs\\a.txt"}));

  // Two items with one path are two items. Docs is the root's only
  // sub-folder, so checking it shows the root checked, and the root's own
  // file is taken with it.
  model.SetOnlyDeleted(false);
  const auto all_docs = model.FindFolderNode(TreeKind::kAll, u"E:\\Docs");
  model.tree(TreeKind::kAll).Toggle(all_docs);
  const auto taken = model.CollectChecked();
  EXPECT_EQ(Paths(taken), (std::vector<std::u16string>{u"E:\\b.txt", u"E:\\Docs\\a.txt", u"E:\\Docs\\a.txt",
                                                       u"E:\\Docs\\Sub\\c.txt"}));
  EXPECT_NE(taken[1], taken[2]);
}

TEST(ListSorting, OneClickCounterOddAscendingEvenDescendingStable) {
  ResultsModel model;
  std::vector<FoundItem> items = {Item(u"E:\\b", kEntryFile, kDeleted, 10), Item(u"E:\\a", kEntryFile, kDeleted, 5),
                                  Item(u"E:\\c", kEntryFile, kDeleted, 10), Item(u"E:\\B", kEntryFile, kDeleted, 1)};
  items[0].first_cluster = 3;
  items[1].first_cluster = 1;
  items[2].first_cluster = 2;
  items[3].first_cluster = 4;
  std::vector<const FoundItem*> pointers;
  for (const auto& item : items) pointers.push_back(&item);
  model.FillListFromItems(pointers);
  model.SetRowChecked(1, true);  // E:\a

  model.SortByColumn(0);  // click 1: ascending, case-sensitive ("B" before "a")
  EXPECT_EQ(RowPaths(model), (std::vector<std::u16string>{u"E:\\B", u"E:\\a", u"E:\\b", u"E:\\c"}));
  EXPECT_TRUE(model.rows()[1].checked);  // the check mark stays with its item
  model.SortByColumn(2);  // click 2, another column: descending; equal sizes keep their order
  EXPECT_EQ(RowPaths(model), (std::vector<std::u16string>{u"E:\\b", u"E:\\c", u"E:\\a", u"E:\\B"}));
  model.SortByColumn(4);  // click 3: ascending by cluster, numerically
  EXPECT_EQ(RowPaths(model), (std::vector<std::u16string>{u"E:\\a", u"E:\\c", u"E:\\b", u"E:\\B"}));
  EXPECT_EQ(model.sort_clicks(), 3);
}

TEST(ListSorting, SizeComparesItsLow32Bits) {
  ResultsModel model;
  std::vector<FoundItem> items = {Item(u"E:\\big", kEntryFile, kDeleted, (5ull << 30)),  // low half: 1 GiB
                                  Item(u"E:\\small", kEntryFile, kDeleted, 2ull << 30)};
  model.FillListFromItems({&items[0], &items[1]});
  model.SortByColumn(2);
  EXPECT_EQ(RowPaths(model), (std::vector<std::u16string>{u"E:\\big", u"E:\\small"}));
}

}  // namespace
}  // namespace salvor::app
