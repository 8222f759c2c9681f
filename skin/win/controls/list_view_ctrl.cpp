// The owner-drawn list: row records, drawing of plain, check and title rows,
// the empty-list text, mouse tracking, clicks and the context menu.
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
// gdiplus.h wants min and max, which NOMINMAX keeps out of windows.h.
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "skin/win/controls/list_view_ctrl.h"

#include <array>

#include "skin/win/controls/check_glyphs.h"
#include "skin/win/controls/control_messages.h"
#include "skin/win/resources.h"

namespace salvor::skin {
namespace {

constexpr UINT_PTR kListSubclassId = 0x4C535658;  // "LSVX"

// Column-0 gutters: the check glyph sits at x 18..34 of the row, so the text
// of a check row starts after it; an icon takes 16 pixels and a gap.
constexpr int kCheckGlyphLeft = 18;
constexpr int kCheckGlyphTop = 1;
constexpr int kCheckGutter = 35;
constexpr int kIconGutter = 35;
constexpr int kIconSize = 16;
constexpr int kIconLeft = 15;
constexpr int kRightMargin = 3;
// Text of every cell starts this far in, in line with the header's titles.
constexpr int kLeftPadding = 2;
constexpr int kExpandGlyphLeft = 3;
constexpr int kCardMargin = 20;
constexpr int kCardIconLeft = 38;

constexpr std::array<const wchar_t*, 5> kIconFiles = {
    L"\\img\\disk.png", L"\\img\\deleteFolder.png", L"\\img\\existFolder.png",
    L"\\img\\delete.png", L"\\img\\exist.png"};

std::wstring ProgramDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      const size_t slash = path.find_last_of(L"\\/");
      return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    }
    path.resize(path.size() * 2);
  }
  return {};
}

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

void FillColour(HDC dc, const RECT& rc, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
}

void BottomLine(HDC dc, const RECT& rc, COLORREF colour) {
  FillColour(dc, RECT{rc.left, rc.bottom - 1, rc.right, rc.bottom}, colour);
}

bool IsCheckRow(const RowRecord& row) { return (row.flags & row_flags::kCheckRow) != 0; }

// Draws `text` in `rc` with `format`, returning the width the whole text needs.
int DrawCellText(HDC dc, const std::u16string& text, RECT rc, UINT format) {
  SIZE extent{};
  GetTextExtentPoint32W(dc, W(text), static_cast<int>(text.size()), &extent);
  DrawTextW(dc, W(text), static_cast<int>(text.size()), &rc,
            format | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  return extent.cx;
}

}  // namespace

RowRecord DriveCardRow(std::u16string name, std::u16string capacity, std::u16string free_space,
                       std::u16string format) {
  RowRecord row;
  row.flags = row_flags::kTitle;
  row.icon = RowIcon::kDisk;
  row.line_colour = RGB(0xE3, 0xE7, 0xEC);
  row.x_offset = 48;
  row.y_offset = -1;
  row.bold = true;
  row.size_increase = 2;
  row.cells.push_back({0, std::move(name), RGB(0x1E, 0x2A, 0x3A), {}});
  row.cells.push_back({0, std::move(capacity), RGB(0x66, 0x66, 0x66), {148, 20, 258, 36}});
  row.cells.push_back({0, std::move(free_space), RGB(0x66, 0x66, 0x66), {268, 20, 378, 36}});
  row.cells.push_back({0, std::move(format), RGB(0x2F, 0x80, 0xED), {388, 20, 498, 36}});
  return row;
}

CListViewCtrlEx::CListViewCtrlEx() {
  const std::wstring dir = ProgramDirectory();
  LoadIcons(std::u16string(reinterpret_cast<const char16_t*>(dir.c_str()), dir.size()));
}

