// salvor-cli filters: the File Filter's categories, as recover --type takes
// them: index, row text and the pattern the category stands for.
#include <cstdio>
#include <string>

#include "app/core/file_filter.h"
#include "cli/commands.h"
#include "common/text.h"

namespace salvor::cli {

int RunFilters(const Arguments& arguments) {
  if (!arguments.empty()) {
    PrintUsageError(u"filters takes no arguments");
    return kExitUsage;
  }
  const auto& categories = app::FilterCategories();
  for (int i = 0; i < app::kFilterCategoryCount; ++i) {
    const auto& category = categories[i];
    const std::string pattern =
        i == app::kCustomFilterCategory ? "any part of the path (--name TEXT)" : text::to_utf8(category.pattern);
    std::printf("%2d  %s\t%s\n", i, text::to_utf8(category.row_text).c_str(), pattern.c_str());
  }
  return kExitOk;
}

}  // namespace salvor::cli
