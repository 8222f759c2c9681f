// A skinned dialog built from a test layout, driven through its view window
// with mouse messages: clicks and their notifications, window moves from the
// header, hidden elements, run-time item changes, tabs, real controls,
// layout positions in a real window and the rendered pixels.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "skin/win/dialog.h"
#include "skin/win/resources.h"

namespace salvor::skin {
namespace {

constexpr int kControlId = 500;

struct Note {
  UINT code = 0;
  int id = 0;
  std::string tag;
  int new_index = -1;
  int old_index = -1;
  RECT rect{};
};

class TestDialog : public CGwDialogImpl<TestDialog> {
 public:
  using CGwDialogImpl::CGwDialogImpl;

  std::vector<Note> notes;
  std::vector<std::string> links;
  int moves = 0;
  bool cancel_tabs = false;
  bool end_at_once = false;
  HWND control = nullptr;
  HWND page_control = nullptr;
  HWND owner = nullptr;
  bool owner_enabled_in_loop = true;
  std::vector<int> commands;          // WM_COMMAND ids that reached the dialog
  std::vector<UINT> control_notes;    // WM_NOTIFY codes of real controls

  std::vector<Note> of(UINT code) const {
    std::vector<Note> v;
    for (const Note& n : notes)
      if (n.code == code) v.push_back(n);
    return v;
  }

 protected:
  BOOL OnInitDialog() override {
    view()->window_move_hook = [this] { ++moves; };
    view()->open_link_hook = [this](const std::string& href) { links.push_back(href); };
    control = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 5, 5, view()->hwnd(),
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlId)),
                              GetModuleHandleW(nullptr), nullptr);
    page_control = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 5, 5, view()->hwnd(),
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlId + 1)),
                                   GetModuleHandleW(nullptr), nullptr);
    if (end_at_once) PostMessageW(hwnd(), WM_APP, 7, 0);
    return TRUE;
  }
  void OnGwNotify(const GwNotifyHeader& n) override {
    Note note;
    note.code = n.code;
    if (n.code == gwn::kClick) {
      const auto& c = reinterpret_cast<const GwNotifyClick&>(n);
      note.id = c.id;
      note.tag = c.tag != nullptr ? c.tag : "(null)";
    } else if (n.code == gwn::kRealWndMoved) {
      const auto& m = reinterpret_cast<const GwNotifyRealWnd&>(n);
      note.id = m.id;
      note.rect = m.rect;
    } else if (n.code == gwn::kTabChanging) {
      auto& t = const_cast<GwNotifyTabChanging&>(reinterpret_cast<const GwNotifyTabChanging&>(n));
      note.id = t.tabctrl_id;
      note.new_index = t.new_index;
      note.old_index = t.old_index;
      if (cancel_tabs) t.cancel = TRUE;
    }
    notes.push_back(note);
  }
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override {
    if (msg == WM_COMMAND) commands.push_back(LOWORD(wp));
    if (msg == WM_NOTIFY) control_notes.push_back(reinterpret_cast<const NMHDR*>(lp)->code);
    if (msg != WM_APP) return false;
    owner_enabled_in_loop = owner != nullptr && IsWindowEnabled(owner);
    EndDialog(static_cast<INT_PTR>(wp));
    result = 0;
    return true;
  }
};

class SkinTables : public testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(LoadSkins(), 1);
    ASSERT_EQ(LoadStyles(), 1);
    ASSERT_EQ(LoadStrings(), 1);
  }
};
const auto* const kTables = testing::AddGlobalTestEnvironment(new SkinTables);

