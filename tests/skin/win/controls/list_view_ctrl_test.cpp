// The owner-drawn list and its header, driven through their windows: row
// heights, hover and click messages, check rows, the context-menu commands,
// the empty-list text and the header's painting and height.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "control_test_host.h"
#include "skin/win/controls/control_messages.h"
#include "skin/win/controls/list_view_ctrl.h"
#include "skin/win/resources.h"

namespace salvor::skin {
namespace {

using test::Click;
using test::MousePoint;
using test::RenderClient;
using test::TestHost;

constexpr int kListId = 2001;

RowRecord FileRow(std::u16string name, std::u16string path, std::uint32_t flags = 0) {
  RowRecord row;
  row.flags = flags;
  row.cells.push_back(Cell{0, std::move(name), RGB(0, 0, 0), {}});
  row.cells.push_back(Cell{0, std::move(path), RGB(0, 0, 0), {}});
  return row;
}

RECT ItemRect(HWND list, int index) {
  RECT rc{};
  rc.left = LVIR_BOUNDS;
  SendMessageW(list, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rc));
  return rc;
}

class ListViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(host_.hwnd(), nullptr);
    ASSERT_TRUE(list_.Create(host_.hwnd(), kListId, RECT{0, 0, 500, 300}));
    list_.InsertColumn(0, u"Name", 150);
    list_.InsertColumn(1, u"Path", 200);
    host_.Drain();
  }

  TestHost host_;
  CListViewCtrlEx list_;
};

TEST_F(ListViewTest, RowsAreEighteenPixelsHighAndTheDriveListsFiftyThree) {
  ASSERT_EQ(list_.AddRow(FileRow(u"a.txt", u"\\a.txt")), 0);
  const RECT rc = ItemRect(list_.hwnd(), 0);
  EXPECT_EQ(rc.bottom - rc.top, 18);

  CListViewCtrlEx drives;
  ASSERT_TRUE(drives.Create(host_.hwnd(), CListViewCtrlEx::kDriveListId, RECT{0, 0, 500, 300}));
  drives.InsertColumn(0, u"Disk", 140);
  RowRecord card;
  card.flags = row_flags::kTitle;
  card.cells.push_back(Cell{0, u"C:", RGB(0, 0, 0), {}});
  ASSERT_EQ(drives.AddRow(card), 0);
  const RECT card_rc = ItemRect(drives.hwnd(), 0);
  EXPECT_EQ(card_rc.bottom - card_rc.top, 53);
}

TEST_F(ListViewTest, HoverIsPostedOncePerRowChange) {
  list_.AddRow(FileRow(u"a", u"\\a"));
  list_.AddRow(FileRow(u"b", u"\\b"));
  const RECT r0 = ItemRect(list_.hwnd(), 0);
  const RECT r1 = ItemRect(list_.hwnd(), 1);

  SendMessageW(list_.hwnd(), WM_MOUSEMOVE, 0, MousePoint(20, r0.top + 3));
  SendMessageW(list_.hwnd(), WM_MOUSEMOVE, 0, MousePoint(60, r0.top + 9));
  host_.Pump();
  auto hovers = host_.Received(kMsgHoverRow);
  ASSERT_EQ(hovers.size(), 1u);
  EXPECT_EQ(hovers[0].wp, 0u);
  EXPECT_EQ(hovers[0].lp, kListId);

  SendMessageW(list_.hwnd(), WM_MOUSEMOVE, 0, MousePoint(20, r1.top + 3));
  host_.Pump();
  hovers = host_.Received(kMsgHoverRow);
  ASSERT_EQ(hovers.size(), 2u);
  EXPECT_EQ(hovers[1].wp, 1u);

  // Below the last row no row is hovered: reported once as -1.
  SendMessageW(list_.hwnd(), WM_MOUSEMOVE, 0, MousePoint(20, r1.bottom + 40));
  SendMessageW(list_.hwnd(), WM_MOUSEMOVE, 0, MousePoint(30, r1.bottom + 50));
  host_.Pump();
  hovers = host_.Received(kMsgHoverRow);
  ASSERT_EQ(hovers.size(), 3u);
  EXPECT_EQ(static_cast<int>(hovers[2].wp), -1);
}