int CListViewCtrlEx::LoadIcons(std::u16string_view directory) {
  // GDI+ must be running before images are decoded; the pool starts it and
  // keeps it for the life of the process.
  GwPngPool::Instance();
  const std::wstring dir(directory.begin(), directory.end());
  icons_.clear();
  icons_.resize(kIconFiles.size());
  int loaded = 0;
  for (size_t i = 0; i < kIconFiles.size(); ++i) {
    const std::wstring path = dir + kIconFiles[i];
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    std::unique_ptr<Gdiplus::Image> file(Gdiplus::Image::FromFile(path.c_str()));
    if (!file || file->GetLastStatus() != Gdiplus::Ok || file->GetWidth() == 0 || file->GetHeight() == 0)
      continue;
    // GDI+ keeps a file it decoded open for the image's life; a copy in
    // memory lets the file go now.
    const INT width = static_cast<INT>(file->GetWidth()), height = static_cast<INT>(file->GetHeight());
    auto copy = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppPARGB);
    if (copy->GetLastStatus() != Gdiplus::Ok) continue;
    {
      Gdiplus::Graphics graphics(copy.get());
      graphics.DrawImage(file.get(), 0, 0, width, height);
    }
    icons_[i] = std::move(copy);
    ++loaded;
  }
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
  return loaded;
}

CListViewCtrlEx::~CListViewCtrlEx() {
  Unsubclass();
  header_.Detach();
}

bool CListViewCtrlEx::Create(HWND parent, int ctrl_id, const RECT& rect, DWORD extra_style) {
  if (hwnd_ || !parent) return false;
  // The list measures its rows while it is being created; the parent must
  // already answer for this control id.
  parent_ = parent;
  ctrl_id_ = ctrl_id;
  if (!SetWindowSubclass(parent_, &ParentProc, reinterpret_cast<UINT_PTR>(this),
                         reinterpret_cast<DWORD_PTR>(this))) {
    parent_ = nullptr;
    return false;
  }
  HWND hwnd = CreateWindowExW(0, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | LVS_REPORT | LVS_OWNERDRAWFIXED |
                                  LVS_SHOWSELALWAYS | LVS_SINGLESEL | extra_style,
                              rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(ctrl_id)),
                              GetModuleHandleW(nullptr), nullptr);
  RemoveWindowSubclass(parent_, &ParentProc, reinterpret_cast<UINT_PTR>(this));
  parent_ = nullptr;
  if (!hwnd) return false;
  if (!Attach(hwnd)) {
    DestroyWindow(hwnd);
    return false;
  }
  return true;
}

bool CListViewCtrlEx::Attach(HWND existing) {
  if (!existing || hwnd_) return false;
  hwnd_ = existing;
  parent_ = GetParent(existing);
  ctrl_id_ = GetDlgCtrlID(existing);
  const LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
  const LONG_PTR wanted = LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_SHOWSELALWAYS | LVS_SINGLESEL;
  if ((style & (LVS_TYPEMASK | wanted)) != wanted)
    SetWindowLongPtrW(hwnd_, GWL_STYLE, (style & ~static_cast<LONG_PTR>(LVS_TYPEMASK)) | wanted);
  if (!Subclass()) {
    hwnd_ = nullptr;
    parent_ = nullptr;
    return false;
  }
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(Font(0)), FALSE);
  if (HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0))) header_.Attach(header);
  // Items the list already holds get no record: they draw as blank rows and
  // ignore clicks, and the records of later rows keep their indexes.
  const int held = static_cast<int>(SendMessageW(hwnd_, LVM_GETITEMCOUNT, 0, 0));
  rows_.clear();
  rows_.resize(static_cast<size_t>(std::max(held, 0)));
  ApplyRowHeight();
  return true;
}

bool CListViewCtrlEx::Subclass() {
  if (!SetWindowSubclass(hwnd_, &ListProc, kListSubclassId, reinterpret_cast<DWORD_PTR>(this))) return false;
  if (parent_ && !SetWindowSubclass(parent_, &ParentProc, reinterpret_cast<UINT_PTR>(this),
                                    reinterpret_cast<DWORD_PTR>(this))) {
    RemoveWindowSubclass(hwnd_, &ListProc, kListSubclassId);
    return false;
  }
  return true;
}

