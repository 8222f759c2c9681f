#include "app/win/recovery_dlgs.h"

#include "app/win/ui_texts.h"

namespace salvor::win {
namespace {
constexpr int kMessage = 107, kFirst = 170, kSecond = 171, kCloseBox = 111, kFailedList = 2002;

// Rich text takes markup: the message's own "<" and "&" are written out.
std::u16string escaped(const std::u16string& text) {
  std::u16string out;
  for (const char16_t c : text) {
    if (c == u'<') out += u"&lt;";
    else if (c == u'>') out += u"&gt;";
    else if (c == u'&') out += u"&amp;";
    else out += c;
  }
  return out;
}

bool is_close(UINT msg, WPARAM wp) { return msg == WM_CLOSE || (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE); }
}  // namespace

BOOL CNoticeDlg::OnInitDialog() {
  SetRichText(kMessage, u"<c color=\"000000\">" + escaped(message_) + u"</c>");
  SetItemText(kFirst, first_);
  SetItemText(kSecond, second_);
  return TRUE;
}

void CNoticeDlg::OnGwNotify(const skin::GwNotifyHeader& n) {
  if (n.code != skin::gwn::kClick) return;
  const int id = reinterpret_cast<const skin::GwNotifyClick&>(n).id;
  if (id == kFirst) EndDialog(1);
  else if (id == kSecond) EndDialog(2);
  else if (id == kCloseBox) EndDialog(0);
}

bool CNoticeDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
  if (!is_close(msg, wp)) return false;
  EndDialog(0);
  result = 0;
  return true;
}

BOOL CFailedFilesDlg::OnInitDialog() {
  list_ = std::make_unique<skin::CListViewCtrlEx>();
  const RECT none{0, 0, 10, 10};
  if (!list_->Create(view()->hwnd(), kFailedList, none)) return TRUE;
  list_->InsertColumn(0, u"File", 300);
  list_->InsertColumn(1, u"Reason", 270);
  for (const app::FailedFile& file : files_) {
    skin::RowRecord row;
    row.icon = skin::RowIcon::kDeletedFile;
    row.cells.push_back({0, file.relative, RGB(0x33, 0x3A, 0x44), {}});
    row.cells.push_back({0, file.reason, RGB(0xC6, 0x28, 0x28), {}});
    list_->AddRow(std::move(row));
  }
  return TRUE;
}

void CFailedFilesDlg::OnGwNotify(const skin::GwNotifyHeader& n) {
  if (n.code != skin::gwn::kClick) return;
  const int id = reinterpret_cast<const skin::GwNotifyClick&>(n).id;
  if (id == kFirst || id == kCloseBox) EndDialog(1);
}

bool CFailedFilesDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
  if (!is_close(msg, wp)) return false;
  EndDialog(1);
  result = 0;
  return true;
}

}  // namespace salvor::win