TEST_F(ListViewTest, ClickOnLinkCellPostsRowAndCell) {
  RowRecord row = FileRow(u"a", u"open folder");
  row.cells[1].kind = 1;
  list_.AddRow(FileRow(u"x", u"y"));
  list_.AddRow(row);
  const RECT r1 = ItemRect(list_.hwnd(), 1);

  Click(list_.hwnd(), 200, r1.top + 5);  // inside column 1
  host_.Pump();
  auto links = host_.Received(kMsgLinkClick);
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].wp, 1u);
  EXPECT_EQ(links[0].lp, 1);

  Click(list_.hwnd(), 40, r1.top + 5);  // column 0 is plain text
  host_.Pump();
  EXPECT_EQ(host_.Received(kMsgLinkClick).size(), 1u);
}

TEST_F(ListViewTest, CheckRowsToggleByTheirKindAndTellTheMainWindow) {
  list_.AddRow(FileRow(u"anywhere", u"\\1", row_flags::kCheckAnywhere));
  list_.AddRow(FileRow(u"box only", u"\\2", row_flags::kCheckOnBox));
  list_.AddRow(FileRow(u"plain", u"\\3"));
  EXPECT_EQ(list_.GetRowCheck(0), kCheckUnchecked);
  EXPECT_EQ(list_.GetRowCheck(2), 0);

  const RECT r0 = ItemRect(list_.hwnd(), 0);
  Click(list_.hwnd(), 250, r0.top + 5);
  EXPECT_EQ(list_.GetRowCheck(0), kCheckChecked);
  auto toggles = host_.Received(kMsgRowCheckToggled);
  ASSERT_EQ(toggles.size(), 1u);
  EXPECT_EQ(toggles[0].wp, 0u);

  // A box-only row ignores clicks beside the box and toggles on it.
  const RECT r1 = ItemRect(list_.hwnd(), 1);
  Click(list_.hwnd(), 250, r1.top + 5);
  EXPECT_EQ(list_.GetRowCheck(1), kCheckUnchecked);
  Click(list_.hwnd(), r1.left + 25, r1.top + 8);
  EXPECT_EQ(list_.GetRowCheck(1), kCheckChecked);

  // A plain row has no box to toggle.
  const RECT r2 = ItemRect(list_.hwnd(), 2);
  Click(list_.hwnd(), r2.left + 25, r2.top + 8);
  EXPECT_EQ(host_.Received(kMsgRowCheckToggled).size(), 2u);

  // Clicks outside the rows, or after the rows are gone, do nothing.
  Click(list_.hwnd(), 250, r2.bottom + 60);
  list_.DeleteAllRows();
  Click(list_.hwnd(), 250, r0.top + 5);
  host_.Pump();
  EXPECT_EQ(host_.Received(kMsgRowCheckToggled).size(), 2u);
  EXPECT_EQ(host_.Received(kMsgLinkClick).size(), 0u);
}

TEST_F(ListViewTest, MenuCommandsRecoverAndCheckTheRow) {
  list_.AddRow(FileRow(u"a", u"\\a", row_flags::kCheckAnywhere));
  list_.AddRow(FileRow(u"b", u"\\b", row_flags::kCheckAnywhere));

  EXPECT_TRUE(list_.HandleMenuCommand(1, kCmdRecover));
  auto recover = host_.Received(kMsgRecoverRow);
  ASSERT_EQ(recover.size(), 1u);
  EXPECT_EQ(recover[0].lp, 1);

  EXPECT_TRUE(list_.HandleMenuCommand(0, kCmdCheckRow));
  EXPECT_EQ(list_.GetRowCheck(0), kCheckChecked);
  EXPECT_TRUE(list_.HandleMenuCommand(0, kCmdUncheckRow));
  EXPECT_EQ(list_.GetRowCheck(0), kCheckUnchecked);
  EXPECT_EQ(host_.Received(kMsgRowCheckToggled).size(), 2u);

  EXPECT_FALSE(list_.HandleMenuCommand(7, kCmdRecover));
  EXPECT_FALSE(list_.HandleMenuCommand(0, 12345));
}

