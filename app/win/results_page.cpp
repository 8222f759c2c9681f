// The main window's results page: the two folder trees mirror the results
// model's check trees, the list shows the rows the model lists, and every
// command of the page goes through the model's rules.
#include <process.h>

#include "app/win/is_sure_dlg.h"
#include "app/win/main_dlg.h"
#include "app/win/ui_texts.h"
#include "skin/win/controls/control_messages.h"

namespace salvor::win {
namespace {

constexpr int kDrivePage = 254, kResultsPage = 253, kOnlyDeleted = 2899, kCheckAll = 2696, kDeletedTreeId = 10004,
              kAllTreeId = 10005;

size_t index_of(app::TreeKind kind) { return kind == app::TreeKind::kDeleted ? 0 : 1; }

// The verdict on a file's data in the language shown.
std::u16string VerdictCellText(uint32_t verdict) {
  switch (verdict) {
    case kVerdictIntact: return Ui(u"lanDataIntact");
    case kVerdictPartlyOverwritten: return Ui(u"lanDataPartly");
    case kVerdictOverwritten: return Ui(u"lanDataOverwritten");
    default: return Ui(u"lanDataUnknown");
  }
}

skin::RowRecord file_row(const app::ResultsModel::Row& row) {
  const app::FoundItem& item = *row.item;
  skin::RowRecord record;
  record.flags = skin::row_flags::kCheckOnBox;
  record.check_state = row.checked ? skin::kCheckChecked : skin::kCheckUnchecked;
  record.icon = item.is_deleted() ? skin::RowIcon::kDeletedFile : skin::RowIcon::kExistingFile;
  const COLORREF colour = item.is_deleted() ? RGB(0xC6, 0x28, 0x28) : RGB(0x33, 0x3A, 0x44);
  for (int c = 0; c < 5; ++c) record.cells.push_back({0, app::CellText(item, c), colour, {}});
  record.cells.push_back({0, item.is_folder() ? std::u16string() : VerdictCellText(item.verdict), colour, {}});
  return record;
}

struct CheckAllJob {
  skin::CListViewCtrlEx* list;
  app::ResultsModel* model;
  bool checked;
  HANDLE idle;
  HWND main;
};

unsigned __stdcall check_all_worker(void* argument) {
  const CheckAllJob job = *static_cast<CheckAllJob*>(argument);
  delete static_cast<CheckAllJob*>(argument);
  job.model->CheckAllRows(job.checked);
  for (int row = 0; row < job.list->row_count(); ++row)
    if (job.list->GetRowCheck(row) != 0) job.list->SetRowCheck(row, job.checked ? skin::kCheckChecked : skin::kCheckUnchecked);
  SetEvent(job.idle);
  PostMessageW(job.main, kMsgCheckAllDone, 0, 0);
  return 0;
}

}  // namespace

skin::CRw3StateCheckTreeCtrl* CMainDlg::Tree(app::TreeKind kind) { return trees_[index_of(kind)].get(); }

void CMainDlg::ClearResults() {
  results_.Clear();
  result_list_->DeleteAllRows();
  for (size_t t = 0; t < trees_.size(); ++t) {
    if (trees_[t]) trees_[t]->DeleteAllItems();
    tree_items_[t].clear();
    tree_nodes_[t].clear();
  }
}

void CMainDlg::FillTree(app::TreeKind kind) {
  skin::CRw3StateCheckTreeCtrl* tree = Tree(kind);
  const size_t t = index_of(kind);
  tree->DeleteAllItems();
  tree_items_[t].assign(results_.tree(kind).size(), nullptr);
  tree_nodes_[t].clear();
  const CheckTree& model = results_.tree(kind);
  filling_ = true;
  SendMessageW(tree->hwnd(), WM_SETREDRAW, FALSE, 0);
  // Depth first: a parent is in the tree before its children.
  for (const CheckTree::NodeId node : model.DepthFirst()) {
    const CheckTree::NodeId parent = model.Parent(node);
    HTREEITEM parent_item = parent == CheckTree::kNoNode ? TVI_ROOT : tree_items_[t][parent - 1];
    HTREEITEM item = tree->InsertItem(parent_item, model.Text(node), static_cast<int>(model.State(node)),
                                      model.Image(node), model.SelectedImage(node));
    tree_items_[t][node - 1] = item;
    tree_nodes_[t][item] = node;
  }
  if (const CheckTree::NodeId root = model.Root(); root != CheckTree::kNoNode)
    TreeView_Expand(tree->hwnd(), tree_items_[t][root - 1], TVE_EXPAND);
  SendMessageW(tree->hwnd(), WM_SETREDRAW, TRUE, 0);
  filling_ = false;
  InvalidateRect(tree->hwnd(), nullptr, TRUE);
}

void CMainDlg::SyncTreeChecks(app::TreeKind kind) {
  skin::CRw3StateCheckTreeCtrl* tree = Tree(kind);
  CheckTree& model = results_.tree(kind);
  const auto& items = tree_items_[index_of(kind)];
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i] != nullptr)
      model.SetState(static_cast<CheckTree::NodeId>(i + 1), static_cast<CheckState>(tree->GetCheck(items[i]) & 3));
}