class DialogView : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(dlg.Create(nullptr), nullptr);
    view = dlg.view()->hwnd();
    ASSERT_NE(view, nullptr);
  }
  CGwWindow& item(int id) {
    CGwWindow* e = dlg.FindItem(id);
    EXPECT_NE(e, nullptr) << id;
    return *e;
  }
  Rect rect(int id) { return item(id).rect; }
  POINT centre(int id) {
    const Rect r = rect(id);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  void send(UINT msg, int x, int y) { SendMessageW(view, msg, 0, MAKELPARAM(x, y)); }
  void press(POINT p) {
    send(WM_MOUSEMOVE, p.x, p.y);
    send(WM_LBUTTONDOWN, p.x, p.y);
  }
  void release(POINT p) {
    send(WM_MOUSEMOVE, p.x, p.y);
    send(WM_LBUTTONUP, p.x, p.y);
  }
  void click(POINT p) {
    press(p);
    release(p);
  }
  CGwWindow* hit(POINT p) { return dlg.view()->router()->hit_test(p.x, p.y); }
  COLORREF pixel(int x, int y) {
    dlg.view()->RenderNow();
    return GetPixel(dlg.view()->surface_dc(), x, y);
  }
  int pixels_not(const Rect& r, COLORREF background) {
    dlg.view()->RenderNow();
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (GetPixel(dlg.view()->surface_dc(), x, y) != background) ++n;
    return n;
  }
  std::vector<std::pair<int, std::string>> clicks() const {
    std::vector<std::pair<int, std::string>> v;
    for (const Note& n : dlg.of(gwn::kClick)) v.emplace_back(n.id, n.tag);
    return v;
  }

  TestDialog dlg{200};
  HWND view = nullptr;
};

using Clicks = std::vector<std::pair<int, std::string>>;

TEST_F(DialogView, ClicksReportTheElementThatWasPressedAndReleased) {
  click(centre(11));  // the text inside a dlg with onlydrawchild
  click(centre(20));
  press(centre(20));  // pressed on one button, released on another
  release(centre(21));
  EXPECT_EQ(clicks(), (Clicks{{10, "dlg"}, {20, "button"}}));
  EXPECT_EQ(item(20).state & state::kPushed, 0u);

  dlg.EnableItem(20, false);
  click(centre(20));
  dlg.EnableItem(20, true);
  click(centre(96));  // a link with a target opens it instead
  EXPECT_EQ(clicks().size(), 2u);
  EXPECT_EQ(dlg.links, (std::vector<std::string>{"http://example.invalid/"}));

  // The application may simulate a click itself.
  GwNotifyClick simulated{};
  simulated.hdr = NMHDR{view, static_cast<UINT_PTR>(kGwViewId), gwn::kClick};
  simulated.id = 5;
  simulated.tag = "";
  SendMessageW(dlg.hwnd(), WM_NOTIFY, kGwViewId, reinterpret_cast<LPARAM>(&simulated));
  EXPECT_EQ(clicks().back(), (std::pair<int, std::string>{5, ""}));

  // What real controls send to the view reaches the dialog as it was.
  SendMessageW(view, WM_COMMAND, MAKEWPARAM(kControlId, STN_CLICKED),
               reinterpret_cast<LPARAM>(dlg.control));
  NMHDR from_control{dlg.control, static_cast<UINT_PTR>(kControlId), static_cast<UINT>(NM_CLICK)};
  SendMessageW(view, WM_NOTIFY, kControlId, reinterpret_cast<LPARAM>(&from_control));
  EXPECT_EQ(dlg.commands, (std::vector<int>{kControlId}));
  EXPECT_EQ(dlg.control_notes, (std::vector<UINT>{static_cast<UINT>(NM_CLICK)}));
  EXPECT_EQ(clicks().size(), 3u);
}

TEST_F(DialogView, HeaderBackgroundMovesTheWindowButItsButtonsClick) {
  press({300, 15});
  release({300, 15});
  EXPECT_EQ(dlg.moves, 1);
  click(centre(1));  // a text in the header moves too
  EXPECT_EQ(dlg.moves, 2);
  click(centre(2));
  EXPECT_EQ(dlg.moves, 2);
  EXPECT_EQ(clicks(), (Clicks{{2, "imgbtn"}}));

  // A double click on the header of a resizable layer toggles maximised,
  // and a maximised window is not moved.
  send(WM_LBUTTONDBLCLK, 300, 15);
  EXPECT_TRUE(IsZoomed(dlg.hwnd()));
  press({300, 15});
  release({300, 15});
  EXPECT_EQ(dlg.moves, 2);
  send(WM_LBUTTONDBLCLK, 300, 15);
  EXPECT_FALSE(IsZoomed(dlg.hwnd()));
}

