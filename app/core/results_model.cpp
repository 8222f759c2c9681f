// The results model; see results_model.h.
#include "app/core/results_model.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

namespace salvor::app {
namespace {

std::u16string Ascii(const char* text) {
  std::u16string out;
  for (; *text; ++text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
  return out;
}

std::u16string DecimalText(int32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value));
  return Ascii(buffer);
}

const std::vector<const FoundItem*> kNoItems;

// The text before the last "\" (the folder an item lies in); npos when the
// path has no "\".
size_t LastBackslash(std::u16string_view path) { return path.rfind(u'\\'); }

}  // namespace

std::u16string SizeText(uint64_t size_bytes) {
  char buffer[64];
  if (size_bytes < 1024) {
    std::snprintf(buffer, sizeof buffer, "%.02f B", static_cast<double>(size_bytes));
  } else if (size_bytes < 1048576) {
    std::snprintf(buffer, sizeof buffer, "%.02f KB", static_cast<double>(size_bytes) / 1024.0);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.02f MB", static_cast<double>(size_bytes) / 1048576.0);
  }
  const std::string text = buffer;
  if (text == "0.00 B" || text == "0.00 KB" || text == "0.00 MB") return u"N/A";
  return Ascii(buffer);
}

std::u16string CellText(const FoundItem& item, int column) {
  switch (column) {
    case 0: return item.name;
    case 1: return item.path;
    case 2: return SizeText(item.size);
    case 3: return item.date;
    // The list shows the cluster as a signed decimal, as it always has.
    case 4: return DecimalText(static_cast<int32_t>(item.first_cluster));
    default: return {};
  }
}

std::u16string NtfsLostFolderPath(std::u16string_view path, uint64_t parent_mft_number) {
  const size_t root = std::min<size_t>(3, path.size());
  std::u16string out(path.substr(0, root));
  out += u"dir";
  out += DecimalText(static_cast<int32_t>(static_cast<uint32_t>(parent_mft_number)));
  out += u'\\';
  out += path.substr(root);
  return out;
}

RehomedItems RehomeUnformatted(const std::vector<FoundItem>& reported, std::u16string_view drive_name) {
  RehomedItems out;
  // Collected folders by (folder number, first cluster): an item with parent
  // P and folder F lies in every folder whose own folder is P and whose
  // directory starts at F.
  std::unordered_map<uint64_t, std::vector<size_t>> folders_by_key;  // in report order
  auto key = [](uint32_t folder, uint32_t cluster) { return (uint64_t{folder} << 32) | cluster; };

  auto place = [&](FoundItem item) {
    if (item.is_folder()) {
      folders_by_key[key(item.folder, item.first_cluster)].push_back(out.folders.size());
      out.folders.push_back(std::move(item));
    } else {
      out.files.push_back(std::move(item));
    }
  };
  auto orphan = [&](const FoundItem& item) {
    FoundItem moved = item;
    moved.path = std::u16string(drive_name) + u"\\dir" + DecimalText(static_cast<int32_t>(item.folder)) +
                 u"\\" + item.path;
    place(std::move(moved));
  };

  for (const FoundItem& item : reported) {
    if (item.parent_folder != 0) {
      // Indexes first: placing a folder item grows the collection.
      std::vector<size_t> homes;
      auto found = folders_by_key.find(key(item.parent_folder, item.folder));
      if (found != folders_by_key.end()) {
        const auto& all = found->second;
        homes.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), kMaxPlacements)));
      }
      if (homes.empty()) {
        // Its folder was not (yet) seen: still show it, under dir<folder>.
        orphan(item);
        continue;
      }
      for (size_t home : homes) {
        FoundItem moved = item;
        moved.path = out.folders[home].path + u"\\" + item.path;
        place(std::move(moved));
      }
    } else if (item.folder != 0) {
      orphan(item);
    } else if (item.is_deleted()) {
      place(item);
    }
  }
  return out;
}

ResultsModel::ResultsModel() : path_exists_([](std::u16string_view) { return false; }) {}