void CMainDlg::FillResultList() {
  SendMessageW(result_list_->hwnd(), WM_SETREDRAW, FALSE, 0);
  result_list_->DeleteAllRows();
  for (const app::ResultsModel::Row& row : results_.rows()) result_list_->AddRow(file_row(row));
  SendMessageW(result_list_->hwnd(), WM_SETREDRAW, TRUE, 0);
  InvalidateRect(result_list_->hwnd(), nullptr, TRUE);
  SetItemCheck(kCheckAll, results_.AllRowsChecked());
}

void CMainDlg::ShowResultsPage() {
  drive_page_active_ = false;
  ShowScanButtons(false);
  ShowItem(kDrivePage, false);
  ShowItem(kResultsPage, true);
  SetItemCheck(kOnlyDeleted, true);
  ShowFlatView(false);
  ShowItem(kCheckAll, true);
  FillTree(app::TreeKind::kDeleted);
  FillTree(app::TreeKind::kAll);
  ShowItem(kDeletedTreeId, true);
  ShowItem(kAllTreeId, false);
  results_.SetOnlyDeleted(true);
  const auto kind = results_.VisibleTree();
  const auto& items = tree_items_[index_of(kind)];
  const CheckTree::NodeId node = results_.selected_node(kind);
  filling_ = true;
  if (node != CheckTree::kNoNode && node <= items.size()) TreeView_SelectItem(Tree(kind)->hwnd(), items[node - 1]);
  filling_ = false;
  FillResultList();
  SetItemCheck(kCheckAll, false);
}

void CMainDlg::ShowDrivePage() {
  drive_page_active_ = true;
  results_.ResetSelection();
  ShowScanButtons(true);
  ShowItem(kResultsPage, false);
  ShowItem(kDrivePage, true);
}

// A click on a node (also the one already selected) lists its folder.
void CMainDlg::OnTreeClick(int tree_id) {
  const app::TreeKind kind = results_.VisibleTree();
  if (tree_id != (kind == app::TreeKind::kDeleted ? kDeletedTreeId : kAllTreeId)) return;
  skin::CRw3StateCheckTreeCtrl* tree = Tree(kind);
  TVHITTESTINFO hit{};
  GetCursorPos(&hit.pt);
  ScreenToClient(tree->hwnd(), &hit.pt);
  HTREEITEM item = TreeView_HitTest(tree->hwnd(), &hit);
  if (item == nullptr || (hit.flags & TVHT_ONITEM) == 0) return;
  OnTreeSelected(kind, item);
}

void CMainDlg::OnTreeSelected(app::TreeKind kind, HTREEITEM item) {
  if (filling_ || kind != results_.VisibleTree()) return;
  const auto found = tree_nodes_[index_of(kind)].find(item);
  if (found == tree_nodes_[index_of(kind)].end()) return;
  skin::CRw3StateCheckTreeCtrl* tree = Tree(kind);
  SyncTreeChecks(kind);
  filling_ = true;
  TreeView_SelectItem(tree->hwnd(), item);
  filling_ = false;
  results_.FillListFromTree(kind, found->second);
  FillResultList();
  SetItemCheck(kCheckAll, false);
}

void CMainDlg::OnOnlyDeletedClicked() {
  const bool only_deleted = GetItemCheck(kOnlyDeleted);
  results_.SetOnlyDeleted(only_deleted);
  const app::TreeKind kind = results_.VisibleTree();
  ShowItem(kDeletedTreeId, kind == app::TreeKind::kDeleted);
  ShowItem(kAllTreeId, kind == app::TreeKind::kAll);
  SyncTreeChecks(kind);
  const auto& items = tree_items_[index_of(kind)];
  const CheckTree::NodeId node = results_.selected_node(kind);
  filling_ = true;
  if (node != CheckTree::kNoNode && node <= items.size()) TreeView_SelectItem(Tree(kind)->hwnd(), items[node - 1]);
  filling_ = false;
  FillResultList();
}

void CMainDlg::OnCheckAllClicked() {
  // One worker at a time; a click while it runs is ignored.
  if (WaitForSingleObject(check_all_idle_, 0) != WAIT_OBJECT_0) {
    SetItemCheck(kCheckAll, !GetItemCheck(kCheckAll));
    return;
  }
  ResetEvent(check_all_idle_);
  auto* job = new CheckAllJob{result_list_.get(), &results_, GetItemCheck(kCheckAll), check_all_idle_, hwnd()};
  const uintptr_t thread = _beginthreadex(nullptr, 0, &check_all_worker, job, 0, nullptr);
  if (thread == 0) {
    delete job;
    SetEvent(check_all_idle_);
    return;
  }
  CloseHandle(reinterpret_cast<HANDLE>(thread));
}

void CMainDlg::OnRowCheckToggled(int row) {
  if (row < 0 || static_cast<size_t>(row) >= results_.rows().size()) return;
  results_.SetRowChecked(static_cast<size_t>(row), result_list_->GetRowCheck(row) == skin::kCheckChecked);
  SetItemCheck(kCheckAll, results_.AllRowsChecked());
}

void CMainDlg::OnSortColumn(int column) {
  if (WaitForSingleObject(check_all_idle_, 0) != WAIT_OBJECT_0) return;
  results_.SortByColumn(column);
  FillResultList();
}

}  // namespace salvor::win