TEST_F(DialogView, HiddenElementsAreNotHitNorRepaintedUntilShown) {
  const POINT inner = centre(31);
  EXPECT_NE(hit(inner), &item(31));
  dlg.view()->RenderNow();
  ASSERT_FALSE(dlg.view()->dirty());
  EXPECT_EQ(dlg.SetItemText(31, u"Still hidden"), 1);
  EXPECT_FALSE(dlg.view()->dirty());  // no repaint for an element of a hidden panel
  click(inner);
  EXPECT_TRUE(clicks().empty());

  // "show"="0" in the layout; shown through item access it takes part.
  EXPECT_TRUE(item(40).is_hidden());
  EXPECT_EQ(dlg.ShowItem(40, true), 1);
  EXPECT_TRUE(dlg.view()->dirty());
  EXPECT_EQ(item(40).text, u"Later");
  EXPECT_EQ(hit(centre(40)), &item(40));
  EXPECT_EQ(dlg.ShowItem(30, true), 1);
  EXPECT_EQ(hit(inner), &item(31));
  click(inner);
  EXPECT_EQ(clicks(), (Clicks{{31, "button"}}));
  EXPECT_EQ(dlg.ShowItem(12345, true), 0);
}

TEST_F(DialogView, PositionsInARealWindow) {
  RECT client{};
  GetClientRect(dlg.hwnd(), &client);
  EXPECT_EQ(client.right, 600);
  EXPECT_EQ(client.bottom, 500);
  EXPECT_EQ(rect(100), (Rect{0, 480, 600, 500}));  // "0,0,-0,-0" in the footer
  EXPECT_EQ(rect(51).left, 600 - 102);             // "-102,0"
  EXPECT_EQ(rect(51).top, 30);
  EXPECT_GT(rect(51).width(), 0);
  EXPECT_EQ(rect(52).left, 300 - 220);  // "|-220,|-190" in the body 30..480
  EXPECT_EQ(rect(52).top, 30 + 225 - 190);
  // Flowed text sits side by side inside its panel.
  EXPECT_EQ(rect(99).left, rect(98).right);
  EXPECT_EQ(rect(99).top, rect(98).top);

  // The real control follows its realwnd element and the owner hears of it.
  RECT placed{};
  GetWindowRect(dlg.control, &placed);
  MapWindowPoints(nullptr, view, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ((Rect{placed.left, placed.top, placed.right, placed.bottom}), (Rect{10, 170, 100, 230}));
  const Note* moved = nullptr;
  for (const Note& n : dlg.notes)
    if (n.code == gwn::kRealWndMoved && n.id == 70) moved = &n;
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(moved->rect.top, 170);

  // A run-time "pos" moves the element at once; hiding the realwnd hides
  // its control.
  EXPECT_EQ(dlg.SetItemAttribute(41, "pos", "10,10"), 1);
  EXPECT_EQ(rect(41).left, 10);
  EXPECT_EQ(rect(41).top, 40);
  EXPECT_LT(rect(41).width(), 190);  // now sized by its text
  EXPECT_EQ(dlg.SetItemAttribute(41, "valign", "sideways"), 0);
  EXPECT_EQ(dlg.SetItemAttribute(4242, "pos", "1,1"), 0);
  EXPECT_EQ(dlg.SetItemAttribute(70, "pos", "20,150,120,220"), 1);
  GetWindowRect(dlg.control, &placed);
  MapWindowPoints(nullptr, view, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, 20);
  EXPECT_EQ(placed.top, 180);
  dlg.ShowItem(70, false);
  EXPECT_FALSE(IsWindowVisible(dlg.control));
  dlg.ShowItem(70, true);
  EXPECT_TRUE(IsWindowVisible(dlg.control));

  // A control inside a panel hidden by the layout appears with the panel.
  EXPECT_FALSE(IsWindowVisible(dlg.page_control));
  dlg.ShowItem(110, true);
  EXPECT_TRUE(IsWindowVisible(dlg.page_control));
  GetWindowRect(dlg.page_control, &placed);
  MapWindowPoints(nullptr, view, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ((Rect{placed.left, placed.top, placed.right, placed.bottom}), (Rect{305, 415, 585, 465}));
  dlg.ShowItem(110, false);
  EXPECT_FALSE(IsWindowVisible(dlg.page_control));

  // Resizing the window lays the parts out again.
  RECT frame{};
  GetWindowRect(dlg.hwnd(), &frame);
  SetWindowPos(dlg.hwnd(), nullptr, 0, 0, frame.right - frame.left + 100, frame.bottom - frame.top + 50,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(rect(51).left, 700 - 102);
  EXPECT_EQ(rect(100), (Rect{0, 530, 700, 550}));
  EXPECT_EQ(pixel(690, 540), RGB(255, 0, 0));  // the new bitmap covers the new area
}

TEST_F(DialogView, MouseEnterLeaveHoverAndTooltip) {
  send(WM_MOUSEMOVE, 300, 200);
  send(WM_MOUSEMOVE, 301, 200);
  EXPECT_EQ(dlg.of(gwn::kMouseEntered).size(), 1u);
  send(WM_MOUSEMOVE, centre(43).x, centre(43).y);
  EXPECT_NE(item(43).state & state::kHover, 0u);
  EXPECT_EQ(pixel(rect(43).left + 2, rect(43).top + 2), RGB(0, 255, 255));  // "crbghover"
  send(WM_MOUSEMOVE, centre(41).x, centre(41).y);
  EXPECT_EQ(item(43).state & state::kHover, 0u);
  EXPECT_EQ(dlg.view()->tooltip_text(), u"Red tip");
  SendMessageW(view, WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(dlg.of(gwn::kMouseLeft).size(), 1u);
  EXPECT_EQ(item(41).state & state::kHover, 0u);
  send(WM_MOUSEMOVE, 300, 200);
  EXPECT_EQ(dlg.of(gwn::kMouseEntered).size(), 2u);
}

TEST_F(DialogView, TabsAskTheOwnerBeforeChangingPage) {
  EXPECT_FALSE(item(61).is_hidden());
  EXPECT_TRUE(item(63).is_hidden());
  const Rect header = item(60).tab_header_rect(1);
  click({header.left + 5, header.top + 5});
  ASSERT_EQ(dlg.of(gwn::kTabChanging).size(), 1u);
  const Note n = dlg.of(gwn::kTabChanging)[0];
  EXPECT_EQ(n.id, 60);
  EXPECT_EQ(n.new_index, 1);
  EXPECT_EQ(n.old_index, 0);
  EXPECT_TRUE(item(61).is_hidden());
  EXPECT_FALSE(item(63).is_hidden());
  EXPECT_EQ(hit(centre(64)), &item(64));

  dlg.cancel_tabs = true;
  EXPECT_EQ(dlg.SelectTab(60, 0), 0);
  EXPECT_EQ(dlg.of(gwn::kTabChanging).size(), 2u);
  EXPECT_FALSE(item(63).is_hidden());
  dlg.cancel_tabs = false;
  EXPECT_EQ(dlg.SelectTab(60, 2), 0);  // no such page: the owner isn't asked
  EXPECT_EQ(dlg.of(gwn::kTabChanging).size(), 2u);
  EXPECT_EQ(dlg.SelectTab(60, 0), 1);
  EXPECT_FALSE(item(61).is_hidden());
  EXPECT_EQ(dlg.SelectTab(20, 0), 0);  // not a tab control
}

TEST_F(DialogView, ItemAccessTextChecksAndRichText) {
  EXPECT_EQ(dlg.GetItemText(20), u"OK");
  EXPECT_EQ(dlg.SetItemText(42, u"Longer text than before"), 1);
  EXPECT_EQ(dlg.GetItemText(42), u"Longer text than before");
  EXPECT_EQ(dlg.SetItemText(4242, u"x"), 0);
  EXPECT_EQ(dlg.GetItemText(4242), u"");

  click(centre(90));
  EXPECT_TRUE(dlg.GetItemCheck(90));
  click(centre(90));
  EXPECT_FALSE(dlg.GetItemCheck(90));
  dlg.SetItemCheck(91, true);
  click(centre(92));
  EXPECT_FALSE(dlg.GetItemCheck(91));
  EXPECT_TRUE(dlg.GetItemCheck(92));
  dlg.SetItemCheck(91, true);  // one checked radio per group
  EXPECT_FALSE(dlg.GetItemCheck(92));

  // The link of the rich text is clickable by its own id.
  CGwWindow& rich = item(80);
  ASSERT_EQ(rich.children().size(), 1u);
  const Rect link = rich.children()[0]->rect;
  click({link.left + 2, (link.top + link.bottom) / 2});
  EXPECT_EQ(clicks().back(), (std::pair<int, std::string>{81, "link"}));
  EXPECT_EQ(dlg.SetRichText(80, u"<b>New</b><a id=\"82\">one</a><br/>two"), 1);
  ASSERT_EQ(rich.children().size(), 1u);
  EXPECT_EQ(rich.children()[0]->id, 82);
  ASSERT_EQ(rich.rich_pieces.size(), 3u);
  EXPECT_EQ(rich.rich_pieces[2].rect.left, rich.rect.left);
  EXPECT_GT(rich.rich_pieces[2].rect.top, rich.rich_pieces[0].rect.top);
  EXPECT_EQ(dlg.SetRichText(80, u"a</b>"), 0);
  EXPECT_EQ(rich.children()[0]->id, 82);  // the old content stays
  EXPECT_EQ(dlg.SetRichText(20, u"text"), 0);  // not rich text
}

// SALVOR_VIEW_SHOT=file.bmp keeps a picture of the rendered view for a
// person to look at.
void save_shot(CGwDialogView& view) {
  const char* path = std::getenv("SALVOR_VIEW_SHOT");
  if (path == nullptr || *path == 0) return;
  view.RenderNow();
  RECT client{};
  GetClientRect(view.hwnd(), &client);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), client.right, client.bottom, 1, 24, BI_RGB};
  const int stride = (client.right * 3 + 3) & ~3;
  std::vector<char> pixels(static_cast<std::size_t>(stride) * client.bottom);
  HBITMAP bitmap = static_cast<HBITMAP>(GetCurrentObject(view.surface_dc(), OBJ_BITMAP));
  GetDIBits(view.surface_dc(), bitmap, 0, client.bottom, pixels.data(), &info, DIB_RGB_COLORS);
  BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(54 + pixels.size()), 0, 0, 54};
  if (FILE* f = std::fopen(path, "wb")) {
    std::fwrite(&file, sizeof(file), 1, f);
    std::fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, f);
    std::fwrite(pixels.data(), 1, pixels.size(), f);
    std::fclose(f);
  }
}