void CListViewCtrlEx::Unsubclass() {
  if (parent_) RemoveWindowSubclass(parent_, &ParentProc, reinterpret_cast<UINT_PTR>(this));
  if (hwnd_) RemoveWindowSubclass(hwnd_, &ListProc, kListSubclassId);
  parent_ = nullptr;
  hwnd_ = nullptr;
}

int CListViewCtrlEx::row_height() const {
  if (row_height_override_ > 0) return row_height_override_;
  return ctrl_id_ == kDriveListId ? kDriveRowHeight : kRowHeight;
}

void CListViewCtrlEx::SetRowHeight(int height) {
  row_height_override_ = height > 0 ? height : -1;
  ApplyRowHeight();
}

void CListViewCtrlEx::ApplyRowHeight() {
  if (!hwnd_) return;
  // A fixed owner-drawn list asks its parent for the row height
  // (WM_MEASUREITEM) when it is created and when its size changes; a list
  // taken over after creation, or a new height, needs a real size change:
  // a pixel wider and back.
  RECT rc{};
  GetWindowRect(hwnd_, &rc);
  const int width = rc.right - rc.left, height = rc.bottom - rc.top;
  constexpr UINT kFlags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
  SetWindowPos(hwnd_, nullptr, 0, 0, width + 1, height, kFlags);
  SetWindowPos(hwnd_, nullptr, 0, 0, width, height, kFlags);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

HFONT CListViewCtrlEx::Font(std::uint16_t code) const { return GwFontPool::Instance().Get(code); }

HWND CListViewCtrlEx::MessageWindow() const { return message_window_ ? message_window_ : parent_; }

HWND CListViewCtrlEx::MainWindow() const {
  if (main_window_) return main_window_;
  return hwnd_ ? GetAncestor(hwnd_, GA_ROOT) : nullptr;
}

int CListViewCtrlEx::ColumnCount() const {
  HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0));
  return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

int CListViewCtrlEx::InsertColumn(int index, std::u16string_view title, int width, int format) {
  if (!hwnd_) return -1;
  std::u16string text(title);
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
  col.fmt = format;
  col.cx = width;
  col.pszText = const_cast<wchar_t*>(W(text));
  const int at = static_cast<int>(SendMessageW(hwnd_, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&col)));
  if (at >= 0) widest_.insert(widest_.begin() + std::min<size_t>(static_cast<size_t>(at), widest_.size()), 0);
  return at;
}

int CListViewCtrlEx::AddRow(RowRecord row) {
  if (!hwnd_) return -1;
  const bool was_empty = rows_.empty();
  const int index = static_cast<int>(rows_.size());
  // The record goes in first so that any drawing the insertion causes
  // already finds it.
  rows_.push_back(std::make_unique<RowRecord>(std::move(row)));
  const RowRecord& record = *rows_.back();
  std::u16string first = record.cells.empty() ? std::u16string() : record.cells[0].text;
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = index;
  item.pszText = const_cast<wchar_t*>(W(first));
  const int at = static_cast<int>(SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (at != index) {
    if (at >= 0) SendMessageW(hwnd_, LVM_DELETEITEM, at, 0);
    rows_.pop_back();
    return -1;
  }
  // Native sub-item texts keep the list readable to accessibility tools.
  for (size_t c = 1; c < record.cells.size(); ++c) {
    LVITEMW sub{};
    sub.iSubItem = static_cast<int>(c);
    sub.pszText = const_cast<wchar_t*>(W(record.cells[c].text));
    SendMessageW(hwnd_, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&sub));
  }
  if (was_empty) InvalidateRect(hwnd_, nullptr, TRUE);
  return index;
}

