// The File Filter and the file-type page of the real Salvor.exe under Wine,
// against the FAT32 volume program_test.sh maps: the flat view lists
// exactly the deleted items the filter's rule picks from the fixture's
// manifest, and the file-type page keeps its boxes in KVN.ini beside the
// program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "skin/win/dialog.h"
#include "tests/win/program/remote_window.h"
#include "tests/win/win_test_paths.h"

namespace salvor::testing {
namespace {

using namespace std::chrono_literals;

constexpr unsigned kMainLayout = 103, kQuickButtonLayout = 104, kConfirmLayout = 108, kFilterLayout = 110,
                   kFileTypesLayout = 105;
constexpr int kResultsPage = 253, kYes = 170, kQuickClick = 202;
constexpr int kDriveList = 2000, kResultList = 2001;
constexpr int kReturn = 214, kFind = 215, kBack = 216, kTreeFrame = 2698, kOnlyDeleted = 2899,
              kCheckAll = 2696;
constexpr int kCategoryBox = 10006, kNameBox = 10007, kSkipEmpty = 2898, kOk = 218, kCancel = 219;
constexpr int kFirstFileType = 8000, kFileTypes = 24;

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}
std::wstring windows_path(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  return std::wstring(path.begin(), path.end());
}
std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}
std::u16string from_utf8(const std::string& text) {
  std::wstring utf16(text.size() + 1, L'\0');
  utf16.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                       utf16.data(), static_cast<int>(utf16.size()))));
  return std::u16string(utf16.begin(), utf16.end());
}

// One deleted item of the fixture's manifest, as the program shows it.
struct Deleted {
  std::u16string path;  // "P:\Old Projects\empty.txt"
  bool folder = false;
  unsigned long long size = 0;
};

struct Volume {
  std::string letter;
  std::vector<Deleted> deleted;
};

// The quick-fat32 drive of SALVOR_PROGRAM_DRIVES and its deleted items.
bool QuickFat32(Volume& volume) {
  std::ifstream drives(env("SALVOR_PROGRAM_DRIVES"));
  std::string line, manifest;
  while (std::getline(drives, line)) {
    std::istringstream fields(line);
    std::string letter, role, path;
    std::getline(fields, letter, '\t');
    std::getline(fields, role, '\t');
    std::getline(fields, path, '\t');
    if (role == "quick-fat32") {
      volume.letter = letter;
      manifest = path;
    }
  }
  if (manifest.empty()) return false;
  std::ifstream in(manifest);
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string type, path, deleted, size;
    std::getline(fields, type, '\t');
    std::getline(fields, path, '\t');
    std::getline(fields, deleted, '\t');
    std::getline(fields, size, '\t');
    if (deleted != "1") continue;
    for (char& c : path) if (c == '/') c = '\\';
    volume.deleted.push_back({from_utf8(volume.letter + ":\\" + path), type == "folder", std::stoull(size)});
  }
  return true;
}

// The shown path is the manifest's but for a doubled separator after the
// drive, and the first character of a name whose long name was lost.
bool SamePath(std::u16string shown, const std::u16string& expected) {
  for (size_t at; (at = shown.find(u"\\\\")) != std::u16string::npos;) shown.erase(at, 1);
  if (shown.size() != expected.size()) return false;
  const size_t name_at = expected.find_last_of(u'\\') + 1;
  for (size_t i = 0; i < shown.size(); ++i)
    if (shown[i] != expected[i] && i != name_at) return false;
  return true;
}

std::u16string tail4(const std::u16string& path) { return path.size() < 4 ? path : path.substr(path.size() - 4); }