TEST_F(DialogView, RenderedPixels) {
  save_shot(*dlg.view());
  const Rect red = rect(41);
  EXPECT_EQ(pixel(red.right - 3, red.top + 2), RGB(255, 0, 0));
  EXPECT_EQ(pixel(300, 3), RGB(0x20, 0x30, 0x40));  // header colour
  EXPECT_GT(pixels_not(rect(42), RGB(255, 255, 255)), 20);  // its text
  EXPECT_GT(pixels_not(rect(90), RGB(255, 255, 255)), 20);  // box and text
  // Image sub-images: the imgbtn follows its state, the img its "sub".
  const Rect btn = rect(2);
  EXPECT_EQ(btn.width(), 10);
  EXPECT_EQ(pixel(btn.left + 5, btn.top + 5), RGB(0x20, 0x80, 0x20));
  send(WM_MOUSEMOVE, btn.left + 5, btn.top + 5);
  EXPECT_EQ(pixel(btn.left + 5, btn.top + 5), RGB(0x20, 0x20, 0xC0));
  EXPECT_EQ(pixel(rect(3).left + 5, rect(3).top + 5), RGB(0xC0, 0x20, 0x20));
  // Progress at 50 %: the bar's colour at its left, none past the middle.
  const Rect bar = rect(94);
  EXPECT_EQ(pixel(bar.left + 5, bar.top + 4), static_cast<COLORREF>(0x906142));
  EXPECT_EQ(pixel(bar.right - 5, bar.top + 4), RGB(255, 255, 255));
  // A dashed line in its colour.
  int blue = 0;
  for (int x = rect(93).left; x < rect(93).right; ++x)
    if (pixel(x, rect(93).top) == RGB(0, 0, 255)) ++blue;
  EXPECT_GT(blue, 20);
  EXPECT_LT(blue, rect(93).width());
  // Hiding repaints what was there.
  dlg.ShowItem(41, false);
  EXPECT_EQ(pixel(red.right - 3, red.top + 2), RGB(255, 255, 255));
  // The whole bitmap reaches the screen through WM_PRINTCLIENT too.
  HDC screen = GetDC(nullptr);
  HDC copy = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 600, 500);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(copy, bitmap);
  SendMessageW(view, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(copy), PRF_CLIENT);
  EXPECT_EQ(GetPixel(copy, 300, 3), RGB(0x20, 0x30, 0x40));
  SelectObject(copy, old);
  DeleteObject(bitmap);
  DeleteDC(copy);
}