void CListViewCtrlEx::DeleteAllRows() {
  if (hwnd_) SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0);
  rows_.clear();
  hovered_ = -1;
  highlighted_ = -1;
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

RowRecord* CListViewCtrlEx::row(int index) {
  if (index < 0 || index >= static_cast<int>(rows_.size())) return nullptr;
  return rows_[static_cast<size_t>(index)].get();
}

void CListViewCtrlEx::SetEmptyText(std::u16string text, std::uint16_t font_code) {
  empty_text_ = std::move(text);
  empty_font_ = font_code;
  if (hwnd_ && rows_.empty()) InvalidateRect(hwnd_, nullptr, TRUE);
}

int CListViewCtrlEx::GetRowCheck(int index) const {
  if (index < 0 || index >= static_cast<int>(rows_.size()) || !rows_[static_cast<size_t>(index)]) return 0;
  const RowRecord& r = *rows_[static_cast<size_t>(index)];
  return IsCheckRow(r) ? r.check_state : 0;
}

void CListViewCtrlEx::SetRowCheck(int index, int state) {
  RowRecord* r = row(index);
  if (!r || (state != kCheckUnchecked && state != kCheckChecked)) return;
  r->check_state = state;
  InvalidateRow(index);
}

void CListViewCtrlEx::SetMode(int mode) {
  mode_ = mode;
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

int CListViewCtrlEx::widest_content(int column) const {
  if (column < 0 || column >= static_cast<int>(widest_.size())) return 0;
  return widest_[static_cast<size_t>(column)];
}

void CListViewCtrlEx::InvalidateRow(int index) {
  if (!hwnd_ || index < 0 || index >= static_cast<int>(rows_.size())) return;
  RECT rc{};
  rc.left = LVIR_BOUNDS;
  if (SendMessageW(hwnd_, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rc)))
    InvalidateRect(hwnd_, &rc, FALSE);
}

int CListViewCtrlEx::RowAt(POINT client) const {
  if (!hwnd_ || rows_.empty()) return -1;
  const int top = static_cast<int>(SendMessageW(hwnd_, LVM_GETTOPINDEX, 0, 0));
  RECT first{};
  first.left = LVIR_BOUNDS;
  if (!SendMessageW(hwnd_, LVM_GETITEMRECT, top, reinterpret_cast<LPARAM>(&first))) return -1;
  const int height = first.bottom - first.top;
  if (height <= 0 || client.y < first.top || client.x < first.left || client.x >= first.right) return -1;
  RECT client_rc{};
  GetClientRect(hwnd_, &client_rc);
  if (client.y >= client_rc.bottom) return -1;
  const int index = top + (client.y - first.top) / height;
  return index < static_cast<int>(rows_.size()) ? index : -1;
}

// Which link cell of which row lies under `client`; -1 for none.
int CListViewCtrlEx::LinkCellAt(POINT client, int* row_out) const {
  const int index = RowAt(client);
  if (index < 0 || !rows_[static_cast<size_t>(index)]) {
    if (row_out) *row_out = -1;  // no row, or a row without a record
    return -1;
  }
  if (row_out) *row_out = index;
  const RowRecord& r = *rows_[static_cast<size_t>(index)];
  RECT bounds{};
  bounds.left = LVIR_BOUNDS;
  SendMessageW(hwnd_, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&bounds));
  if (r.flags & row_flags::kTitle) {
    RECT client_rc{};
    GetClientRect(hwnd_, &client_rc);
    const int card = std::min<int>(bounds.right - bounds.left, client_rc.right - kCardMargin);
    for (size_t c = 1; c < r.cells.size(); ++c) {
      if (r.cells[c].kind != 1) continue;
      const RECT& cr = r.cells[c].rect;
      const int left = bounds.left + (cr.left < 0 ? card + cr.left : cr.left);
      const int right = bounds.left + (cr.right < 0 ? card + cr.right : cr.right);
      if (client.x >= left && client.x < right && client.y >= bounds.top + cr.top &&
          client.y < bounds.top + cr.bottom)
        return static_cast<int>(c);
    }
    if (!r.cells.empty() && r.cells[0].kind == 1) return 0;
    return -1;
  }
  HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0));
  const int columns = std::min<int>(ColumnCount(), static_cast<int>(r.cells.size()));
  for (int c = 0; c < columns; ++c) {
    RECT hr{};
    if (!SendMessageW(header, HDM_GETITEMRECT, c, reinterpret_cast<LPARAM>(&hr))) continue;
    if (client.x >= bounds.left + hr.left && client.x < bounds.left + hr.right)
      return r.cells[static_cast<size_t>(c)].kind == 1 ? c : -1;
  }
  return -1;
}

