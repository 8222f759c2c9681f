// The File Filter as a user sees it: a type matches by the path's last four
// characters, exactly; the custom text matches anywhere in the path; empty
// files can be hidden.
#include <gtest/gtest.h>

#include "app/core/file_filter.h"

namespace salvor::app {
namespace {

FoundItems& Store() {
  static FoundItems store;
  return store;
}

const FoundItem& File(std::u16string_view path, uint64_t size = 10) {
  FoundItem item;
  item.type = kEntryFile;
  item.state = kDeleted;
  item.size = size;
  return Store().Add(item, path);
}

ItemList List(std::initializer_list<std::reference_wrapper<const FoundItem>> items) {
  ItemList list;
  for (const FoundItem& item : items) list.push_back(item);
  return list;
}

std::vector<std::u16string> Matching(const ItemList& items, FilterSpec filter) {
  std::vector<std::u16string> out;
  for (const FoundItem* item : ApplyFilter(items, filter)) out.push_back(item->path());
  return out;
}

TEST(FileFilterCategories, ThirteenRowsWithTheirPatterns) {
  const auto& categories = FilterCategories();
  EXPECT_EQ(categories[0].row_text, u"Office文档(*.doc;*.docx;*.xls;*.xlsx;*.ppt;*.pptx;*.mdb;*.pst)");
  EXPECT_EQ(categories[0].suffixes.size(), 8u);
  EXPECT_EQ(categories[6].pattern, u"*.mpg|*.mpeg");
  EXPECT_EQ(categories[11].row_text, u"镜像文件(*.iso;*.img;*.nrg;*.vcd)");
  EXPECT_EQ(categories[12].row_text, u"自定义");
  EXPECT_TRUE(categories[12].suffixes.empty());
  for (int i = 0; i < 12; ++i) {
    for (auto suffix : categories[i].suffixes) EXPECT_EQ(suffix.size(), 4u) << i;
  }
}

TEST(FileFilter, TypesMatchTheLastFourCharactersExactly) {
  const ItemList items = List({File(u"E:\\report.docx"), File(u"E:\\a.doc"), File(u"E:\\A.DOC"),
                                        File(u"E:\\notepdf"),     File(u"E:\\x.pdf"), File(u"E:\\pic.jpeg"),
                                        File(u"E:\\.doc\\y"),     File(u"doc")});
  EXPECT_EQ(Matching(items, {0, u"", false}), (std::vector<std::u16string>{u"E:\\report.docx", u"E:\\a.doc"}));
  EXPECT_EQ(Matching(items, {1, u"", false}), (std::vector<std::u16string>{u"E:\\x.pdf"}));
  EXPECT_EQ(Matching(items, {2, u"", false}), (std::vector<std::u16string>{u"E:\\pic.jpeg"}));
  EXPECT_TRUE(Matching(items, {13, u"", false}).empty());
  EXPECT_TRUE(Matching(items, {-1, u"", false}).empty());
}

TEST(FileFilter, CustomTextMatchesAnywhereInThePathCaseSensitively) {
  const ItemList items = List({File(u"E:\\abc.txt"), File(u"E:\\xabcx\\f.bin"), File(u"E:\\ABC.txt"),
                                        File(u"E:\\other")});
  EXPECT_EQ(Matching(items, {kCustomFilterCategory, u"abc", false}),
            (std::vector<std::u16string>{u"E:\\abc.txt", u"E:\\xabcx\\f.bin"}));
  EXPECT_TRUE(Matching(items, {kCustomFilterCategory, u"", false}).empty());
}

TEST(FileFilter, ZeroSizeRuleHidesEmptyFilesOnlyWhenOn) {
  const ItemList items = List({File(u"E:\\empty.txt", 0), File(u"E:\\full.txt", 5)});
  EXPECT_EQ(Matching(items, {3, u"", false}).size(), 2u);
  EXPECT_EQ(Matching(items, {3, u"", true}), (std::vector<std::u16string>{u"E:\\full.txt"}));
  EXPECT_EQ(Matching(items, {kCustomFilterCategory, u"txt", true}), (std::vector<std::u16string>{u"E:\\full.txt"}));
}

}  // namespace
}  // namespace salvor::app
