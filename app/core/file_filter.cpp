// The File Filter's categories and matching; see file_filter.h.
#include "app/core/file_filter.h"

namespace salvor::app {

const std::array<FilterCategory, kFilterCategoryCount>& FilterCategories() {
  // The row texts are the program's own and are shown as they stand, in
  // every language.
  static const std::array<FilterCategory, kFilterCategoryCount> categories = {{
      {u"Office文档(*.doc;*.docx;*.xls;*.xlsx;*.ppt;*.pptx;*.mdb;*.pst)",
       u"*.doc|*.docx|*.xls|*.xlsx|*.ppt|*.pptx|*.mdb|*.pst",
       {u".doc", u".xls", u".ppt", u".mdb", u".pst", u"docx", u"xlsx", u"pptx"}},
      {u"PDF文档(*.pdf)", u"*.pdf", {u".pdf"}},
      {u"图像文件(*.jpg;*.jpeg;*.bmp;*.gif;*.png)", u"*.jpg|*.jpeg|*.bmp|*.gif|*.png",
       {u".jpg", u"jpeg", u".bmp", u".gif", u".png"}},
      {u"文本文件(*.txt)", u"*.txt", {u".txt"}},
      {u"音乐文件(*.mp3;*.wav;*.ogg;*.wma)", u"*.mp3|*.wav|*.ogg|*.wma", {u".mp3", u".wav", u".ogg", u".wma"}},
      {u"影像文件(*.avi;*.wmv)", u"*.avi|*.wmv", {u".avi", u".wmv"}},
      {u"视频文件(*.mpg;*.mpeg)", u"*.mpg|*.mpeg", {u".mpg", u"mpeg"}},
      {u"压缩文件(*.zip;*.rar)", u"*.zip|*.rar", {u".zip", u".rar"}},
      {u"注册表文件(*.reg)", u"*.reg", {u".reg"}},
      {u"可执行文件(*.exe;*.dll)", u"*.exe|*.dll", {u".exe", u".dll"}},
      {u"网页文件(*.htm;*.html;*.asp;*.jsp;*.php)", u"*.htm|*.html|*.asp|*.jsp|*.php",
       {u".htm", u"html", u".asp", u".jsp", u".php"}},
      {u"镜像文件(*.iso;*.img;*.nrg;*.vcd)", u"*.iso|*.img|*.nrg|*.vcd", {u".iso", u".img", u".nrg", u".vcd"}},
      {u"自定义", u"", {}},
  }};
  return categories;
}

bool MatchesFilter(const FoundItem& item, const FilterSpec& filter) {
  if (filter.category < 0 || filter.category >= kFilterCategoryCount) return false;
  if (filter.skip_empty && item.size == 0) return false;
  if (filter.category == kCustomFilterCategory) {
    return !filter.text.empty() && item.path().find(filter.text) != std::u16string::npos;
  }
  // The path's last four characters are the name's unless the name is
  // shorter.
  std::u16string path;
  std::u16string_view tail = item.name();
  if (tail.size() < 4) {
    path = item.path();
    tail = path;
  }
  tail = tail.substr(tail.size() < 4 ? 0 : tail.size() - 4);
  for (std::u16string_view suffix : FilterCategories()[filter.category].suffixes) {
    if (tail == suffix) return true;
  }
  return false;
}

std::vector<const FoundItem*> ApplyFilter(const ItemList& deleted_items, const FilterSpec& filter) {
  std::vector<const FoundItem*> matches;
  for (const FoundItem& item : deleted_items) {
    if (MatchesFilter(item, filter)) matches.push_back(&item);
  }
  return matches;
}

}  // namespace salvor::app