void CListViewCtrlEx::DrawIcon(HDC dc, RowIcon icon, int x, int y, int size) {
  const int i = static_cast<int>(icon);
  if (i < 0 || i >= static_cast<int>(icons_.size()) || !icons_[static_cast<size_t>(i)]) return;
  Gdiplus::Graphics graphics(dc);
  graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
  graphics.DrawImage(icons_[static_cast<size_t>(i)].get(), x, y, size, size);
}

void CListViewCtrlEx::DrawItem(const DRAWITEMSTRUCT& dis) {
  const int index = static_cast<int>(dis.itemID);
  RECT rc = dis.rcItem;
  if (index < 0 || index >= static_cast<int>(rows_.size()) || !rows_[static_cast<size_t>(index)]) {
    FillColour(dis.hDC, rc, GetSysColor(COLOR_WINDOW));
    return;
  }
  if ((dis.itemState & ODS_SELECTED) && highlighted_ != index) {
    const int previous = highlighted_;
    highlighted_ = index;
    InvalidateRow(previous);
  }
  const RowRecord& r = *rows_[static_cast<size_t>(index)];
  const int saved = SaveDC(dis.hDC);
  SetBkMode(dis.hDC, TRANSPARENT);
  if (r.flags & row_flags::kTitle)
    DrawTitleRow(dis.hDC, r, rc);
  else
    DrawPlainRow(dis.hDC, index, r, rc);
  RestoreDC(dis.hDC, saved);
}

void CListViewCtrlEx::DrawPlainRow(HDC dc, int index, const RowRecord& r, RECT rc) {
  FillColour(dc, rc, index == highlighted_ ? kHighlightColour : r.background);
  const bool check_row = IsCheckRow(r);
  if (check_row) DrawCheckGlyph(dc, rc.left + kCheckGlyphLeft, rc.top + kCheckGlyphTop, r.check_state);

  HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0));
  const int columns = ColumnCount();
  if (static_cast<int>(widest_.size()) < columns) widest_.resize(static_cast<size_t>(columns), 0);
  for (int c = 0; c < columns && c < static_cast<int>(r.cells.size()); ++c) {
    RECT hr{};
    if (!SendMessageW(header, HDM_GETITEMRECT, c, reinterpret_cast<LPARAM>(&hr))) continue;
    RECT cell{rc.left + hr.left, rc.top, rc.left + hr.right, rc.bottom};
    int gutter = kLeftPadding;
    if (c == 0) {
      if (check_row) gutter = kCheckGutter;
      if (r.icon != RowIcon::kNone) {
        const int icon_x = check_row ? kCheckGutter + 1 : kIconLeft;
        DrawIcon(dc, r.icon, cell.left + icon_x, cell.top + (cell.bottom - cell.top - kIconSize) / 2, kIconSize);
        gutter = check_row ? kCheckGutter + kIconSize + 4 : kIconGutter;
      }
    }
    cell.left += gutter;
    cell.right -= kRightMargin;
    const Cell& data = r.cells[static_cast<size_t>(c)];
    COLORREF colour = kPlainColour;
    std::uint16_t font = 0;
    if (data.kind == 1) {
      colour = kLinkColour;
      font = 2;
    } else if (check_row) {
      colour = (mode_ == 1 || mode_ == 3) ? kAlertColour : data.colour;
    }
    SelectObject(dc, Font(font));
    SetTextColor(dc, colour);
    const int width = DrawCellText(dc, data.text, cell, DT_LEFT | DT_VCENTER);
    // The widest entry includes the margins, so a column set to it shows the
    // text whole.
    int& widest = widest_[static_cast<size_t>(c)];
    widest = std::max(widest, width + gutter + kRightMargin);
  }
  BottomLine(dc, rc, r.line_colour);
}