void ResultsModel::Clear() {
  deleted_items_.clear();
  all_items_.clear();
  rehomed_folders_.clear();
  deleted_tree_.Clear();
  all_tree_.Clear();
  deleted_data_ = {};
  all_data_ = {};
  path_index_.clear();
  rows_.clear();
  only_deleted_ = true;
}

void ResultsModel::RehomeDeletedItems(std::u16string_view drive_name) {
  RehomedItems rehomed = RehomeUnformatted(deleted_items_, drive_name);
  deleted_items_ = std::move(rehomed.files);
  rehomed_folders_ = std::move(rehomed.folders);
}

void ResultsModel::BuildTrees(ScanKind kind) {
  scan_kind_ = kind;
  deleted_tree_.Clear();
  all_tree_.Clear();
  deleted_data_ = {};
  all_data_ = {};
  path_index_.clear();
  rows_.clear();
  BuildTree(TreeKind::kDeleted, deleted_items_, kind == ScanKind::kUnformat);
  if (kind == ScanKind::kQuick) BuildTree(TreeKind::kAll, all_items_, true);
  SetOnlyDeleted(true);
}

void ResultsModel::BuildTree(TreeKind kind, const std::vector<FoundItem>& items, bool fill_path_index) {
  CheckTree& tree = this->tree(kind);
  TreeData& data = this->data(kind);
  for (const FoundItem& item : items) {
    if (item.is_folder()) continue;
    if (fill_path_index) path_index_.emplace(item.path, &item);  // the first one stays
    const std::u16string_view path = item.path;
    NodeId parent = CheckTree::kNoNode;
    for (size_t slash = path.find(u'\\'); slash != std::u16string_view::npos; slash = path.find(u'\\', slash + 1)) {
      const std::u16string_view prefix = path.substr(0, slash);
      auto found = data.folder_nodes.find(prefix);
      if (found != data.folder_nodes.end()) {
        parent = found->second;
        continue;
      }
      if (prefix.back() == u'\\' && parent != CheckTree::kNoNode) {
        // A doubled backslash ("E:\\Docs", a record under a root given as
        // "E:\") names no folder of its own: it stays the parent's.
        data.folder_nodes.emplace(std::u16string(prefix), parent);
        continue;
      }
      const size_t name_start = LastBackslash(prefix);
      std::u16string text(name_start == std::u16string_view::npos ? prefix : prefix.substr(name_start + 1));
      const bool exists = path_exists_(prefix);
      const NodeId node = tree.Insert(parent, std::move(text), exists ? 0 : 2, exists ? 1 : 3);
      data.folder_nodes.emplace(std::u16string(prefix), node);
      data.contents.emplace_back();
      data.paths.emplace_back(prefix);
      parent = node;
    }
    const size_t slash = LastBackslash(path);
    if (slash == std::u16string_view::npos) continue;  // no folder: not listed
    auto folder = data.folder_nodes.find(path.substr(0, slash));
    if (folder != data.folder_nodes.end()) data.contents[folder->second - 1].push_back(&item);
  }
}

const std::vector<const FoundItem*>& ResultsModel::NodeContent(TreeKind kind, NodeId node) const {
  const TreeData& d = data(kind);
  if (node == CheckTree::kNoNode || node > d.contents.size()) return kNoItems;
  return d.contents[node - 1];
}

ResultsModel::NodeId ResultsModel::FindFolderNode(TreeKind kind, std::u16string_view folder_path) const {
  const TreeData& d = data(kind);
  auto found = d.folder_nodes.find(folder_path);
  return found == d.folder_nodes.end() ? CheckTree::kNoNode : found->second;
}

std::u16string ResultsModel::FolderPath(TreeKind kind, NodeId node) const {
  const TreeData& d = data(kind);
  if (node == CheckTree::kNoNode || node > d.paths.size()) return {};
  return d.paths[node - 1];
}

