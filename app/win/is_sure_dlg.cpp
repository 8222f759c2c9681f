#include "app/win/is_sure_dlg.h"

#include "app/win/ui_texts.h"

namespace salvor::win {
namespace {
constexpr int kQuestion = 107, kYes = 170, kNo = 171, kCloseBox = 111;

const char16_t* key_of(ConfirmKind kind) {
  switch (kind) {
    case ConfirmKind::kQuickScan: return u"lanSureQuick";
    case ConfirmKind::kReturn: return u"lanSureReturn";
    case ConfirmKind::kUnformatScan: return u"lanSureFormat";
    case ConfirmKind::kClose: break;
  }
  return u"lanSureClose";
}
}  // namespace

BOOL CIsSureDlg::OnInitDialog() {
  // The longest question gets the taller place.
  if (kind_ == ConfirmKind::kReturn) SetItemAttribute(kQuestion, "pos", "80,15,308,90");
  SetRichText(kQuestion, Ui(key_of(kind_)));
  SetItemText(kYes, Ui(u"lanSureYes"));
  SetItemText(kNo, Ui(u"lanSureNo"));
  return TRUE;
}

void CIsSureDlg::OnGwNotify(const skin::GwNotifyHeader& n) {
  if (n.code != skin::gwn::kClick) return;
  const int id = reinterpret_cast<const skin::GwNotifyClick&>(n).id;
  if (id == kYes) EndDialog(1);
  else if (id == kNo || id == kCloseBox) EndDialog(2);
}

bool CIsSureDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
  if (msg == WM_CLOSE || (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE)) {
    EndDialog(2);
    result = 0;
    return true;
  }
  return false;
}

}  // namespace salvor::win