void CListViewCtrlEx::DrawTitleRow(HDC dc, const RowRecord& r, RECT rc) {
  FillColour(dc, rc, r.background);
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int card = std::min<int>(rc.right - rc.left, client.right - kCardMargin);
  const int height = rc.bottom - rc.top;

  int icon_left = 8;
  if (r.flags & row_flags::kExpandable) {
    DrawCheckGlyph(dc, rc.left + kCheckGlyphLeft, rc.top + (height - kCheckGlyphSize) / 2, r.check_state);
    DrawExpandGlyph(dc, rc.left + kExpandGlyphLeft, rc.top + (height - 9) / 2, r.expanded);
    icon_left = kCardIconLeft;
  }
  if (r.icon != RowIcon::kNone) {
    const int size = std::max(0, std::min(32, height - 6));
    DrawIcon(dc, r.icon, rc.left + icon_left, rc.top + (height - size) / 2, size);
  }

  for (size_t c = 0; c < r.cells.size(); ++c) {
    const Cell& data = r.cells[c];
    RECT cell{};
    UINT format = DT_LEFT;
    std::uint16_t font = data.kind == 1 ? 2 : 0;
    if (c == 0) {
      cell = rc;
      OffsetRect(&cell, r.x_offset, 0);
      if (r.y_offset < 0) {
        InflateRect(&cell, 0, -2);
        format |= DT_VCENTER;
      } else {
        OffsetRect(&cell, 0, r.y_offset);
      }
      if (r.size_increase != 0 || r.bold)
        font = static_cast<std::uint16_t>(((r.size_increase & 0xFF) << 8) | (r.bold ? 4 : 0) | (font & 2));
    } else {
      const RECT& cr = data.rect;
      cell.left = rc.left + (cr.left < 0 ? card + cr.left : cr.left);
      cell.right = rc.left + (cr.right < 0 ? card + cr.right : cr.right);
      cell.top = rc.top + cr.top;
      cell.bottom = rc.top + cr.bottom;
    }
    SelectObject(dc, Font(font));
    SetTextColor(dc, data.kind == 1 ? kLinkColour : data.colour);
    DrawCellText(dc, data.text, cell, format);
  }
  BottomLine(dc, rc, r.line_colour);
}

void CListViewCtrlEx::PaintEmpty(HDC dc) {
  RECT client{};
  GetClientRect(hwnd_, &client);
  COLORREF background = static_cast<COLORREF>(SendMessageW(hwnd_, LVM_GETBKCOLOR, 0, 0));
  if (background == CLR_NONE) background = GetSysColor(COLOR_WINDOW);
  // The header is a child window and paints itself; don't paint under it.
  RECT below = client;
  HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0));
  if (header && IsWindowVisible(header)) {
    RECT hr{};
    GetWindowRect(header, &hr);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&hr), 2);
    below.top = std::max(below.top, hr.bottom);
  }
  FillColour(dc, below, background);
  if (empty_text_.empty()) return;
  const int saved = SaveDC(dc);
  SelectObject(dc, Font(empty_font_));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kPlainColour);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  RECT line{client.left, client.top + kEmptyTextTop, client.right, client.top + kEmptyTextTop + tm.tmHeight};
  DrawTextW(dc, W(empty_text_), static_cast<int>(empty_text_.size()), &line,
            DT_CENTER | DT_SINGLELINE | DT_NOPREFIX | DT_TOP);
  RestoreDC(dc, saved);
}

