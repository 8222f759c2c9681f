#include "app/win/folder_browse_dlg.h"

#include "app/win/ui_texts.h"

namespace salvor::win {
namespace {
constexpr int kPrompt = 172, kTree = 144, kYes = 210, kNo = 211, kCloseBox = 111;
}  // namespace

BOOL CFolderBrowseDlg::OnInitDialog() {
  SetItemText(kPrompt, Ui(u"regText"));
  SetItemText(kYes, Ui(u"lanSureYes"));
  SetItemText(kNo, Ui(u"lanSureNo"));
  tree_ = std::make_unique<skin::CGwFolderBrowseCtrl>();
  const RECT none{0, 0, 10, 10};
  if (tree_->Create(view()->hwnd(), kTree, none)) {
    SendMessageW(tree_->hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    TreeView_SetBkColor(tree_->hwnd(), RGB(255, 255, 255));
    SetFocus(tree_->hwnd());
  }
  return TRUE;
}

// Yes without a folder (nothing selected, or the computer itself, which is
// no folder) keeps the dialog open.
void CFolderBrowseDlg::Choose() {
  if (!tree_) return;
  std::u16string path = tree_->GetSelectedPath();
  if (path.empty()) return;
  chosen_ = std::move(path);
  EndDialog(1);
}

void CFolderBrowseDlg::OnGwNotify(const skin::GwNotifyHeader& n) {
  if (n.code != skin::gwn::kClick) return;
  const int id = reinterpret_cast<const skin::GwNotifyClick&>(n).id;
  if (id == kYes) Choose();
  else if (id == kNo || id == kCloseBox) EndDialog(2);
}

bool CFolderBrowseDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
  if (msg == WM_CLOSE || (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE)) {
    EndDialog(2);
    result = 0;
    return true;
  }
  return false;
}

}  // namespace salvor::win
