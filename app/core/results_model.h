// ResultsModel: what a scan found, as the results page shows it. It keeps the
// two item vectors (deleted items, all items), builds the two folder trees
// (DeletedTree, AllTree) with the items lying directly in each folder, the
// path index, and the file list with its rows, check marks and sorting. It
// holds no window: the Windows results page and salvor-cli drive the same
// model.
//
// The items live once, in the model's FoundItems store; the two item lists,
// the trees, the rows and the path index refer to them. Items are added
// during a scan and must not be removed after BuildTrees. Clear() starts
// over.
//
// A program's list reads it by index: rows()[i].item gives the item, and
// CellText its texts, each made when asked.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/check_tree.h"
#include "app/core/found_item.h"

namespace salvor::app {

enum class ScanKind { kQuick = 1, kUnformat = 2 };
enum class TreeKind { kDeleted = 1, kAll = 2 };

// "%.02f B" below 1024, "%.02f KB" below 1048576, "%.02f MB" above (no GB
// step); a text that would read 0.00 becomes "N/A".
std::u16string SizeText(uint64_t size_bytes);

// The text of one list cell: 0 name, 1 path (one separator after the drive,
// however the engine joined them), 2 SizeText, 3 date, 4 first cluster
// ("%d"), 5 the verdict on a file's data (VerdictText; empty for folders);
// the filter's flat list uses the same texts.
std::u16string CellText(const FoundItem& item, int column);

// NTFS Unformatting Scan, second phase: the record's folder is unknown, so
// "dir<N>\" (N the low half of the parent record number, as "%d") goes in
// after the root ("E:\a.txt" with parent 5 becomes "E:\dir5\a.txt").
std::u16string NtfsLostFolderPath(std::u16string_view path, uint64_t parent_mft_number);
void AppendNtfsLostFolderPath(std::u16string& out, std::u16string_view path, uint64_t parent_mft_number);

// FAT-family Unformatting Scan: the sweep reports bare names with folder
// numbers; this gives them paths, in report order.
// - An item with a parent folder number goes into every folder collected so
//   far whose folder number is that parent and whose first cluster is the
//   item's folder number: its path becomes "<folder path>\<name>".
// - An item with parent 0 and a folder number is an orphan: it goes under the
//   root into "<drive>\dir<folder>\<name>".
// - An item with both numbers 0 is kept only when deleted.
// An item with a parent number that matches no folder collected so far is
// placed as an orphan too (in dir<folder>), rather than dropped. One item is
// placed into at most kMaxPlacements folders, which bounds what duplicated
// directory data can multiply. Items that move are stored again in `items`
// under their new folder; the others are listed as they are.
struct RehomedItems {
  ItemList folders;  // re-homed folder items, for nesting
  ItemList files;    // everything else: what the tree is built from
};
inline constexpr size_t kMaxPlacements = 16;
RehomedItems RehomeUnformatted(FoundItems& items, const ItemList& reported, std::u16string_view drive_name);

class ResultsModel {
 public:
  using NodeId = CheckTree::NodeId;
  // Whether a folder path exists on the live volume (the tree's images).
  using PathExists = std::function<bool(std::u16string_view)>;

  struct Row {
    const FoundItem* item = nullptr;
    bool checked = false;
  };

  ResultsModel();
  // Trees, rows and the path index point into the item vectors: a copy would
  // point into the original. Moving keeps the vectors' storage, so it is fine.
  ResultsModel(const ResultsModel&) = delete;
  ResultsModel& operator=(const ResultsModel&) = delete;
  ResultsModel(ResultsModel&&) = default;
  ResultsModel& operator=(ResultsModel&&) = default;

  // The start of a scan: every container is emptied.
  void Clear();
  void set_path_exists(PathExists path_exists) { path_exists_ = std::move(path_exists); }

  // The store of every item, with the deleted-items and all-items lists.
  FoundItems& items() { return items_; }
  const FoundItems& items() const { return items_; }
  ItemList& deleted_items() { return items_.deleted_items(); }
  const ItemList& deleted_items() const { return items_.deleted_items(); }
  ItemList& all_items() { return items_.all_items(); }
  const ItemList& all_items() const { return items_.all_items(); }

  // Unformatting Scan of a FAT-family volume: replaces the deleted items by
  // their re-homed files (the re-homed folders are kept apart).
  void RehomeDeletedItems(std::u16string_view drive_name);
  const ItemList& rehomed_folders() const { return rehomed_folders_; }