void CListViewCtrlEx::OnMouseMove(POINT client) {
  const int index = RowAt(client);
  if (index == hovered_) return;
  hovered_ = index;
  if (HWND target = MessageWindow())
    PostMessageW(target, kMsgHoverRow, static_cast<WPARAM>(index), static_cast<LPARAM>(ctrl_id_));
}

void CListViewCtrlEx::OnClick(POINT client) {
  int index = -1;
  const int link = LinkCellAt(client, &index);
  if (index < 0) return;  // outside the rows, or a row without a record
  RowRecord& r = *rows_[static_cast<size_t>(index)];
  if ((r.flags & row_flags::kTitle) && (r.flags & row_flags::kExpandable)) {
    r.expanded = !r.expanded;
    InvalidateRow(index);
    return;
  }
  if (link >= 0) {
    if (HWND target = MessageWindow())
      PostMessageW(target, kMsgLinkClick, static_cast<WPARAM>(index), static_cast<LPARAM>(link));
    return;
  }
  if (!IsCheckRow(r)) return;
  if (!(r.flags & row_flags::kCheckAnywhere)) {
    RECT bounds{};
    bounds.left = LVIR_BOUNDS;
    SendMessageW(hwnd_, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&bounds));
    const int x = client.x - bounds.left, y = client.y - bounds.top;
    if (x < kCheckGlyphLeft || x >= kCheckGlyphLeft + kCheckGlyphSize || y < kCheckGlyphTop ||
        y >= kCheckGlyphTop + kCheckGlyphSize)
      return;
  }
  r.check_state = r.check_state == kCheckChecked ? kCheckUnchecked : kCheckChecked;
  InvalidateRow(index);
  if (HWND main = MainWindow())
    SendMessageW(main, kMsgRowCheckToggled, static_cast<WPARAM>(index), static_cast<LPARAM>(ctrl_id_));
}

void CListViewCtrlEx::OnRightClick(POINT client) {
  const int index = RowAt(client);
  const RowRecord* r = row(index);
  if (!r || r->flags == 0) return;
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(hwnd_, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&state));
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  if (menu_entries_.empty()) AppendMenuW(menu, MF_STRING, kCmdRecover, W(recover_text_));
  for (const MenuEntry& entry : menu_entries_) AppendMenuW(menu, MF_STRING, entry.command, W(entry.text));
  POINT screen{};
  GetCursorPos(&screen);
  const UINT command = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, screen.x, screen.y, 0, hwnd_, nullptr));
  DestroyMenu(menu);
  if (command != 0) HandleMenuCommand(index, command);
}

bool CListViewCtrlEx::HandleMenuCommand(int index, UINT command) {
  RowRecord* r = row(index);
  if (!r) return false;
  switch (command) {
    case kCmdRecover:
      if (HWND main = MainWindow()) SendMessageW(main, kMsgRecoverRow, 0, static_cast<LPARAM>(index));
      return true;
    case kCmdCheckRow:
    case kCmdUncheckRow: {
      if (!IsCheckRow(*r)) return false;
      const int state = command == kCmdCheckRow ? kCheckChecked : kCheckUnchecked;
      if (r->check_state != state) {
        SetRowCheck(index, state);
        if (HWND main = MainWindow())
          SendMessageW(main, kMsgRowCheckToggled, static_cast<WPARAM>(index), static_cast<LPARAM>(ctrl_id_));
      }
      return true;
    }
    default:
      return false;
  }
}

