#include "app/win/language_dlg.h"

#include "app/win/ui_texts.h"

namespace salvor::win {
namespace {
constexpr int kPrompt = 181, kListId = 2003, kOk = 119, kCancel = 120, kCloseBox = 111;
}  // namespace

BOOL CLanguageDlg::OnInitDialog() {
  SetItemText(kPrompt, Ui(u"lanLanChoose"));
  list_ = std::make_unique<skin::CListViewCtrlEx>();
  if (!list_->Create(view()->hwnd(), kListId, RECT{0, 0, 10, 10})) return TRUE;
  list_->InsertColumn(0, Ui(u"lanlanguage"), 180);
  list_->InsertColumn(1, Ui(u"lanTranslator"), 150);
  catalog_.Enumerate(program_dir_);
  const std::u16string& current = Ui(u"LanguageText");
  int index = 0;
  for (const app::LanguageEntry& entry : catalog_.entries()) {
    skin::RowRecord row;
    row.cells = {{0, entry.name, RGB(0x33, 0x3A, 0x44), {}}, {0, entry.translator, RGB(0x66, 0x66, 0x66), {}}};
    const int at = list_->AddRow(std::move(row));
    if (entry.name == current) index = at;
  }
  if (list_->row_count() > 0)
    ListView_SetItemState(list_->hwnd(), index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  return TRUE;
}

void CLanguageDlg::OnGwNotify(const skin::GwNotifyHeader& n) {
  if (n.code != skin::gwn::kClick) return;
  const int id = reinterpret_cast<const skin::GwNotifyClick&>(n).id;
  if (id == kOk) {
    const int selected = list_ ? ListView_GetNextItem(list_->hwnd(), -1, LVNI_SELECTED) : -1;
    chosen_path_.clear();
    if (selected >= 0 && static_cast<size_t>(selected) < catalog_.entries().size())
      chosen_path_ = catalog_.IniPathOf(catalog_.entries()[selected].name);
    EndDialog(1);
  } else if (id == kCancel || id == kCloseBox) {
    EndDialog(2);
  }
}

}  // namespace salvor::win