  // Builds DeletedTree (both kinds of scan) and AllTree (Quick Scan only),
  // their node contents and the path index; then shows DeletedTree ("Only
  // display deleted files" checked) with its root's items listed.
  void BuildTrees(ScanKind kind);
  ScanKind scan_kind() const { return scan_kind_; }

  const CheckTree& tree(TreeKind kind) const { return kind == TreeKind::kDeleted ? deleted_tree_ : all_tree_; }
  CheckTree& tree(TreeKind kind) { return kind == TreeKind::kDeleted ? deleted_tree_ : all_tree_; }
  // The items lying directly in the folder of `node`, in insertion order.
  const std::vector<const FoundItem*>& NodeContent(TreeKind kind, NodeId node) const;
  // The node of a folder path (exact comparison), or kNoNode.
  NodeId FindFolderNode(TreeKind kind, std::u16string_view folder_path) const;
  // The full folder path a node stands for.
  std::u16string FolderPath(TreeKind kind, NodeId node) const;

  // The path index: the first file item entered under a path (Quick Scan:
  // of all items; Unformatting Scan: of the deleted ones). Made on the first
  // call after BuildTrees.
  const FoundItem* FindByPath(std::u16string_view path) const;

  // "Only display deleted files": checked shows DeletedTree, unchecked
  // AllTree; the shown tree's root is selected and listed.
  void SetOnlyDeleted(bool only_deleted);
  bool only_deleted() const { return only_deleted_; }
  // AllTree after a Quick Scan with "Only display deleted files" unchecked,
  // DeletedTree otherwise.
  TreeKind VisibleTree() const;

  // Lists the items of `node` (kNoNode: the tree's last selected node, else
  // its root); each row's check copies the node's check. The node becomes the
  // tree's selected node.
  void FillListFromTree(TreeKind kind, NodeId node = CheckTree::kNoNode);
  // Lists the given items unchecked (the filter's flat view).
  void FillListFromItems(const std::vector<const FoundItem*>& items);
  NodeId selected_node(TreeKind kind) const;
  // "Return" to the drive page forgets the selected nodes.
  void ResetSelection();

  const std::vector<Row>& rows() const { return rows_; }
  void SetRowChecked(size_t row, bool checked);
  void CheckAllRows(bool checked);
  void InvertRows();
  // What "Check All" shows: every row checked (and at least one row).
  bool AllRowsChecked() const;
  bool AnyRowChecked() const;

  // A header click on `column`: one click counter for all columns, odd counts
  // sort ascending and even ones descending; equal rows keep their order and
  // rows keep their check marks.
  void SortByColumn(int column);
  int sort_clicks() const { return sort_clicks_; }

  // The items a recovery takes: the items of every checked node of the
  // visible tree (depth first), then the items of the checked rows. An item
  // reached twice (node and row) is taken once.
  std::vector<const FoundItem*> CollectChecked() const;
  // Whether anything is checked that CollectChecked would look at.
  bool AnythingChecked() const;

 private:
  struct TreeData {
    // The tree node of each folder of the store (by FolderNode id - 1;
    // kNoNode: not in this tree). A folder path ending in "\" shares its
    // parent's node.
    std::vector<NodeId> folder_nodes;  // FolderNodeMap
    std::vector<std::vector<const FoundItem*>> contents;  // by node id - 1
    std::vector<const FolderNode*> folders;                // by node id - 1
    NodeId selected = CheckTree::kNoNode;
  };
  TreeData& data(TreeKind kind) { return kind == TreeKind::kDeleted ? deleted_data_ : all_data_; }
  const TreeData& data(TreeKind kind) const { return kind == TreeKind::kDeleted ? deleted_data_ : all_data_; }
  void BuildTree(TreeKind kind, const ItemList& items);
  NodeId FolderTreeNode(TreeKind kind, const FolderNode* folder);

  FoundItems items_;
  ItemList rehomed_folders_;
  CheckTree deleted_tree_;
  CheckTree all_tree_;
  TreeData deleted_data_;
  TreeData all_data_;
  // The path index: an open-addressed table of positions in its list (+1;
  // 0 free), by folder and name; made when first asked.
  const ItemList& PathIndexList() const;
  mutable std::vector<uint32_t> path_index_;
  mutable bool path_index_made_ = false;
  PathExists path_exists_;
  ScanKind scan_kind_ = ScanKind::kQuick;
  bool only_deleted_ = true;
  std::vector<Row> rows_;
  int sort_clicks_ = 0;
};

}  // namespace salvor::app
