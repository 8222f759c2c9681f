// The skin resources the program ships (res/skin.rc and res/skin/**): every
// document parses, each window layout carries the element ids the program
// addresses, every style class and skin a document names exists, every
// image a skin reads is compiled in, and the laid-out windows keep their
// elements inside the window.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "skin/core/xml_load.h"

#ifndef SALVOR_RES_DIR
#error "SALVOR_RES_DIR must name the res folder"
#endif

namespace salvor::skin {
namespace {

namespace fs = std::filesystem;

const fs::path kRes = SALVOR_RES_DIR;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The lines `<id> <TYPE> "<file>"` of the .rc file, keyed by (type, id).
std::map<std::pair<std::string, int>, fs::path> rc_entries() {
  std::map<std::pair<std::string, int>, fs::path> entries;
  std::istringstream rc(read_file(kRes / "skin.rc"));
  const std::regex line(R"(^\s*(\d+)\s+(\w+)\s+"([^"]+)\"\s*$)");
  std::string text;
  std::smatch m;
  while (std::getline(rc, text))
    if (std::regex_match(text, m, line))
      entries[{m[2].str(), std::stoi(m[1].str())}] = kRes / m[3].str();
  return entries;
}

std::string gwres(int id) {
  const auto entries = rc_entries();
  auto it = entries.find({"GWRES", id});
  return it == entries.end() ? std::string() : read_file(it->second);
}

struct Tables {
  StyleTable styles;
  StringTable strings;
  std::set<std::string> style_names;
  std::set<std::string> skin_names;
};

const Tables& tables() {
  static const Tables loaded = [] {
    Tables t;
    EXPECT_TRUE(load_style_table(gwres(101), t.styles));
    EXPECT_TRUE(load_string_table(gwres(102), t.strings));
    TiXmlDocument styles;
    styles.Parse(gwres(101).c_str());
    for (const TiXmlElement* c = styles.RootElement()->FirstChildElement("class"); c;
         c = c->NextSiblingElement("class"))
      t.style_names.insert(c->Attribute("name"));
    TiXmlDocument skins;
    skins.Parse(gwres(100).c_str());
    for (const TiXmlElement* s = skins.RootElement()->FirstChildElement(); s;
         s = s->NextSiblingElement())
      if (const char* name = s->Attribute("name")) t.skin_names.insert(name);
    return t;
  }();
  return loaded;
}

// Every (attribute, value) a layout document writes, for the name checks.
void collect_attributes(const TiXmlElement& e, const char* attribute, std::set<std::string>& out) {
  if (const char* v = e.Attribute(attribute)) out.insert(v);
  for (const TiXmlElement* c = e.FirstChildElement(); c; c = c->NextSiblingElement())
    collect_attributes(*c, attribute, out);
}

// Width and height from a PNG's IHDR or a BMP's info header.
Size image_size(const fs::path& file) {
  const std::string b = read_file(file);
  auto be32 = [&](std::size_t at) {
    return (static_cast<unsigned char>(b[at]) << 24) | (static_cast<unsigned char>(b[at + 1]) << 16) |
           (static_cast<unsigned char>(b[at + 2]) << 8) | static_cast<unsigned char>(b[at + 3]);
  };
  auto le32 = [&](std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8) |
           (static_cast<unsigned char>(b[at + 2]) << 16) | (static_cast<unsigned char>(b[at + 3]) << 24);
  };
  if (b.size() >= 24 && b.compare(1, 3, "PNG") == 0) return {be32(16), be32(20)};
  if (b.size() >= 26 && b.compare(0, 2, "BM") == 0) return {le32(18), le32(22)};
  return {};
}

// Natural size of each named skin: its sub-image width (or image width) and
// image height, as the skin kinds report it.
const std::map<std::string, Size>& skin_sizes() {
  static const std::map<std::string, Size> sizes = [] {
    std::map<std::string, Size> out;
    const auto entries = rc_entries();
    TiXmlDocument doc;
    doc.Parse(gwres(100).c_str());
    for (const TiXmlElement* s = doc.RootElement()->FirstChildElement(); s; s = s->NextSiblingElement()) {
      const char* name = s->Attribute("name");
      const char* src = s->Attribute("src");
      if (name == nullptr || src == nullptr) continue;
      auto it = entries.find({std::string(s->Value()) == "png" ? "PNG" : "BITMAP", std::stoi(src)});
      if (it == entries.end()) continue;
      Size size = image_size(it->second);
      if (const char* sub = s->Attribute("subwidth"); sub && std::stoi(sub) > 0) size.width = std::stoi(sub);
      out[name] = size;
    }
    return out;
  }();
  return sizes;
}

// Text extent roughly as Tahoma gives it, and skin sizes.
Size rough_measure(const CGwWindow& e) {
  const int chars = static_cast<int>(e.text.size());
  if (e.tag() == "check" || e.tag() == "radio") return {chars * 6 + 17, 13};
  if (e.tag() == "img" || e.tag() == "imgbtn") {
    const std::string* skin = e.class_attribute("skin");
    auto it = skin ? skin_sizes().find(*skin) : skin_sizes().end();
    return it == skin_sizes().end() ? Size{} : it->second;
  }
  return {chars * 6, 13};
}

struct LayoutCase {
  int id;
  std::vector<int> ids;  // elements the program addresses
};

const std::vector<LayoutCase> kLayouts = {
    {103, {110,  115,  111,  120,  1011, 1013, 254,   253,   208,  108,  109,  252,  2000, 251, 205,
           2699, 2001, 2696, 2698, 150,  10004, 10005, 2899, 214,  215,  204,  216,  151,  152, 153,
           154,  130,  131,  117,  118,  132,  136,   137,   138,  139,  165,  167,  155,  3000}},
    {104, {202, 168}},
    {105, {8000, 8001, 8002, 8003, 8004, 8005, 8006, 8007, 8008, 8009, 8010, 8011,
           8012, 8013, 8014, 8015, 8016, 8017, 8018, 8019, 8020, 8021, 8022, 8023}},
    {108, {107, 170, 171, 111}},
    {109, {140, 141, 142, 143, 106, 105, 104, 3001, 212, 144, 3002, 213, 145, 1600}},
    {110, {160, 161, 10006, 162, 10007, 2898, 218, 219, 111}},
    {111, {888, 169}},
    {112, {181, 2003, 119, 120, 111}},
    {113, {172, 144, 210, 211, 111}},
};

std::unique_ptr<Layout> load(int id) {
  return load_layout(gwres(id), tables().styles, tables().strings);
}

CGwWindow* find(Layout& layout, int id) {
  for (CGwWindow* part : {layout.header.get(), layout.body.get(), layout.footer.get()}) {
    if (part == nullptr) continue;
    if (part->id == id) return part;
    if (CGwWindow* e = part->find_by_id(id)) return e;
  }
  return nullptr;
}

bool inside(const CGwWindow& e, int ancestor_id) {
  for (const CGwWindow* p = e.parent(); p != nullptr; p = p->parent())
    if (p->id == ancestor_id) return true;
  return false;
}

void collect_ids(const CGwWindow& e, std::map<int, int>& counts) {
  if (e.id != 0) ++counts[e.id];
  for (const auto& c : e.children()) collect_ids(*c, counts);
}

void expect_within(const CGwWindow& e, const Rect& window, int layout_id) {
  if (e.tag() != "hr") {
    EXPECT_GE(e.rect.width(), 0) << layout_id << " element " << e.id << " " << e.tag();
    EXPECT_GE(e.rect.height(), 0) << layout_id << " element " << e.id << " " << e.tag();
  }
  // The combo box placeholder is tall on purpose (its drop-down list).
  if (e.pos.has_position() && e.tag() != "realwnd") {
    EXPECT_TRUE(e.rect.left >= window.left && e.rect.top >= window.top &&
                e.rect.right <= window.right && e.rect.bottom <= window.bottom)
        << "layout " << layout_id << ": element " << e.id << " (" << e.tag() << ") at "
        << e.rect.left << "," << e.rect.top << "," << e.rect.right << "," << e.rect.bottom;
  }
  for (const auto& c : e.children()) expect_within(*c, window, layout_id);
}

TEST(ShippedSkin, ResourceScriptNamesExistingFiles) {
  const auto entries = rc_entries();
  for (int id : {100, 101, 102, 103, 104, 105, 108, 109, 110, 111, 112, 113})
    EXPECT_TRUE(entries.count({"GWRES", id})) << "GWRES " << id;
  for (const auto& [key, file] : entries)
    EXPECT_TRUE(fs::is_regular_file(file)) << key.first << " " << key.second << ": " << file;
  // The list header reads its background and separator from bitmap 1000.
  ASSERT_TRUE(entries.count({"BITMAP", 1000}));
  const std::string bmp = read_file(entries.at({"BITMAP", 1000}));
  ASSERT_GE(bmp.size(), 26u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<unsigned char>(bmp[18]), 6);   // width
  EXPECT_EQ(static_cast<unsigned char>(bmp[22]), 20);  // height
}

TEST(ShippedSkin, SkinsReadImagesTheProgramCarries) {
  const auto entries = rc_entries();
  TiXmlDocument doc;
  doc.Parse(gwres(100).c_str());
  ASSERT_FALSE(doc.Error());
  ASSERT_STREQ(doc.RootElement()->Value(), "skins");
  const std::set<std::string> kinds = {"imglst", "imgframe", "button", "imghorzex", "gradation", "png"};
  int count = 0;
  for (const TiXmlElement* s = doc.RootElement()->FirstChildElement(); s; s = s->NextSiblingElement()) {
    ++count;
    const std::string tag = s->Value();
    EXPECT_TRUE(kinds.count(tag)) << tag;
    ASSERT_NE(s->Attribute("name"), nullptr) << tag;
    if (const char* src = s->Attribute("src")) {
      const std::string type = tag == "png" ? "PNG" : "BITMAP";
      EXPECT_TRUE(entries.count({type, std::stoi(src)}))
          << s->Attribute("name") << " reads " << type << " " << src;
    }
  }
  EXPECT_GT(count, 10);
}

TEST(ShippedSkin, EveryLayoutParsesWithTheIdsTheProgramUses) {
  for (const LayoutCase& c : kLayouts) {
    auto layout = load(c.id);
    ASSERT_NE(layout, nullptr) << "layout " << c.id;
    EXPECT_GT(layout->width, 0) << c.id;
    EXPECT_GT(layout->height, 0) << c.id;
    EXPECT_FALSE(layout->title.empty()) << c.id;
    ASSERT_NE(layout->body, nullptr) << c.id;
    for (int id : c.ids) EXPECT_NE(find(*layout, id), nullptr) << "layout " << c.id << " lacks " << id;
    // Item access finds the first element of an id: ids must be unique.
    std::map<int, int> counts;
    for (CGwWindow* part : {layout->header.get(), layout->body.get(), layout->footer.get()})
      if (part) collect_ids(*part, counts);
    for (const auto& [id, n] : counts) EXPECT_EQ(n, 1) << "layout " << c.id << " repeats id " << id;
  }
}

TEST(ShippedSkin, ClassesAndSkinsNamedAnywhereExist) {
  const Tables& t = tables();
  std::set<std::string> classes;
  std::set<std::string> skins;
  for (const LayoutCase& c : kLayouts) {
    TiXmlDocument doc;
    doc.Parse(gwres(c.id).c_str());
    ASSERT_FALSE(doc.Error()) << c.id << ": " << doc.ErrorDesc();
    collect_attributes(*doc.RootElement(), "class", classes);
    collect_attributes(*doc.RootElement(), "linkclass", classes);
    for (const char* a : {"skin", "bgskin", "posskin", "tabskin", "frameskin", "iconskin"})
      collect_attributes(*doc.RootElement(), a, skins);
  }
  // Named by the program at run time.
  classes.insert("quickscan");
  for (const char* s : {"iconusb", "imgquickscan", "imgformatscan", "iconsacning", "iconstart", "iconpause"})
    skins.insert(s);
  for (const auto& name : classes) EXPECT_TRUE(t.style_names.count(name)) << "class " << name;
  TiXmlDocument styles;
  styles.Parse(gwres(101).c_str());
  collect_attributes(*styles.RootElement(), "skin", skins);
  for (const auto& name : skins) EXPECT_TRUE(t.skin_names.count(name)) << "skin " << name;
}

TEST(ShippedSkin, MainWindowPagesAndRunTimePositions) {
  auto layout = load(103);
  ASSERT_NE(layout, nullptr);
  CGwWindow& drives = *find(*layout, 2000);
  EXPECT_EQ(drives.tag(), "realwnd");
  ASSERT_NE(drives.class_attribute("ctrlid"), nullptr);
  EXPECT_EQ(*drives.class_attribute("ctrlid"), "2000");
  EXPECT_TRUE(inside(drives, 252));
  EXPECT_TRUE(inside(drives, 254));
  EXPECT_TRUE(inside(*find(*layout, 2001), 2699));
  EXPECT_TRUE(inside(*find(*layout, 10004), 2698));
  EXPECT_TRUE(inside(*find(*layout, 10005), 2698));
  EXPECT_TRUE(inside(*find(*layout, 150), 2698));
  for (int id : {254, 253}) EXPECT_TRUE(inside(*find(*layout, id), 1011));
  // The window opens on the drive page, results page and "Back" hidden.
  EXPECT_FALSE(find(*layout, 254)->is_hidden());
  EXPECT_TRUE(find(*layout, 253)->is_hidden());
  EXPECT_TRUE(find(*layout, 216)->is_hidden());
  EXPECT_TRUE(find(*layout, 10005)->is_hidden());
  EXPECT_TRUE(find(*layout, 155)->is_hidden());
  // The tree view's positions, which "Back" writes again at run time.
  auto same_pos = [](const CGwWindow& e, std::string_view text) {
    const PosSpec want = parse_pos(text);
    return e.pos.count == want.count && e.pos.coords == want.coords;
  };
  EXPECT_TRUE(same_pos(*find(*layout, 2699), "200,0,-0,-45"));
  EXPECT_TRUE(same_pos(*find(*layout, 2696), "200,-25"));
  // Skins and texts swapped in at run time apply to these kinds.
  EXPECT_EQ(find(*layout, 208)->tag(), "img");
  EXPECT_EQ(find(*layout, 109)->tag(), "richtext");
  EXPECT_EQ(find(*layout, 120)->tag(), "tabctrl");
  EXPECT_EQ(find(*layout, 1011)->tag(), "tab");
  EXPECT_EQ(find(*layout, 1013)->tag(), "tab");
}

TEST(ShippedSkin, DialogControlsHaveTheirKinds) {
  auto progress = load(109);
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(find(*progress, 1600)->tag(), "progress");
  EXPECT_EQ(find(*progress, 3001)->tag(), "img");
  EXPECT_EQ(find(*progress, 3002)->tag(), "img");
  // The animation draws one frame, never the whole strip.
  ASSERT_NE(find(*progress, 3001)->class_attribute("sub"), nullptr);
  auto confirm = load(108);
  ASSERT_NE(confirm, nullptr);
  EXPECT_EQ(find(*confirm, 107)->tag(), "richtext");
  for (auto [layout_id, id] : std::vector<std::pair<int, int>>{{110, 10006}, {110, 10007}, {112, 2003}, {113, 144}}) {
    auto layout = load(layout_id);
    ASSERT_NE(layout, nullptr);
    CGwWindow* e = find(*layout, id);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->tag(), "realwnd") << layout_id << " " << id;
    ASSERT_NE(e->class_attribute("ctrlid"), nullptr);
    EXPECT_EQ(*e->class_attribute("ctrlid"), std::to_string(id));
  }
  auto types = load(105);
  ASSERT_NE(types, nullptr);
  for (int id = 8000; id <= 8023; ++id) {
    ASSERT_NE(find(*types, id), nullptr) << id;
    EXPECT_EQ(find(*types, id)->tag(), "check") << id;
  }
}

TEST(ShippedSkin, LaidOutWindowsKeepTheirElementsInside) {
  for (const LayoutCase& c : kLayouts) {
    auto layout = load(c.id);
    ASSERT_NE(layout, nullptr);
    const Rect window{0, 0, layout->width, layout->height};
    frame_layout(*layout, window, rough_measure);
    for (CGwWindow* part : {layout->header.get(), layout->body.get(), layout->footer.get()}) {
      if (part == nullptr) continue;
      expect_within(*part, window, c.id);
    }
  }
  // The drive page leaves the right-hand column to the scan buttons, which
  // the main window puts at client right - 230 from client top + 200.
  auto main = load(103);
  frame_layout(*main, {0, 0, main->width, main->height}, rough_measure);
  const CGwWindow& list_frame = *find(*main, 252);
  EXPECT_LT(list_frame.rect.right, main->width - 230);
  // The second scan button ends at client top + 320, above the footer.
  EXPECT_LE(320, main->footer->rect.top);
  // The confirmation's longest question moves its text here; it must fit.
  auto confirm = load(108);
  EXPECT_LE(308, confirm->width);
}

}  // namespace
}  // namespace salvor::skin
