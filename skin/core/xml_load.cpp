// TinyXML readers for the style table, the string table and window layouts.
#include "skin/core/xml_load.h"

#include <tinyxml.h>

#include <algorithm>

#include "common/text.h"

namespace salvor::skin {
namespace {

// Layouts nest a handful of panels; this bounds recursion on a broken one.
constexpr int kMaxDepth = 64;

bool parse(std::string_view xml, TiXmlDocument& doc) {
  const std::string text(xml);  // TinyXML wants a terminated string
  doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
  return !doc.Error();
}

const TiXmlElement* root_named(const TiXmlDocument& doc, std::string_view name) {
  const TiXmlElement* root = doc.FirstChildElement();
  if (root == nullptr || root->ValueStr() != name) return nullptr;
  return root;
}

std::string_view attribute(const TiXmlElement& e, const char* name) {
  const char* value = e.Attribute(name);
  return value != nullptr ? std::string_view(value) : std::string_view();
}

void load_element(const TiXmlElement& xml, Element& element, const StyleTable& styles,
                  const StringTable& strings, int depth);

void load_children(const TiXmlElement& xml, Element& parent, const StyleTable& styles,
                   const StringTable& strings, int depth) {
  if (depth >= kMaxDepth) return;
  for (const TiXmlElement* child = xml.FirstChildElement(); child != nullptr;
       child = child->NextSiblingElement()) {
    if (!is_element_tag(child->ValueStr())) continue;  // unknown tags are skipped
    Element* e = parent.append(std::make_unique<Element>(child->ValueStr()));
    load_element(*child, *e, styles, strings, depth + 1);
  }
}

void load_element(const TiXmlElement& xml, Element& element, const StyleTable& styles,
                  const StringTable& strings, int depth) {
  for (const TiXmlAttribute* a = xml.FirstAttribute(); a != nullptr; a = a->Next())
    element.set_attribute(a->Name(), a->Value(), /*loading=*/true, styles);  // rejects ignored
  if (const TiXmlNode* first = xml.FirstChild(); first != nullptr && first->ToText() != nullptr)
    element.text = expand_string_refs(text::from_utf8(first->ValueStr()), strings);
  // Rich text children are formatted runs, not elements; the Win32 rich
  // text reads them from its own markup.
  if (element.tag() != "richtext") load_children(xml, element, styles, strings, depth);
}

std::unique_ptr<Element> load_part(const TiXmlElement& layer, const char* name,
                                   const StyleTable& styles, const StringTable& strings) {
  const TiXmlElement* xml = layer.FirstChildElement(name);
  if (xml == nullptr) return nullptr;
  auto part = std::make_unique<Element>("dlg");
  load_element(*xml, *part, styles, strings, 1);
  return part;
}

// Height of a header or footer strip: its "height", else what its content
// needs.
int strip_height(Element& part, const Rect& client, const Measure& measure) {
  if (part.size_flags & size_flag::kHeightFixed) return part.fixed_height;
  const std::uint32_t saved = part.size_flags;
  part.size_flags = (saved & ~size_flag::kWidthMask) | size_flag::kWidthFull;
  part.place(client.left, client.top, client, measure);
  part.size_flags = saved;
  return part.rect.height();
}

}  // namespace

bool load_style_table(std::string_view xml, StyleTable& table) {
  table.clear();
  TiXmlDocument doc;
  if (!parse(xml, doc)) return false;
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
  if (!parse(xml, doc)) return false;
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
  if (!parse(xml, doc)) return nullptr;
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
