// CListViewCtrlEx: the native list view in report mode with owner-drawn
// fixed-height rows and a skinned header. Every native item has a row record
// here (same index) that says how it is drawn: plain rows with text and link
// cells, rows with a check box, and title rows drawn as small cards (the
// drive list). The list tells the application about hovered rows, link
// clicks, check-box toggles and the context menu's "recover" command.
//
// Item drawing, row measuring and click notifications reach the list's
// parent window; the list subclasses its parent (as well as itself) to take
// those messages for its own control id, so the parent needs no code.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "skin/win/controls/header_ctrl.h"

namespace Gdiplus {
class Image;
}

namespace salvor::skin {

// Row flag bits.
namespace row_flags {
inline constexpr std::uint32_t kTitle = 1u << 0;          // drawn as a card
inline constexpr std::uint32_t kCheckOnBox = 1u << 1;     // toggles on the box only
inline constexpr std::uint32_t kCheckAnywhere = 1u << 2;  // toggles on any click
inline constexpr std::uint32_t kExpandable = 1u << 3;     // title row with +/- box
inline constexpr std::uint32_t kCheckRow = kCheckOnBox | kCheckAnywhere;
}  // namespace row_flags

// Which of the icons beside the program a row shows.
enum class RowIcon : int {
  kNone = -1,
  kDisk = 0,            // img\disk.png, on drive cards
  kDeletedFolder = 1,   // img\deleteFolder.png
  kExistingFolder = 2,  // img\existFolder.png
  kDeletedFile = 3,     // img\delete.png
  kExistingFile = 4,    // img\exist.png
};

struct Cell {
  int kind = 0;  // 1 link, 0 plain text
  std::u16string text;
  COLORREF colour = RGB(0, 0, 0);
  // Title rows only: where the cell goes, relative to the row (cell 0 uses
  // the whole row instead). A negative left or right counts back from the
  // card's width.
  RECT rect{};
};

struct RowRecord {
  std::uint32_t flags = 0;  // row_flags
  COLORREF background = RGB(255, 255, 255);
  COLORREF line_colour = RGB(0xEE, 0xEE, 0xEE);
  std::vector<Cell> cells;
  int check_state = 1;  // check rows: 1 unchecked, 2 checked
  RowIcon icon = RowIcon::kNone;
  // Title rows: offset of cell 0 (a negative y offset centres it vertically
  // with a 2-pixel inset instead), font size increase and bold for cell 0,
  // and whether an expandable row is expanded.
  int x_offset = 0;
  int y_offset = 0;
  int size_increase = 0;
  bool bold = false;
  bool expanded = false;
};

// The card of one drive in the drive list: its name large and bold beside
// the disk icon, capacity, free space and format in their columns.
RowRecord DriveCardRow(std::u16string name, std::u16string capacity, std::u16string free_space,
                       std::u16string format);

class CListViewCtrlEx {
 public:
  static constexpr int kDriveListId = 2000;
  static constexpr int kDriveRowHeight = 53;
  static constexpr int kRowHeight = 18;
  static constexpr COLORREF kHighlightColour = 0xFFDBB9;
  static constexpr COLORREF kLinkColour = 0xA56428;
  static constexpr COLORREF kPlainColour = 0x666666;
  static constexpr COLORREF kAlertColour = 0x0000EE;
  static constexpr int kEmptyTextTop = 50;

  CListViewCtrlEx();
  ~CListViewCtrlEx();
  CListViewCtrlEx(const CListViewCtrlEx&) = delete;
  CListViewCtrlEx& operator=(const CListViewCtrlEx&) = delete;

  // Creates a report-mode list (owner-drawn fixed rows, selection always
  // shown, single selection) and subclasses it, its header and its parent.
  bool Create(HWND parent, int ctrl_id, const RECT& rect, DWORD extra_style = 0);
  // Takes over an existing list view: adds the styles above and subclasses.
  bool Attach(HWND existing);
  HWND hwnd() const { return hwnd_; }
  CHeaderCtrlEx& header() { return header_; }