class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shots_ = windows_path(env("SALVOR_SCREENSHOTS"));
    if (!QuickFat32(volume_)) GTEST_SKIP() << "no quick-fat32 drive mapped (SALVOR_PROGRAM_DRIVES)";
    kvn_ = ExecutableDirectory() + L"\\KVN.ini";
    DeleteFileW(kvn_.c_str());
  }
  void TearDown() override {
    program_.Close();
    DeleteFileW(kvn_.c_str());
  }

  // Saves program-<name>.bmp of `window` and checks it is a real picture.
  void Shot(const std::string& name, HWND window, size_t header_pixels, size_t colours = 40) {
    if (shots_.empty()) return;
    std::this_thread::sleep_for(300ms);
    const std::wstring path = shots_ + L"\\program-" + std::wstring(name.begin(), name.end()) + L".bmp";
    ASSERT_TRUE(CaptureWindow(window, path)) << name;
    CaptureStats& stats = last_shot_;
    ASSERT_TRUE(ReadCapture(path, stats)) << name;
    EXPECT_GT(stats.distinct_colours, colours) << name << ": a blank picture";
    EXPECT_GE(stats.Near(RGB(0x1E, 0x2A, 0x3A), 6), header_pixels) << name << ": the header is not there";
  }

  // Pixels of the last shot near `colour` inside `box` (window coordinates).
  size_t PixelsNear(const RECT& box, COLORREF colour, int tolerance) const {
    size_t n = 0;
    for (int y = std::max(0L, box.top); y < std::min<LONG>(last_shot_.height, box.bottom); ++y)
      for (int x = std::max(0L, box.left); x < std::min<LONG>(last_shot_.width, box.right); ++x) {
        const COLORREF c = last_shot_.pixels[static_cast<size_t>(y) * last_shot_.width + x];
        if (std::abs(GetRValue(c) - GetRValue(colour)) <= tolerance &&
            std::abs(GetGValue(c) - GetGValue(colour)) <= tolerance &&
            std::abs(GetBValue(c) - GetBValue(colour)) <= tolerance)
          ++n;
      }
    return n;
  }
  // The inside of the name box, in the dialog's coordinates.
  static RECT NameBoxInside(HWND dialog, HWND edit) {
    RECT d{}, e{};
    GetWindowRect(dialog, &d);
    GetWindowRect(edit, &e);
    return RECT{e.left - d.left + 3, e.top - d.top + 3, e.right - d.left - 3, e.bottom - d.top - 3};
  }

  HWND Main() const { return program_.main(); }
  HWND List() const { return program_.Control(Main(), kResultList); }

  void QuickScan() {
    ASSERT_TRUE(program_.Start(ExecutableDirectory() + L"\\Salvor.exe"));
    HWND drives = program_.Control(Main(), kDriveList);
    int row = -1;
    ASSERT_TRUE(WaitFor(
        [&] {
          for (int r = 0; r < program_.RowCount(drives); ++r)
            if (program_.CellText(drives, r, 0) == from_utf8(volume_.letter + ":")) row = r;
          return row >= 0;
        },
        10s));
    ASSERT_TRUE(program_.SelectRow(drives, row));
    HWND button = program_.FindLayout(kQuickButtonLayout);
    ASSERT_NE(button, nullptr);
    program_.Click(button, kQuickClick);
    HWND confirm = program_.WaitLayout(kConfirmLayout, 10s);
    ASSERT_NE(confirm, nullptr);
    program_.Click(confirm, kYes);
    ASSERT_TRUE(WaitFor([&] { return program_.Shown(Main(), kResultsPage); }, 120s));
  }

  struct Row {
    std::u16string path, size;
  };
  std::vector<Row> Rows() const {
    std::vector<Row> rows;
    for (int r = 0; r < program_.RowCount(List()); ++r)
      rows.push_back({program_.CellText(List(), r, 1), program_.CellText(List(), r, 2)});
    return rows;
  }

  // "Find", a category (and a name part for the custom one), the zero-size
  // rule, then OK; returns the rows of the flat view.
  std::vector<Row> Filter(int category, const std::u16string& text, bool skip_empty, const std::string& shot = "") {
    program_.Click(Main(), kFind);
    HWND dialog = program_.WaitLayout(kFilterLayout, 10s);
    EXPECT_NE(dialog, nullptr) << "no File Filter";
    if (dialog == nullptr) return {};
    HWND combo = program_.Control(dialog, kCategoryBox);
    HWND edit = program_.Control(dialog, kNameBox);
    // Each time afresh at the first category.
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(category), 0);
    SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(kCategoryBox, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    const bool read_only = (GetWindowLongPtrW(edit, GWL_STYLE) & ES_READONLY) != 0;
    EXPECT_EQ(read_only, category != 12) << "category " << category;
    if (category == 12) {
      EXPECT_EQ(EditText(edit), u"") << "the custom category starts empty";
      const std::wstring wide(text.begin(), text.end());
      SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    if (skip_empty != program_.Checked(dialog, kSkipEmpty)) program_.Click(dialog, kSkipEmpty);
    EXPECT_TRUE(WaitFor([&] { return program_.Checked(dialog, kSkipEmpty) == skip_empty; }, 5s));
    if (!shot.empty()) {
      Shot(shot, dialog, 3000);
      name_box_ = NameBoxInside(dialog, edit);
    }
    program_.Click(dialog, kOk);
    EXPECT_TRUE(WaitFor([&] { return program_.FindLayout(kFilterLayout) == nullptr; }, 10s));
    EXPECT_TRUE(WaitFor([&] { return program_.Shown(Main(), kBack); }, 10s)) << "no flat view";
    return Rows();
  }

  RECT ListRect() const {
    RECT r{};
    GetWindowRect(List(), &r);
    return r;
  }

  static std::u16string EditText(HWND edit) {
    wchar_t buffer[512] = {};
    SendMessageW(edit, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer));
    const std::wstring text = buffer;
    return std::u16string(text.begin(), text.end());
  }

  // The rows are exactly the deleted items that `matches` picks, each once.
  void ExpectExactly(const std::vector<Row>& rows, const std::function<bool(const Deleted&)>& matches,
                     const std::string& what) {
    std::vector<const Deleted*> expected;
    for (const Deleted& d : volume_.deleted)
      if (matches(d)) expected.push_back(&d);
    std::vector<bool> seen(expected.size(), false);
    for (const Row& row : rows) {
      bool known = false;
      for (size_t i = 0; i < expected.size(); ++i) {
        if (!seen[i] && SamePath(row.path, expected[i]->path)) {
          seen[i] = known = true;
          break;
        }
      }
      EXPECT_TRUE(known) << what << ": listed, yet not a match: " << narrow(row.path);
    }
    for (size_t i = 0; i < expected.size(); ++i)
      EXPECT_TRUE(seen[i]) << what << ": a match not listed: " << narrow(expected[i]->path);
    std::printf("FIGURES filter %s: %zu rows, %zu expected from the manifest\n", what.c_str(), rows.size(),
                expected.size());
    EXPECT_FALSE(expected.empty()) << what << ": the fixture has nothing to find";
  }

  // The file-type page: a hidden child of the main window.
  HWND FileTypePage() const {
    struct Search {
      HWND found = nullptr;
    } search;
    EnumChildWindows(
        Main(),
        [](HWND hwnd, LPARAM lp) -> BOOL {
          wchar_t cls[64] = {};
          GetClassNameW(hwnd, cls, 64);
          if (std::wstring(cls) != L"SalvorGwDialog") return TRUE;
          DWORD_PTR layout = 0;
          const WPARAM wp = static_cast<WPARAM>(static_cast<uint64_t>(skin::gwauto::kLayoutId) << 32);
          if (SendMessageTimeoutW(hwnd, skin::GwAutomationMessage(), wp, 0, SMTO_ABORTIFHUNG, 5000, &layout) &&
              layout == kFileTypesLayout) {
            reinterpret_cast<Search*>(lp)->found = hwnd;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  int KvnValue(int id) const {
    return static_cast<int>(GetPrivateProfileIntW(L"CONFIG", std::to_wstring(id).c_str(), -1, kvn_.c_str()));
  }

  RemoteProgram program_;
  CaptureStats last_shot_;
  RECT name_box_{};
  Volume volume_;
  std::wstring shots_, kvn_;
};

TEST_F(FilterTest, FlatViewListsExactlyTheMatchesAndBackRestoresTheTree) {
  ASSERT_NO_FATAL_FAILURE(QuickScan());

  // The dialog as it opens: the first category and its pattern, read-only.
  program_.Click(Main(), kFind);
  HWND dialog = program_.WaitLayout(kFilterLayout, 10s);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(SendMessageW(program_.Control(dialog, kCategoryBox), CB_GETCOUNT, 0, 0), 13);
  EXPECT_EQ(EditText(program_.Control(dialog, kNameBox)), u"*.doc|*.docx|*.xls|*.xlsx|*.ppt|*.pptx|*.mdb|*.pst");
  EXPECT_EQ(program_.Text(dialog, 160), u"File Filter");
  Shot("filter", dialog, 3000);
  // A pattern is shown as a hint: grey, not black.
  if (!shots_.empty()) {
    const RECT inside = NameBoxInside(dialog, program_.Control(dialog, kNameBox));
    EXPECT_GT(PixelsNear(inside, RGB(0x66, 0x66, 0x66), 24), 30u) << "the pattern is not grey";
    EXPECT_LT(PixelsNear(inside, RGB(0, 0, 0), 24), 5u) << "the pattern is black";
  }
  // Cancel leaves the tree view as it was.
  const size_t tree_rows = Rows().size();
  const RECT tree_list = ListRect();
  program_.Click(dialog, kCancel);
  ASSERT_TRUE(WaitFor([&] { return program_.FindLayout(kFilterLayout) == nullptr; }, 10s));
  EXPECT_FALSE(program_.Shown(Main(), kBack));
  EXPECT_TRUE(program_.Shown(Main(), kTreeFrame));
  EXPECT_EQ(Rows().size(), tree_rows);

  // Office documents: by the last four characters (".xlsx" is "xlsx").
  ExpectExactly(Filter(0, u"", false),
                [](const Deleted& d) {
                  for (const char16_t* s : {u".doc", u".xls", u".ppt", u".mdb", u".pst", u"docx", u"xlsx", u"pptx"})
                    if (tail4(d.path) == s) return true;
                  return false;
                },
                "office");

  // Text files, case-sensitively: OLD.TXT and README.TXT are not ".txt".
  // Empty ones are listed, their size "N/A".
  const std::vector<Row> text_rows = Filter(3, u"", false);
  ExpectExactly(text_rows, [](const Deleted& d) { return tail4(d.path) == u".txt"; }, "text");
  size_t empty_rows = 0;
  for (const Row& row : text_rows) empty_rows += row.size == u"N/A";
  EXPECT_GT(empty_rows, 0u) << "no empty text file listed";
  // The flat view: no tree, the list at full width, "Back" in place of
  // "Return".
  EXPECT_TRUE(program_.Shown(Main(), kBack));
  EXPECT_FALSE(program_.Shown(Main(), kReturn));
  EXPECT_FALSE(program_.Shown(Main(), kTreeFrame));
  EXPECT_FALSE(program_.Shown(Main(), kOnlyDeleted));
  const RECT flat_list = ListRect();
  EXPECT_EQ(flat_list.left, tree_list.left - 200) << "the list is not at full width";
  EXPECT_EQ(flat_list.right, tree_list.right);
  EXPECT_TRUE(program_.Shown(Main(), kCheckAll));
  Shot("filter-results", Main(), 5000);

  // The zero-size rule takes the empty ones away.
  ExpectExactly(Filter(3, u"", true), [](const Deleted& d) { return tail4(d.path) == u".txt" && d.size != 0; },
                "text, no empty files");

  // A name part, anywhere in the path (folder names too), case-sensitively.
  ExpectExactly(Filter(12, u"Projects", false, "filter-custom"),
                [](const Deleted& d) { return d.path.find(u"Projects") != std::u16string::npos; }, "custom Projects");
  // Typed, with the focus in the box: black.
  if (!shots_.empty()) {
    EXPECT_GT(PixelsNear(name_box_, RGB(0, 0, 0), 24), 30u) << "the typed text is not black";
  }
  EXPECT_TRUE(Filter(12, u"projects", false).empty()) << "the name part is compared case-sensitively";

  // "Back": the tree view again, the list refilled from the tree.
  program_.Click(Main(), kBack);
  ASSERT_TRUE(WaitFor([&] { return program_.Shown(Main(), kReturn); }, 10s));
  EXPECT_FALSE(program_.Shown(Main(), kBack));
  EXPECT_TRUE(program_.Shown(Main(), kTreeFrame));
  EXPECT_TRUE(program_.Shown(Main(), kOnlyDeleted));
  const RECT back_list = ListRect();
  EXPECT_EQ(back_list.left, tree_list.left);
  EXPECT_EQ(back_list.right, tree_list.right);
  EXPECT_TRUE(program_.Shown(Main(), kCheckAll));
  EXPECT_EQ(Rows().size(), tree_rows);
}

TEST_F(FilterTest, FileTypePageRoundTripsKvnIni) {
  // Non-zero is checked, whatever the number; missing keys are unchecked.
  ASSERT_TRUE(WritePrivateProfileStringW(L"CONFIG", L"8000", L"1", kvn_.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"CONFIG", L"8005", L"7", kvn_.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"CONFIG", L"8013", L"1", kvn_.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"CONFIG", L"8023", L"1", kvn_.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"CONFIG", L"8001", L"0", kvn_.c_str()));
  ASSERT_TRUE(program_.Start(ExecutableDirectory() + L"\\Salvor.exe"));
  HWND page = FileTypePage();
  ASSERT_NE(page, nullptr) << "no file-type page";
  EXPECT_FALSE(IsWindowVisible(page)) << "the page is kept hidden";
  for (int i = 0; i < kFileTypes; ++i) {
    const int id = kFirstFileType + i;
    EXPECT_EQ(program_.Checked(page, id), id == 8000 || id == 8005 || id == 8013 || id == 8023) << id;
  }

  // A click writes every box back.
  program_.Click(page, 8001);
  // The keys are written one by one: wait for the last one missing before.
  ASSERT_TRUE(WaitFor([&] { return KvnValue(8001) == 1 && KvnValue(8022) != -1; }, 5s)) << "not written";
  for (int i = 0; i < kFileTypes; ++i) {
    const int id = kFirstFileType + i;
    EXPECT_EQ(KvnValue(id), id == 8000 || id == 8001 || id == 8005 || id == 8013 || id == 8023 ? 1 : 0) << id;
  }

  // The page as the program holds it, shown for the picture only.
  ShowWindow(page, SW_SHOWNA);
  Shot("file-types", page, 0, 20);
  ShowWindow(page, SW_HIDE);

  // A scan start reads the file again.
  ASSERT_TRUE(WritePrivateProfileStringW(L"CONFIG", L"8001", L"0", kvn_.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringW(L"CONFIG", L"8010", L"1", kvn_.c_str()));
  program_.Close();
  ASSERT_NO_FATAL_FAILURE(QuickScan());
  page = FileTypePage();
  ASSERT_NE(page, nullptr);
  // Changed while the program runs, then a second scan.
  ASSERT_TRUE(WritePrivateProfileStringW(L"CONFIG", L"8002", L"1", kvn_.c_str()));
  EXPECT_FALSE(program_.Checked(page, 8002));
  program_.Click(Main(), kReturn);
  HWND confirm = program_.WaitLayout(kConfirmLayout, 10s);
  ASSERT_NE(confirm, nullptr);
  program_.Click(confirm, kYes);
  ASSERT_TRUE(WaitFor([&] { return !program_.Shown(Main(), kResultsPage); }, 10s));
  HWND button = program_.FindLayout(kQuickButtonLayout);
  ASSERT_NE(button, nullptr);
  program_.Click(button, kQuickClick);
  confirm = program_.WaitLayout(kConfirmLayout, 10s);
  ASSERT_NE(confirm, nullptr);
  program_.Click(confirm, kYes);
  ASSERT_TRUE(WaitFor([&] { return program_.Shown(Main(), kResultsPage); }, 120s));
  EXPECT_TRUE(program_.Checked(page, 8002)) << "not read again at the scan start";
  EXPECT_FALSE(program_.Checked(page, 8001));
  EXPECT_TRUE(program_.Checked(page, 8010));
}

}  // namespace
}  // namespace salvor::testing
