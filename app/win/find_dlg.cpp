#include "app/win/find_dlg.h"

#include "app/win/ui_texts.h"

namespace salvor::win {
namespace {
constexpr int kTitle = 160, kTypeLabel = 161, kNameLabel = 162, kSkipEmpty = 2898, kOk = 218, kCancel = 219,
              kCloseBox = 111;
constexpr int kCategoryBox = 10006, kNameBox = 10007;
}  // namespace

BOOL CFindDlg::OnInitDialog() {
  SetItemText(kTitle, Ui(u"lanFindTitle"));
  SetItemText(kTypeLabel, Ui(u"lanFindCmbText"));
  SetItemText(kNameLabel, Ui(u"lanFindEditText"));
  SetItemText(kSkipEmpty, Ui(u"lanFindByteText"));
  SetItemText(kOk, Ui(u"lanFindBtnOK"));
  SetItemText(kCancel, Ui(u"lanFindBtnCancle"));
  SetWindowTextW(hwnd(), W(Ui(u"lanFindTitle")));
  // The view places both at their layout positions.
  const RECT none{0, 0, 10, 200};
  if (!categories_.Create(view()->hwnd(), kCategoryBox, none) ||
      !name_.Create(view()->hwnd(), kNameBox, RECT{0, 0, 10, 22}))
    return TRUE;
  for (const app::FilterCategory& category : app::FilterCategories()) categories_.AddRow(category.row_text);
  categories_.SetSelection(0);
  OnCategoryChanged();
  return TRUE;
}

void CFindDlg::OnCategoryChanged() {
  const int row = categories_.Selection();
  if (row < 0 || row >= app::kFilterCategoryCount) return;
  if (row == app::kCustomFilterCategory) {
    name_.SetText(u"");
    name_.SetReadOnly(false);
    SetFocus(name_.hwnd());
  } else {
    name_.SetText(app::FilterCategories()[static_cast<size_t>(row)].pattern);
    name_.SetReadOnly(true);
  }
}

void CFindDlg::OnGwNotify(const skin::GwNotifyHeader& n) {
  if (n.code != skin::gwn::kClick) return;
  const int id = reinterpret_cast<const skin::GwNotifyClick&>(n).id;
  if (id == kOk) {
    filter_.category = categories_.hwnd() != nullptr ? categories_.Selection() : 0;
    if (filter_.category < 0) filter_.category = 0;
    filter_.text = name_.hwnd() != nullptr ? name_.Text() : u"";
    filter_.skip_empty = GetItemCheck(kSkipEmpty);
    EndDialog(1);
  } else if (id == kCancel || id == kCloseBox) {
    EndDialog(2);
  }
}

bool CFindDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
  if (msg == WM_COMMAND && LOWORD(wp) == kCategoryBox && HIWORD(wp) == CBN_SELCHANGE) {
    OnCategoryChanged();
    result = 0;
    return true;
  }
  if (msg == WM_CLOSE || (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE)) {
    EndDialog(2);
    result = 0;
    return true;
  }
  return false;
}

}  // namespace salvor::win