  int InsertColumn(int index, std::u16string_view title, int width, int format = LVCFMT_LEFT);
  // Appends a row; returns its index or -1.
  int AddRow(RowRecord row);
  void DeleteAllRows();
  int row_count() const { return static_cast<int>(rows_.size()); }
  // Null for an index without a record.
  RowRecord* row(int index);

  void SetEmptyText(std::u16string text, std::uint16_t font_code = 0);
  // Check state of a check row (1 or 2); 0 for a row without a check box.
  int GetRowCheck(int row) const;
  void SetRowCheck(int row, int state);

  // Where 2001 and 2002 go (the parent unless set) and where 6390 and 11111
  // go (the top-level window unless set).
  void SetMessageWindow(HWND window) { message_window_ = window; }
  void SetMainWindow(HWND window) { main_window_ = window; }
  // Mode 1 and 3 draw check-row texts red.
  void SetMode(int mode);
  int mode() const { return mode_; }
  void SetRecoverMenuText(std::u16string text) { recover_text_ = std::move(text); }
  // The context menu's entries (command, text), in order, instead of the
  // single "recover" entry; an empty list restores that entry.
  struct MenuEntry {
    UINT command;
    std::u16string text;
  };
  void SetMenuEntries(std::vector<MenuEntry> entries) { menu_entries_ = std::move(entries); }
  // Rows are 53 pixels high in the drive list, 18 elsewhere; this overrides.
  void SetRowHeight(int height);
  int row_height() const;

  // Loads the five row icons from "<directory>\img\" (the constructor uses
  // the program's folder); a missing or unreadable file leaves its icon
  // undrawn. Returns how many loaded.
  int LoadIcons(std::u16string_view directory);

  // What a context-menu command does to `row` (also usable by an owner that
  // routes menu commands itself). False for an unknown command or row.
  bool HandleMenuCommand(int row, UINT command);
  // Widest text drawn in a column so far plus its margins (0 if none).
  int widest_content(int column) const;
  // Row under a client point, or -1.
  int RowAt(POINT client) const;

 private:
  static LRESULT CALLBACK ListProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  static LRESULT CALLBACK ParentProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  LRESULT OnListMessage(UINT msg, WPARAM wp, LPARAM lp);
  bool OnParentMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  bool Subclass();
  void Unsubclass();
  void ApplyRowHeight();
  void DrawItem(const DRAWITEMSTRUCT& dis);
  void DrawPlainRow(HDC dc, int index, const RowRecord& row, RECT rc);
  void DrawTitleRow(HDC dc, const RowRecord& row, RECT rc);
  void DrawIcon(HDC dc, RowIcon icon, int x, int y, int size);
  void PaintEmpty(HDC dc);
  void OnClick(POINT client);
  void OnRightClick(POINT client);
  void OnMouseMove(POINT client);
  int LinkCellAt(POINT client, int* row_out) const;
  void InvalidateRow(int row);
  HWND MessageWindow() const;
  HWND MainWindow() const;
  int ColumnCount() const;
  HFONT Font(std::uint16_t code) const;

  HWND hwnd_ = nullptr;
  HWND parent_ = nullptr;
  int ctrl_id_ = 0;
  CHeaderCtrlEx header_;
  std::vector<std::unique_ptr<RowRecord>> rows_;
  std::vector<std::unique_ptr<Gdiplus::Image>> icons_;  // by RowIcon
  std::vector<int> widest_;
  int hovered_ = -1;
  int highlighted_ = -1;
  HWND message_window_ = nullptr;
  HWND main_window_ = nullptr;
  int mode_ = 0;
  int row_height_override_ = -1;
  std::u16string empty_text_;
  std::uint16_t empty_font_ = 0;
  std::u16string recover_text_ = u"&Recover This One";
  std::vector<MenuEntry> menu_entries_;
};

}  // namespace salvor::skin