TEST_F(ListViewTest, EmptyListShowsOnlyItsTextFiftyPixelsDownCentred) {
  list_.SetEmptyText(u"No files found");
  const test::Picture pic = RenderClient(list_.hwnd());
  ASSERT_GT(pic.width, 0);
  const COLORREF background = pic.at(pic.width - 1, pic.height - 1);
  int ink = 0, min_x = pic.width, max_x = -1, min_y = pic.height, max_y = -1;
  for (int y = 0; y < pic.height; ++y) {
    for (int x = 0; x < pic.width; ++x) {
      if (pic.at(x, y) == background) continue;
      ++ink;
      min_x = std::min(min_x, x);
      max_x = std::max(max_x, x);
      min_y = std::min(min_y, y);
      max_y = std::max(max_y, y);
    }
  }
  ASSERT_GT(ink, 20) << "no text drawn";
  EXPECT_GE(min_y, 50);
  EXPECT_LE(max_y, 50 + 16);
  // Centred by the text's advance width, which may run past its last inked
  // pixel.
  HDC screen = GetDC(nullptr);
  HGDIOBJ old_font = SelectObject(screen, GwFontPool::Instance().Get(0));
  SIZE extent{};
  GetTextExtentPoint32W(screen, L"No files found", 14, &extent);
  SelectObject(screen, old_font);
  ReleaseDC(nullptr, screen);
  const int left = (pic.width - extent.cx) / 2;
  EXPECT_GE(min_x, left);
  EXPECT_LE(min_x, left + 3);
  EXPECT_LE(max_x, left + extent.cx);

  // With a row the text is gone.
  list_.AddRow(FileRow(u"", u""));
  const test::Picture with_row = RenderClient(list_.hwnd());
  for (int x = 0; x < with_row.width; ++x) ASSERT_EQ(with_row.at(x, 55), with_row.at(with_row.width - 1, 55));
}

TEST_F(ListViewTest, PlainRowDrawsHighlightCheckGlyphAndBottomLine) {
  RowRecord row = FileRow(u"a.txt", u"\\a.txt", row_flags::kCheckAnywhere);
  row.background = RGB(0xF0, 0xF0, 0xF0);
  row.line_colour = RGB(0x10, 0x20, 0x30);
  list_.AddRow(row);
  list_.AddRow(FileRow(u"b.txt", u"\\b.txt"));
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED;
  state.state = LVIS_SELECTED;
  SendMessageW(list_.hwnd(), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
  host_.Pump();
  const RECT r0 = ItemRect(list_.hwnd(), 0);
  const RECT r1 = ItemRect(list_.hwnd(), 1);

  const test::Picture pic = RenderClient(list_.hwnd());
  EXPECT_EQ(pic.at(300, r0.top + 2), RGB(0xF0, 0xF0, 0xF0));
  EXPECT_EQ(pic.at(300, r0.bottom - 1), RGB(0x10, 0x20, 0x30));
  EXPECT_EQ(pic.at(300, r1.top + 2), CListViewCtrlEx::kHighlightColour);
  // The check box's border inside x 18..34 of the first row.
  bool border = false;
  for (int x = r0.left + 18; x < r0.left + 34; ++x) border = border || pic.at(x, r0.top + 2) == RGB(0x33, 0x33, 0x33);
  EXPECT_TRUE(border);

  // Checked, the box holds a dark tick; unchecked it is empty inside.
  auto marks = [&](const test::Picture& p) {
    int n = 0;
    for (int y = r0.top + 3; y < r0.top + 14; ++y)
      for (int x = r0.left + 21; x < r0.left + 31; ++x) n += p.at(x, y) == RGB(0x21, 0x21, 0x21);
    return n;
  };
  EXPECT_EQ(marks(pic), 0);
  list_.SetRowCheck(0, kCheckChecked);
  EXPECT_GT(marks(RenderClient(list_.hwnd())), 5);
}

TEST_F(ListViewTest, DividerDoubleClickTakesTheWidestContent) {
  list_.AddRow(FileRow(u"a rather long file name for the first column.txt", u"x"));
  RenderClient(list_.hwnd());  // drawing records the widths
  const int widest = list_.widest_content(0);
  ASSERT_GT(widest, 150);

  NMHEADERW nm{};
  nm.hdr.hwndFrom = list_.header().hwnd();
  nm.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list_.header().hwnd()));
  nm.hdr.code = HDN_DIVIDERDBLCLICKW;
  nm.iItem = 0;
  SendMessageW(list_.hwnd(), WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
  EXPECT_EQ(SendMessageW(list_.hwnd(), LVM_GETCOLUMNWIDTH, 0, 0), widest);
}

