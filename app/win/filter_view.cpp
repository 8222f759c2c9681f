// The results page's flat view: "Find" runs the File Filter over the
// deleted-items vector and lists what matches without the folder tree;
// "Back" returns to the tree.
#include "app/win/find_dlg.h"
#include "app/win/main_dlg.h"

namespace salvor::win {
namespace {
constexpr int kReturn = 214, kBack = 216, kTreeFrame = 2698, kListFrame = 2699, kOnlyDeleted = 2899,
              kCheckAll = 2696;
}  // namespace

void CMainDlg::OpenFilter() {
  // The rows are not replaced under a check-all worker.
  if (drive_page_active_ || WaitForSingleObject(check_all_idle_, 0) != WAIT_OBJECT_0) return;
  CFindDlg dialog;
  if (dialog.DoModal(hwnd()) != 1) return;
  if (WaitForSingleObject(check_all_idle_, 0) != WAIT_OBJECT_0) return;
  filter_ = dialog.filter();
  results_.FillListFromItems(app::ApplyFilter(results_.deleted_items(), filter_));
  ShowFlatView(true);
  FillResultList();
}

void CMainDlg::ShowFlatView(bool flat) {
  flat_view_ = flat;
  ShowItem(kBack, flat);
  ShowItem(kReturn, !flat);
  ShowItem(kTreeFrame, !flat);
  SetItemAttribute(kListFrame, "pos", flat ? "0,0,-0,-45" : "200,0,-0,-45");
  ShowItem(kOnlyDeleted, !flat);
  SetItemAttribute(kCheckAll, "pos", flat ? "0,-25" : "200,-25");
  // The view moves the list without redrawing; its header would keep
  // showing what lay there before.
  RedrawWindow(result_list_->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void CMainDlg::OnBackClicked() {
  if (!flat_view_ || WaitForSingleObject(check_all_idle_, 0) != WAIT_OBJECT_0) return;
  ShowFlatView(false);
  // The folder the tree shows selected, of the tree shown: with "Only
  // display deleted files" unchecked that is the tree of all items.
  results_.FillListFromTree(results_.VisibleTree());
  FillResultList();
}

}  // namespace salvor::win