LRESULT CListViewCtrlEx::OnListMessage(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = hwnd_;
  switch (msg) {
    case WM_PAINT:
      if (rows_.empty()) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        PaintEmpty(dc);
        EndPaint(hwnd, &ps);
        return 0;
      }
      break;
    case WM_PRINTCLIENT:
      if (rows_.empty()) {
        PaintEmpty(reinterpret_cast<HDC>(wp));
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      if (rows_.empty()) return 1;  // PaintEmpty fills the background
      break;
    case WM_MOUSEMOVE:
      OnMouseMove(POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      break;
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT) {
        POINT pt{};
        GetCursorPos(&pt);
        ScreenToClient(hwnd, &pt);
        int index = -1;
        if (LinkCellAt(pt, &index) >= 0) {
          SetCursor(LoadCursorW(nullptr, IDC_HAND));
          return TRUE;
        }
      }
      break;
    case WM_SIZE:
      // Card cells measured from the right edge move with the width.
      InvalidateRect(hwnd, nullptr, FALSE);
      break;
    case WM_NOTIFY: {
      const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
      if (!hdr || hdr->hwndFrom != header_.hwnd()) break;
      if (hdr->code == HDN_DIVIDERDBLCLICKW || hdr->code == HDN_DIVIDERDBLCLICKA) {
        const int column = reinterpret_cast<const NMHEADERW*>(lp)->iItem;
        const int width = widest_content(column);
        if (width > 0) SendMessageW(hwnd, LVM_SETCOLUMNWIDTH, column, width);
        return 0;
      }
      if (hdr->code == HDN_ENDTRACKW || hdr->code == HDN_ENDTRACKA || hdr->code == HDN_ENDDRAG) {
        const LRESULT result = DefSubclassProc(hwnd, msg, wp, lp);
        InvalidateRect(hwnd, nullptr, TRUE);
        return result;
      }
      break;
    }
    case WM_NCDESTROY: {
      header_.Detach();
      Unsubclass();
      rows_.clear();
      hovered_ = highlighted_ = -1;
      return DefSubclassProc(hwnd, msg, wp, lp);
    }
    default:
      break;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

bool CListViewCtrlEx::OnParentMessage(UINT msg, WPARAM, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_MEASUREITEM: {
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (!mis || mis->CtlType != ODT_LISTVIEW || static_cast<int>(mis->CtlID) != ctrl_id_) return false;
      mis->itemHeight = static_cast<UINT>(row_height());
      result = TRUE;
      return true;
    }
    case WM_DRAWITEM: {
      const auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (!dis || !hwnd_ || dis->hwndItem != hwnd_) return false;
      DrawItem(*dis);
      result = TRUE;
      return true;
    }
    case WM_NOTIFY: {
      const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
      if (!hdr || !hwnd_ || hdr->hwndFrom != hwnd_) return false;
      if (hdr->code == NM_CLICK || hdr->code == NM_RCLICK) {
        // The position comes from the cursor message, not from the
        // notification's item, which a list in this mode may leave at -1.
        POINT pt = reinterpret_cast<const NMITEMACTIVATE*>(lp)->ptAction;
        if (hdr->code == NM_CLICK)
          OnClick(pt);
        else
          OnRightClick(pt);
      } else if (hdr->code == LVN_COLUMNCLICK) {
        const int column = reinterpret_cast<const NMLISTVIEW*>(lp)->iSubItem;
        if (HWND main = MainWindow())
          SendMessageW(main, kMsgHeaderClick, static_cast<WPARAM>(column), static_cast<LPARAM>(ctrl_id_));
      }
      return false;  // the parent still sees the notification
    }
    default:
      return false;
  }
}

LRESULT CALLBACK CListViewCtrlEx::ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<CListViewCtrlEx*>(ref);
  if (!self || self->hwnd_ != hwnd) return DefSubclassProc(hwnd, msg, wp, lp);
  return self->OnListMessage(msg, wp, lp);
}

LRESULT CALLBACK CListViewCtrlEx::ParentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                             DWORD_PTR ref) {
  auto* self = reinterpret_cast<CListViewCtrlEx*>(ref);
  LRESULT result = 0;
  if (self && self->OnParentMessage(msg, wp, lp, result)) return result;
  return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace salvor::skin