TEST_F(ListViewTest, HeaderPaintsBackgroundAndSeparatorSlices) {
  HWND header = list_.header().hwnd();
  ASSERT_NE(header, nullptr);
  const test::Picture pic = RenderClient(header);
  ASSERT_GT(pic.height, 5);
  const COLORREF background = RGB(0x20, 0x80, 0xC0);
  const COLORREF separator = RGB(0xC0, 0x30, 0x30);
  EXPECT_EQ(pic.at(100, 2), background);
  EXPECT_EQ(pic.at(400, pic.height - 2), background);  // past the last column
  // Column 0 spans 0..150: its separator covers x 147..149.
  EXPECT_EQ(pic.at(148, pic.height / 2), separator);
  EXPECT_EQ(pic.at(146, 1), background);
  EXPECT_EQ(pic.at(348, 1), separator);
  // Title text in black somewhere in column 0.
  bool black = false;
  for (int x = 0; x < 140 && !black; ++x)
    for (int y = 0; y < pic.height && !black; ++y) black = pic.at(x, y) == RGB(0, 0, 0);
  EXPECT_TRUE(black);
}

TEST_F(ListViewTest, HeaderHeightOverrideMovesTheRows) {
  list_.AddRow(FileRow(u"a", u"b"));
  list_.header().SetHeaderHeight(31);
  RECT hr{};
  GetClientRect(list_.header().hwnd(), &hr);
  EXPECT_EQ(hr.bottom, 31);
  EXPECT_EQ(ItemRect(list_.hwnd(), 0).top, 31);

  list_.header().SetHeaderHeight(-1);
  GetClientRect(list_.header().hwnd(), &hr);
  EXPECT_NE(hr.bottom, 31);
  EXPECT_GT(hr.bottom, 0);
}

TEST_F(ListViewTest, TitleRowExpandsOnClickAndDrawsItsCellsInPlace) {
  RowRecord card;
  card.flags = row_flags::kTitle | row_flags::kExpandable;
  card.background = RGB(0xFA, 0xFA, 0xFA);
  card.x_offset = 60;
  card.y_offset = -1;
  card.cells.push_back(Cell{0, u"Local Disk (C:)", RGB(0, 0, 0), {}});
  card.cells.push_back(Cell{0, u"NTFS", RGB(0xC0, 0, 0), RECT{-80, 2, -4, 16}});
  list_.AddRow(card);
  const RECT r0 = ItemRect(list_.hwnd(), 0);

  Click(list_.hwnd(), 100, r0.top + 5);
  EXPECT_TRUE(list_.row(0)->expanded);
  EXPECT_EQ(host_.Received(kMsgRowCheckToggled).size(), 0u);

  // The second cell is right-aligned to the card: its red text lies within
  // the card's last 80 pixels (the card is the row, at most the window
  // width less 20).
  const test::Picture pic = RenderClient(list_.hwnd());
  RECT client{};
  GetClientRect(list_.hwnd(), &client);
  const int card_width = std::min<int>(r0.right - r0.left, client.right - 20);
  int red_min = pic.width, red_max = -1;
  for (int y = r0.top; y < r0.top + 16; ++y)
    for (int x = 0; x < pic.width; ++x) {
      const COLORREF c = pic.at(x, y);
      if (GetRValue(c) > 0x80 && GetGValue(c) < 0x60 && GetBValue(c) < 0x60) {
        red_min = std::min(red_min, x);
        red_max = std::max(red_max, x);
      }
    }
  ASSERT_GE(red_max, 0);
  EXPECT_GE(red_min, r0.left + card_width - 80);
  EXPECT_LT(red_max, r0.left + card_width - 4);
}

// A 16 x 16 PNG of solid red (0xE0, 0x10, 0x10).
constexpr unsigned char kRedPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00,
    0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0xF3, 0xFF, 0x61, 0x00,
    0x00, 0x00, 0x19, 0x49, 0x44, 0x41, 0x54, 0x78, 0xDA, 0x63, 0x78, 0x20, 0x20, 0xF0, 0x9F, 0x12, 0xCC,
    0x30, 0x6A, 0xC0, 0xA8, 0x01, 0xA3, 0x06, 0x0C, 0x17, 0x03, 0x00, 0x0A, 0x62, 0xFF, 0x10, 0xC7, 0x29,
    0xCF, 0xE9, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

