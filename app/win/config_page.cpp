#include "app/win/config_page.h"

namespace salvor::win {

bool CConfig::CreateChild(HWND main) {
  HWND h = Create(main, false);
  if (h == nullptr) return false;
  SetWindowLongPtrW(h, GWL_STYLE, WS_CHILD | WS_CLIPCHILDREN);
  SetWindowLongPtrW(h, GWL_EXSTYLE, 0);
  SetParent(h, main);
  SetWindowPos(h, HWND_TOP, kLeft, kTop, kWidth, kHeight, SWP_NOACTIVATE | SWP_FRAMECHANGED);
  return true;
}

BOOL CConfig::OnInitDialog() {
  Load();
  return TRUE;
}

void CConfig::Load() {
  checks_ = app::ReadFileTypeChecks(app::FileTypeSettingsPath());
  for (int i = 0; i < app::kFileTypeCount; ++i) SetItemCheck(app::kFirstFileTypeId + i, checks_[static_cast<size_t>(i)]);
}

void CConfig::Save() {
  for (int i = 0; i < app::kFileTypeCount; ++i) checks_[static_cast<size_t>(i)] = GetItemCheck(app::kFirstFileTypeId + i);
  app::WriteFileTypeChecks(app::FileTypeSettingsPath(), checks_);
}

void CConfig::OnGwNotify(const skin::GwNotifyHeader& n) {
  if (n.code != skin::gwn::kClick) return;
  const int id = reinterpret_cast<const skin::GwNotifyClick&>(n).id;
  // The box has changed before its click is heard.
  if (id >= app::kFirstFileTypeId && id < app::kFirstFileTypeId + app::kFileTypeCount) Save();
}

}  // namespace salvor::win