const FoundItem* ResultsModel::FindByPath(std::u16string_view path) const {
  auto found = path_index_.find(path);
  return found == path_index_.end() ? nullptr : found->second;
}

void ResultsModel::SetOnlyDeleted(bool only_deleted) {
  only_deleted_ = only_deleted;
  const TreeKind shown = VisibleTree();
  FillListFromTree(shown, tree(shown).Root());
}

TreeKind ResultsModel::VisibleTree() const {
  return scan_kind_ == ScanKind::kQuick && !only_deleted_ ? TreeKind::kAll : TreeKind::kDeleted;
}

void ResultsModel::FillListFromTree(TreeKind kind, NodeId node) {
  TreeData& d = data(kind);
  const CheckTree& t = tree(kind);
  if (!t.Contains(node)) node = t.Contains(d.selected) ? d.selected : t.Root();
  rows_.clear();
  if (node == CheckTree::kNoNode) return;
  d.selected = node;
  const bool checked = t.IsChecked(node);
  for (const FoundItem* item : d.contents[node - 1]) rows_.push_back({item, checked});
}

void ResultsModel::FillListFromItems(const std::vector<const FoundItem*>& items) {
  rows_.clear();
  rows_.reserve(items.size());
  for (const FoundItem* item : items) rows_.push_back({item, false});
}

ResultsModel::NodeId ResultsModel::selected_node(TreeKind kind) const { return data(kind).selected; }

void ResultsModel::ResetSelection() {
  deleted_data_.selected = CheckTree::kNoNode;
  all_data_.selected = CheckTree::kNoNode;
}

void ResultsModel::SetRowChecked(size_t row, bool checked) {
  if (row < rows_.size()) rows_[row].checked = checked;
}

void ResultsModel::CheckAllRows(bool checked) {
  for (Row& row : rows_) row.checked = checked;
}

void ResultsModel::InvertRows() {
  for (Row& row : rows_) row.checked = !row.checked;
}

bool ResultsModel::AllRowsChecked() const {
  return !rows_.empty() && std::all_of(rows_.begin(), rows_.end(), [](const Row& r) { return r.checked; });
}

bool ResultsModel::AnyRowChecked() const {
  return std::any_of(rows_.begin(), rows_.end(), [](const Row& r) { return r.checked; });
}

void ResultsModel::SortByColumn(int column) {
  ++sort_clicks_;
  const bool ascending = sort_clicks_ % 2 == 1;
  // Whether a sorts before b in ascending order.
  auto less = [column](const FoundItem& a, const FoundItem& b) {
    switch (column) {
      case 0: return a.name < b.name;
      case 1: return a.path < b.path;
      case 2: return static_cast<uint32_t>(a.size) < static_cast<uint32_t>(b.size);
      case 3: return a.date < b.date;
      case 4: return a.first_cluster < b.first_cluster;
      default: return false;
    }
  };
  // A stable sort orders exactly as repeated adjacent exchanges would.
  std::stable_sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) {
    return ascending ? less(*a.item, *b.item) : less(*b.item, *a.item);
  });
}

std::vector<const FoundItem*> ResultsModel::CollectChecked() const {
  std::vector<const FoundItem*> items;
  std::unordered_set<const FoundItem*> taken;
  auto take = [&](const FoundItem* item) {
    if (taken.insert(item).second) items.push_back(item);
  };
  const TreeKind kind = VisibleTree();
  const CheckTree& t = tree(kind);
  for (NodeId node : t.DepthFirst()) {
    if (!t.IsChecked(node)) continue;
    for (const FoundItem* item : NodeContent(kind, node)) take(item);
  }
  for (const Row& row : rows_) {
    if (row.checked) take(row.item);
  }
  return items;
}

bool ResultsModel::AnythingChecked() const {
  if (AnyRowChecked()) return true;
  const CheckTree& t = tree(VisibleTree());
  for (NodeId node : t.DepthFirst()) {
    if (t.IsChecked(node)) return true;
  }
  return false;
}

}  // namespace salvor::app
