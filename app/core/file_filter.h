// The File Filter: thirteen categories (twelve file types by their last four
// characters, and a custom name part), and the rule that hides empty files.
// The filter looks at the deleted-items vector and gives the items to list.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/found_item.h"

namespace salvor::app {

struct FilterCategory {
  std::u16string_view row_text;  // the combo box row
  std::u16string_view pattern;   // what the name box shows, read-only
  std::vector<std::u16string_view> suffixes;  // compared with a path's last four characters
};

inline constexpr int kFilterCategoryCount = 13;
inline constexpr int kCustomFilterCategory = 12;

// The categories in combo box order; the last one (12) is the custom name
// part, with no pattern and no suffixes.
const std::array<FilterCategory, kFilterCategoryCount>& FilterCategories();

struct FilterSpec {
  int category = 0;
  std::u16string text;      // category 12: the name part typed
  bool skip_empty = false;  // "Do not display files of 0 byte in size"
};

// Categories 0 to 11: the path's last four characters equal one of the
// category's suffixes, case-sensitively (X.DOC is not a .doc). Category 12:
// the text occurs in the path (folder names included), case-sensitively; an
// empty text matches nothing. With skip_empty, items of size 0 never match.
bool MatchesFilter(const FoundItem& item, const FilterSpec& filter);

// The matching items of `deleted_items`, in order.
std::vector<const FoundItem*> ApplyFilter(const ItemList& deleted_items, const FilterSpec& filter);

}  // namespace salvor::app
