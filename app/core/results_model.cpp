// The results model; see results_model.h.
#include "app/core/results_model.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace salvor::app {
namespace {

std::u16string Ascii(const char* text) {
  std::u16string out;
  for (; *text; ++text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
  return out;
}

std::u16string DecimalText(int32_t value) {
  char buffer[16];
  const char* const end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  return std::u16string(static_cast<const char*>(buffer), end);
}

const std::vector<const FoundItem*> kNoItems;

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

namespace {

// The engine joins the drive root (E:\) and a root entry's name with one
// more separator, so the path has two backslashes after the colon; the list
// shows one.
std::u16string DisplayPath(std::u16string path) {
  if (path.size() > 3 && path[1] == u':' && path[2] == u'\\' && path[3] == u'\\') path.erase(3, 1);
  return path;
}

}  // namespace

std::u16string CellText(const FoundItem& item, int column) {
  switch (column) {
    case 0: return std::u16string(item.name());
    case 1: return DisplayPath(item.path());
    case 2: return SizeText(item.size);
    case 3: return item.date();
    // The list shows the cluster as a signed decimal, as it always has.
    case 4: return DecimalText(static_cast<int32_t>(item.first_cluster));
    case 5: return item.is_folder() ? std::u16string() : std::u16string(VerdictText(item.verdict));
    default: return {};
  }
}

std::u16string NtfsLostFolderPath(std::u16string_view path, uint64_t parent_mft_number) {
  std::u16string out;
  AppendNtfsLostFolderPath(out, path, parent_mft_number);
  return out;
}

void AppendNtfsLostFolderPath(std::u16string& out, std::u16string_view path, uint64_t parent_mft_number) {
  const size_t root = std::min<size_t>(3, path.size());
  out += path.substr(0, root);
  out += u"dir";
  out += DecimalText(static_cast<int32_t>(static_cast<uint32_t>(parent_mft_number)));
  out += u'\\';
  out += path.substr(root);
}

RehomedItems RehomeUnformatted(FoundItems& items, const ItemList& reported, std::u16string_view drive_name) {
  RehomedItems out;
  // Collected folders by (folder number, first cluster): an item with parent
  // P and folder F lies in every folder whose own folder is P and whose
  // directory starts at F.
  std::unordered_map<uint64_t, std::vector<const FoundItem*>> folders_by_key;  // in report order
  auto key = [](uint32_t folder, uint32_t cluster) { return (uint64_t{folder} << 32) | cluster; };
  // "<drive>\dir<N>" by N.
  std::unordered_map<uint32_t, const FolderNode*> lost_folders;

  auto place = [&](const FoundItem& item) {
    if (item.is_folder()) {
      folders_by_key[key(item.folder, item.first_cluster)].push_back(&item);
      out.folders.push_back(item);
    } else {
      out.files.push_back(item);
    }
  };
  auto orphan = [&](const FoundItem& item) {
    const FolderNode*& lost = lost_folders[item.folder];
    if (!lost) {
      lost = items.Folder(std::u16string(drive_name) + u"\\dir" + DecimalText(static_cast<int32_t>(item.folder)));
    }
    place(items.AddUnder(item, lost));
  };

  std::vector<const FoundItem*> homes;
  for (const FoundItem& item : reported) {
    if (item.parent_folder != 0) {
      // Homes first: placing a folder item grows the collection.
      homes.clear();
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
      for (const FoundItem* home : homes) place(items.AddUnder(item, items.Child(home->holder, home->name())));
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
  items_.Clear();
  rehomed_folders_.clear();
  deleted_tree_.Clear();
  all_tree_.Clear();
  deleted_data_ = {};
  all_data_ = {};
  path_index_.clear();
  path_index_made_ = false;
  rows_.clear();
  only_deleted_ = true;
}

void ResultsModel::RehomeDeletedItems(std::u16string_view drive_name) {
  RehomedItems rehomed = RehomeUnformatted(items_, items_.deleted_items(), drive_name);
  items_.deleted_items() = std::move(rehomed.files);
  rehomed_folders_ = std::move(rehomed.folders);
}

void ResultsModel::BuildTrees(ScanKind kind) {
  scan_kind_ = kind;
  deleted_tree_.Clear();
  all_tree_.Clear();
  deleted_data_ = {};
  all_data_ = {};
  path_index_.clear();
  path_index_made_ = false;
  rows_.clear();
  BuildTree(TreeKind::kDeleted, items_.deleted_items());
  if (kind == ScanKind::kQuick) BuildTree(TreeKind::kAll, items_.all_items());
  SetOnlyDeleted(true);
}

ResultsModel::NodeId ResultsModel::FolderTreeNode(TreeKind kind, const FolderNode* folder) {
  TreeData& data = this->data(kind);
  if (data.folder_nodes.size() < items_.folder_count()) data.folder_nodes.resize(items_.folder_count(), CheckTree::kNoNode);
  if (NodeId known = data.folder_nodes[folder->id - 1]) return known;
  // The folders above that have no node yet, nearest first; then made from
  // the top down, so nodes come in first-seen order.
  std::vector<const FolderNode*> missing;
  for (const FolderNode* f = folder; f && data.folder_nodes[f->id - 1] == CheckTree::kNoNode; f = f->parent) {
    missing.push_back(f);
  }
  CheckTree& tree = this->tree(kind);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    const FolderNode* f = *it;
    const NodeId parent = f->parent ? data.folder_nodes[f->parent->id - 1] : CheckTree::kNoNode;
    if (f->name_length == 0 && parent != CheckTree::kNoNode) {
      // A doubled backslash ("E:\\Docs", a record under a root given as
      // "E:\") names no folder of its own: it stays the parent's.
      data.folder_nodes[f->id - 1] = parent;
      continue;
    }
    const std::u16string path = f->Path();
    const bool exists = path_exists_(path);
    const NodeId node = tree.Insert(parent, std::u16string(f->Name()), exists ? 0 : 2, exists ? 1 : 3);
    data.folder_nodes[f->id - 1] = node;
    data.contents.emplace_back();
    data.folders.push_back(f);
  }
  return data.folder_nodes[folder->id - 1];
}

void ResultsModel::BuildTree(TreeKind kind, const ItemList& items) {
  TreeData& data = this->data(kind);
  for (const FoundItem& item : items) {
    if (item.is_folder() || !item.holder) continue;  // no folder: not listed
    const NodeId node = FolderTreeNode(kind, item.holder);
    if (node != CheckTree::kNoNode) data.contents[node - 1].push_back(&item);
  }
}

const std::vector<const FoundItem*>& ResultsModel::NodeContent(TreeKind kind, NodeId node) const {
  const TreeData& d = data(kind);
  if (node == CheckTree::kNoNode || node > d.contents.size()) return kNoItems;
  return d.contents[node - 1];
}

ResultsModel::NodeId ResultsModel::FindFolderNode(TreeKind kind, std::u16string_view folder_path) const {
  const TreeData& d = data(kind);
  const FolderNode* folder = items_.FindFolder(folder_path);
  if (!folder || folder->id > d.folder_nodes.size()) return CheckTree::kNoNode;
  return d.folder_nodes[folder->id - 1];
}

std::u16string ResultsModel::FolderPath(TreeKind kind, NodeId node) const {
  const TreeData& d = data(kind);
  if (node == CheckTree::kNoNode || node > d.folders.size()) return {};
  return d.folders[node - 1]->Path();
}

namespace {

size_t PathHash(const FolderNode* folder, std::u16string_view name) {
  return std::hash<std::u16string_view>()(name) * 31 + std::hash<const void*>()(folder);
}

}  // namespace

const ItemList& ResultsModel::PathIndexList() const {
  return scan_kind_ == ScanKind::kQuick ? items_.all_items() : items_.deleted_items();
}

const FoundItem* ResultsModel::FindByPath(std::u16string_view path) const {
  const ItemList& list = PathIndexList();
  if (list.empty() || list.size() >= UINT32_MAX) return nullptr;
  if (!path_index_made_) {
    // Twice as many slots as items, a power of two; the first item entered
    // under a path keeps it.
    size_t slots = 16;
    while (slots < 2 * list.size()) slots *= 2;
    path_index_.assign(slots, 0);
    for (size_t i = 0; i < list.size(); ++i) {
      const FoundItem& item = list[i];
      if (item.is_folder()) continue;
      for (size_t at = PathHash(item.holder, item.name()) & (slots - 1);; at = (at + 1) & (slots - 1)) {
        if (path_index_[at] == 0) {
          path_index_[at] = static_cast<uint32_t>(i + 1);
          break;
        }
        const FoundItem& other = list[path_index_[at] - 1];
        if (other.holder == item.holder && other.name() == item.name()) break;
      }
    }
    path_index_made_ = true;
  }
  const size_t slash = path.rfind(u'\\');
  const FolderNode* folder = nullptr;
  std::u16string_view name = path;
  if (slash != std::u16string_view::npos) {
    folder = items_.FindFolder(path.substr(0, slash));
    if (!folder) return nullptr;
    name = path.substr(slash + 1);
  }
  const size_t mask = path_index_.size() - 1;
  for (size_t at = PathHash(folder, name) & mask; path_index_[at] != 0; at = (at + 1) & mask) {
    const FoundItem& item = list[path_index_[at] - 1];
    if (item.holder == folder && item.name() == name) return &item;
  }
  return nullptr;
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
  // Path and date are compared as the list shows them: their texts, made
  // once per row.
  std::vector<std::u16string> texts;
  if (column == 1 || column == 3) {
    texts.reserve(rows_.size());
    for (const Row& row : rows_) texts.push_back(column == 1 ? row.item->path() : row.item->date());
  }
  // Whether row a sorts before row b in ascending order.
  auto less = [&](size_t a, size_t b) {
    const FoundItem& x = *rows_[a].item;
    const FoundItem& y = *rows_[b].item;
    switch (column) {
      case 0: return x.name() < y.name();
      case 1:
      case 3: return texts[a] < texts[b];
      case 2: return static_cast<uint32_t>(x.size) < static_cast<uint32_t>(y.size);
      case 4: return x.first_cluster < y.first_cluster;
      case 5: return x.verdict < y.verdict;
      default: return false;
    }
  };
  std::vector<size_t> order(rows_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  // A stable sort orders exactly as repeated adjacent exchanges would.
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return ascending ? less(a, b) : less(b, a); });
  std::vector<Row> sorted;
  sorted.reserve(rows_.size());
  for (size_t i : order) sorted.push_back(rows_[i]);
  rows_ = std::move(sorted);
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
