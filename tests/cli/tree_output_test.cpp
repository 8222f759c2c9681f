// scan --tree: every folder once, indented under its parent, with the files
// directly in it and all files below it.
#include <gtest/gtest.h>

#include "app/core/results_model.h"
#include "cli/tree_output.h"

namespace salvor::cli {
namespace {

void AddFile(app::ResultsModel& model, std::u16string_view path) {
  app::FoundItem item;
  item.type = kEntryFile;
  item.state = kDeleted;
  model.deleted_items().push_back(model.items().Add(item, path));
}

TEST(FolderTreeText, IndentsFoldersAndCountsFilesDirectlyAndBelow) {
  app::ResultsModel model;
  for (auto path : {u"E:\\a.txt", u"E:\\Docs\\b.txt", u"E:\\Docs\\Old\\c.txt", u"E:\\Docs\\Old\\d.txt",
                    u"E:\\Bilder\\\u00e9t\u00e9.jpg"}) {
    AddFile(model, path);
  }
  model.BuildTrees(app::ScanKind::kUnformat);
  EXPECT_EQ(FolderTreeText(model, app::TreeKind::kDeleted),
            "E:/  1 file, 5 in all\n"
            "  Docs/  1 file, 3 in all\n"
            "    Old/  2 files, 2 in all\n"
            "  Bilder/  1 file, 1 in all\n");
  EXPECT_EQ(FolderTreeText(model, app::TreeKind::kAll), "");
}

// A folder nested 1000 deep: the indent stops growing at 64 levels, so the
// text grows with the number of folders, not with the square of the depth.
TEST(FolderTreeText, DeepNestingKeepsLinesShort) {
  std::u16string path = u"E:";
  for (int level = 0; level < 1000; ++level) path += u"\\A";
  app::ResultsModel model;
  AddFile(model, path + u"\\deep.txt");
  model.BuildTrees(app::ScanKind::kUnformat);
  const std::string text = FolderTreeText(model, app::TreeKind::kDeleted);
  EXPECT_LT(text.size(), 1001u * 200);
  EXPECT_NE(text.find("\n" + std::string(128, ' ') + "A/"), std::string::npos);
  EXPECT_NE(text.find(std::string(128, ' ') + "[level 1000] A/  1 file, 1 in all\n"), std::string::npos);
}

}  // namespace
}  // namespace salvor::cli
