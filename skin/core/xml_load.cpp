// TinyXML readers for the style table, the string table and window layouts.
#include "skin/core/xml_load.h"

#include <tinyxml.h>

#include <algorithm>

#include "common/text.h"

namespace salvor::skin {
namespace {

// Layouts nest a handful of panels; this bounds recursion on a broken one.
constexpr int kMaxDepth = 64;

const TiXmlElement* root_named(const TiXmlDocument& doc, std::string_view name) {
  const TiXmlElement* root = doc.FirstChildElement();
  if (root == nullptr || root->ValueStr() != name) return nullptr;
  return root;
}

std::string_view attribute(const TiXmlElement& e, const char* name) {
  const char* value = e.Attribute(name);
  return value != nullptr ? std::string_view(value) : std::string_view();
}

void load_element(const TiXmlElement& xml, CGwWindow& element, const StyleTable& styles,
                  const StringTable& strings, int depth);

// What the enclosing rich-text markup elements have set.
struct RichState {
  std::uint16_t font_bits = 0;
  Colour colour = kNoColour;
  int link_index = 0;
  int link_id = 0;
  std::string href;
};

void rich_runs_from(const TiXmlNode& parent, const RichState& outer, int& links,
                    std::vector<RichRun>& runs, int depth) {
  if (depth >= kMaxDepth) return;
  for (const TiXmlNode* node = parent.FirstChild(); node != nullptr; node = node->NextSibling()) {
    if (const TiXmlText* t = node->ToText()) {
      RichRun run;
      run.text = text::from_utf8(t->ValueStr());
      run.font_code = outer.font_bits;
      run.colour = outer.colour;
      run.link_index = outer.link_index;
      run.link_id = outer.link_id;
      run.href = outer.href;
      if (!run.text.empty()) runs.push_back(std::move(run));
      continue;
    }
    const TiXmlElement* e = node->ToElement();
    if (e == nullptr) continue;
    const std::string& tag = e->ValueStr();
    if (tag == "br") {
      RichRun run;
      run.line_break = true;
      runs.push_back(std::move(run));
      continue;
    }
    RichState inner = outer;
    if (tag == "b") inner.font_bits |= font_bit::kBold;
    else if (tag == "i") inner.font_bits |= font_bit::kItalic;
    else if (tag == "u") inner.font_bits |= font_bit::kUnderline;
    else if (tag == "c") {
      if (const char* colour = e->Attribute("color")) inner.colour = parse_colour(colour);
    } else if (tag == "a") {
      inner.link_index = ++links;
      inner.link_id = parse_decimal(attribute(*e, "id"));
      inner.href = std::string(attribute(*e, "href"));
    }
    // Any other tag keeps its text with the enclosing format.
    rich_runs_from(*e, inner, links, runs, depth + 1);
  }
}

std::vector<RichRun> rich_runs_of(const TiXmlNode& parent) {
  std::vector<RichRun> runs;
  int links = 0;
  rich_runs_from(parent, RichState{}, links, runs, 0);
  return runs;
}

void load_children(const TiXmlElement& xml, CGwWindow& parent, const StyleTable& styles,
                   const StringTable& strings, int depth) {
  if (depth >= kMaxDepth) return;
  for (const TiXmlElement* child = xml.FirstChildElement(); child != nullptr;
       child = child->NextSiblingElement()) {
    if (!is_element_tag(child->ValueStr())) continue;  // unknown tags are skipped
    CGwWindow* e = parent.append(std::make_unique<CGwWindow>(child->ValueStr()));
    load_element(*child, *e, styles, strings, depth + 1);
  }
}

void load_element(const TiXmlElement& xml, CGwWindow& element, const StyleTable& styles,
                  const StringTable& strings, int depth) {
  for (const TiXmlAttribute* a = xml.FirstAttribute(); a != nullptr; a = a->Next())
    element.set_attribute(a->Name(), a->Value(), /*loading=*/true, styles);  // rejects ignored
  if (const TiXmlNode* first = xml.FirstChild(); first != nullptr && first->ToText() != nullptr)
    element.text = expand_string_refs(text::from_utf8(first->ValueStr()), strings);
  // Rich text children are formatted runs, not elements.
  if (element.tag() == "richtext") {
    element.text.clear();
    element.rich_runs = rich_runs_of(xml);
    return;
  }
  load_children(xml, element, styles, strings, depth);
  if (element.tag() == "tabctrl") element.init_tabs();
}

std::unique_ptr<CGwWindow> load_part(const TiXmlElement& layer, const char* name,
                                   const StyleTable& styles, const StringTable& strings) {
  const TiXmlElement* xml = layer.FirstChildElement(name);
  if (xml == nullptr) return nullptr;
  auto part = std::make_unique<CGwWindow>("dlg");
  load_element(*xml, *part, styles, strings, 1);
  return part;
}

// Height of a header or footer strip: its "height", else what its content
// needs.
int strip_height(CGwWindow& part, const Rect& client, const Measure& measure) {
  if (part.size_flags & size_flag::kHeightFixed) return part.fixed_height;
  const std::uint32_t saved = part.size_flags;
  part.size_flags = (saved & ~size_flag::kWidthMask) | size_flag::kWidthFull;
  part.place(client.left, client.top, client, measure);
  part.size_flags = saved;
  return part.rect.height();
}

}  // namespace

bool parse_xml_document(std::string_view xml, TiXmlDocument& doc) {
  // TinyXML steps over a UTF-8 sequence by the length its lead byte
  // announces; one cut short by the end of the text would carry it past
  // the terminating zero. Only well-formed UTF-8 reaches it.
  if (!text::is_well_formed_utf8(xml)) return false;
  const std::string text(xml);  // TinyXML wants a terminated string
  doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
  return !doc.Error();
}

bool load_style_table(std::string_view xml, StyleTable& table) {
  table.clear();
  TiXmlDocument doc;
  if (!parse_xml_document(xml, doc)) return false;
  const TiXmlElement* root = root_named(doc, "style");
  if (root == nullptr) return false;
  for (const TiXmlElement* c = root->FirstChildElement("class"); c != nullptr;
       c = c->NextSiblingElement("class")) {
    const char* name = c->Attribute("name");
    if (name == nullptr) continue;
    GwStyle& style = table.get_or_create(name);
    // Document order: a later attribute overrides an earlier one.
    for (const TiXmlAttribute* a = c->FirstAttribute(); a != nullptr; a = a->Next())
      style.set_attribute(a->Name(), a->Value());
  }
  return true;
}

bool load_string_table(std::string_view xml, StringTable& table) {
  table.clear();
  TiXmlDocument doc;
  if (!parse_xml_document(xml, doc)) return false;
  const TiXmlElement* root = root_named(doc, "string");
  if (root == nullptr) return false;
  for (const TiXmlElement* s = root->FirstChildElement("s"); s != nullptr;
       s = s->NextSiblingElement("s")) {
    const char* id = s->Attribute("id");
    if (id == nullptr) continue;
    const int n = parse_decimal(id);
    if (n < 0) continue;
    const char* text = s->GetText();
    table.set(static_cast<std::uint32_t>(n), text::from_utf8(text != nullptr ? text : ""));
  }
  return true;
}

std::unique_ptr<Layout> load_layout(std::string_view xml, const StyleTable& styles,
                                    const StringTable& strings) {
  TiXmlDocument doc;
  if (!parse_xml_document(xml, doc)) return nullptr;
  const TiXmlElement* root = root_named(doc, "layer");
  if (root == nullptr) return nullptr;
  auto layout = std::make_unique<Layout>();
  layout->title = text::from_utf8(attribute(*root, "title"));
  layout->width = std::max(0, parse_decimal(attribute(*root, "width")));
  layout->height = std::max(0, parse_decimal(attribute(*root, "height")));
  layout->app_window = parse_decimal(attribute(*root, "appwin")) != 0;
  layout->resizable = parse_decimal(attribute(*root, "resize")) != 0;
  layout->no_border = parse_decimal(attribute(*root, "noborder")) != 0;
  layout->header = load_part(*root, "header", styles, strings);
  layout->body = load_part(*root, "body", styles, strings);
  layout->footer = load_part(*root, "footer", styles, strings);
  return layout;
}

namespace {

// Markup with the elements still open at its end closed there. Language
// texts leave a run open now and then ("<c color=...>text" without "</c>");
// closing it beats showing nothing.
std::string close_open_elements(std::string_view markup) {
  std::vector<std::string> open;
  std::size_t i = 0;
  while ((i = markup.find('<', i)) != std::string_view::npos) {
    const std::size_t end = markup.find('>', i);
    if (end == std::string_view::npos) break;
    std::string_view tag = markup.substr(i + 1, end - i - 1);
    i = end + 1;
    if (tag.empty() || tag[0] == '!' || tag[0] == '?' || tag.back() == '/') continue;
    const bool closing = tag[0] == '/';
    if (closing) tag.remove_prefix(1);
    const std::size_t name_end = tag.find_first_of(" \t\r\n");
    const std::string name(tag.substr(0, name_end));
    if (!closing) {
      open.push_back(name);
      continue;
    }
    // A closing tag ends its element and whatever was left open inside it.
    for (std::size_t k = open.size(); k > 0; --k) {
      if (open[k - 1] != name) continue;
      open.resize(k - 1);
      break;
    }
  }
  std::string closed(markup);
  for (auto it = open.rbegin(); it != open.rend(); ++it) closed += "</" + *it + ">";
  return closed;
}

bool parse_wrapped(std::string_view markup, std::vector<RichRun>& runs) {
  // Parsed like the layouts (whitespace condensed, so "spacing" makes the
  // gaps between runs) so that the same markup looks the same either way.
  TiXmlDocument doc;
  const std::string wrapped = "<richtext>" + std::string(markup) + "</richtext>";
  if (!parse_xml_document(wrapped, doc) || doc.FirstChildElement() == nullptr) return false;
  runs = rich_runs_of(*doc.FirstChildElement());
  return true;
}

}  // namespace

bool parse_rich_text(std::string_view markup, std::vector<RichRun>& runs) {
  runs.clear();
  return parse_wrapped(markup, runs) || parse_wrapped(close_open_elements(markup), runs);
}

void frame_layout(Layout& layout, const Rect& client, const Measure& measure) {
  int top = client.top;
  int bottom = client.bottom;
  if (layout.header) {
    const int h = std::min(strip_height(*layout.header, client, measure), client.height());
    layout.header->set_rect({client.left, client.top, client.right, client.top + h}, measure);
    top = layout.header->rect.bottom;
  }
  if (layout.footer) {
    const int h = std::min(strip_height(*layout.footer, client, measure), bottom - top);
    layout.footer->set_rect({client.left, bottom - h, client.right, bottom}, measure);
    bottom = layout.footer->rect.top;
  }
  if (layout.body) layout.body->set_rect({client.left, top, client.right, bottom}, measure);
}

}  // namespace salvor::skin