int RedPixels(const test::Picture& pic, int left, int top, int right, int bottom) {
  int n = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) n += pic.at(x, y) == RGB(0xE0, 0x10, 0x10);
  return n;
}

TEST_F(ListViewTest, RowIconsComeFromBesideTheProgramAndMissingOnesAreSkipped) {
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  const std::wstring dir = std::wstring(base) + L"salvor_icons_" + std::to_wstring(GetCurrentProcessId());
  const std::wstring img = dir + L"\\img";
  CreateDirectoryW(dir.c_str(), nullptr);
  CreateDirectoryW(img.c_str(), nullptr);
  const std::wstring png = img + L"\\exist.png";
  HANDLE h = CreateFileW(png.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(h, kRedPng, sizeof(kRedPng), &written, nullptr);
  CloseHandle(h);

  const std::u16string dir16(dir.begin(), dir.end());
  EXPECT_EQ(list_.LoadIcons(dir16), 1);  // the other four are missing
  RowRecord file = FileRow(u"exist.txt", u"\\");
  file.icon = RowIcon::kExistingFile;
  RowRecord folder = FileRow(u"gone", u"\\");
  folder.icon = RowIcon::kDeletedFolder;
  list_.AddRow(file);
  list_.AddRow(folder);
  const RECT r0 = ItemRect(list_.hwnd(), 0);
  const RECT r1 = ItemRect(list_.hwnd(), 1);
  test::Picture pic = RenderClient(list_.hwnd());
  EXPECT_GT(RedPixels(pic, r0.left, r0.top, r0.left + 35, r0.bottom), 100);
  EXPECT_EQ(RedPixels(pic, r1.left, r1.top, r1.right, r1.bottom), 0);

  DeleteFileW(png.c_str());
  RemoveDirectoryW(img.c_str());
  RemoveDirectoryW(dir.c_str());
  EXPECT_EQ(list_.LoadIcons(dir16), 0);
  pic = RenderClient(list_.hwnd());
  EXPECT_EQ(RedPixels(pic, r0.left, r0.top, r0.right, r0.bottom), 0);
}

// The gallery and the application create their lists themselves and hand
// them over: the list still gets owner-drawn rows of the right height.
TEST(ListViewAttachTest, TakesOverAPlainReportList) {
  TestHost host;
  HWND plain = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 400, 200,
                               host.hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)),
                               GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(plain, nullptr);
  LVCOLUMNW col{};
  col.mask = LVCF_WIDTH;
  col.cx = 200;
  SendMessageW(plain, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&col));
  LVITEMW old_item{};
  old_item.mask = LVIF_TEXT;
  old_item.pszText = const_cast<wchar_t*>(L"made before");
  ASSERT_EQ(SendMessageW(plain, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&old_item)), 0);

  CListViewCtrlEx list;
  ASSERT_TRUE(list.Attach(plain));
  EXPECT_TRUE(GetWindowLongPtrW(plain, GWL_STYLE) & LVS_OWNERDRAWFIXED);
  RowRecord row = FileRow(u"a", u"b", row_flags::kCheckAnywhere);
  row.background = RGB(0x12, 0x34, 0x56);
  ASSERT_EQ(list.AddRow(row), 1);  // after the item it found
  RECT rc = ItemRect(plain, 1);
  EXPECT_EQ(rc.bottom - rc.top, CListViewCtrlEx::kRowHeight);
  EXPECT_EQ(RenderClient(plain).at(150, rc.top + 2), RGB(0x12, 0x34, 0x56));

  // The item without a record ignores clicks; the new row answers.
  host.Drain();
  Click(plain, 150, ItemRect(plain, 0).top + 5);
  EXPECT_EQ(list.GetRowCheck(0), 0);
  EXPECT_TRUE(host.Received(kMsgRowCheckToggled).empty());
  Click(plain, 150, rc.top + 5);
  EXPECT_EQ(list.GetRowCheck(1), kCheckChecked);

  list.SetRowHeight(25);
  rc = ItemRect(plain, 1);
  EXPECT_EQ(rc.bottom - rc.top, 25);
  DestroyWindow(plain);
  EXPECT_EQ(list.hwnd(), nullptr);
}

}  // namespace
}  // namespace salvor::skin