TEST(DialogLifecycle, ModalLoopStylesAndMissingLayouts) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(owner, nullptr);
  {
    TestDialog modal(200);
    modal.end_at_once = true;
    modal.owner = owner;
    EXPECT_EQ(modal.DoModal(owner), 7);
    EXPECT_FALSE(modal.owner_enabled_in_loop);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(modal.hwnd(), nullptr);
  }
  {
    TestDialog main(200);
    ASSERT_NE(main.Create(nullptr, false), nullptr);
    const LONG_PTR style = GetWindowLongPtrW(main.hwnd(), GWL_STYLE);
    const LONG_PTR ex = GetWindowLongPtrW(main.hwnd(), GWL_EXSTYLE);
    EXPECT_NE(style & WS_THICKFRAME, 0);
    EXPECT_NE(style & WS_MAXIMIZEBOX, 0);
    EXPECT_NE(ex & WS_EX_APPWINDOW, 0);
    EXPECT_EQ(ex & WS_EX_TOPMOST, 0);
    wchar_t title[64] = {};
    GetWindowTextW(main.hwnd(), title, 64);
    EXPECT_STREQ(title, L"View test");
    EXPECT_EQ(GetDlgCtrlID(main.view()->hwnd()), kGwViewId);
    main.EndDialog(1);  // modeless: the window goes
    EXPECT_EQ(main.hwnd(), nullptr);
  }
  {
    TestDialog tool(201);
    ASSERT_NE(tool.Create(nullptr, false), nullptr);
    const LONG_PTR style = GetWindowLongPtrW(tool.hwnd(), GWL_STYLE);
    const LONG_PTR ex = GetWindowLongPtrW(tool.hwnd(), GWL_EXSTYLE);
    EXPECT_EQ(style & WS_THICKFRAME, 0);
    EXPECT_NE(ex & WS_EX_TOOLWINDOW, 0);
    EXPECT_NE(ex & WS_EX_TOPMOST, 0);
    RECT client{};
    GetClientRect(tool.hwnd(), &client);
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 100);
  }
  TestDialog missing(999);
  EXPECT_FALSE(missing.LoadLayout());
  EXPECT_EQ(missing.Create(owner), nullptr);
  EXPECT_EQ(missing.DoModal(owner), -1);
  EXPECT_TRUE(IsWindowEnabled(owner));
  TestDialog broken(202);
  EXPECT_EQ(broken.Create(owner), nullptr);
  EXPECT_EQ(broken.SetItemText(1, u"x"), 0);
  DestroyWindow(owner);
}

}  // namespace
}  // namespace salvor::skin
