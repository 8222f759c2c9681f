// Reading the skin framework's XML documents (style table, string table and
// window layouts) with TinyXML into the portable tables and element trees.
// The Win32 side fetches the "GWRES" resources and hands their text here.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "skin/core/element.h"
#include "skin/core/style.h"

class TiXmlDocument;

namespace salvor::skin {

// Parses UTF-8 XML text into doc. False for text that is not well-formed
// UTF-8 (TinyXML would read past its end) or does not parse.
bool parse_xml_document(std::string_view xml, TiXmlDocument& doc);

// Each returns false when the text does not parse or its root element is not
// the expected one; the table is emptied first either way (the style table
// keeps its default style).
bool load_style_table(std::string_view xml, StyleTable& table);
bool load_string_table(std::string_view xml, StringTable& table);

// A window layout: root "layer" with "header", "body" and "footer" parts.
struct Layout {
  std::u16string title;
  int width = 0;
  int height = 0;
  bool app_window = false;  // "appwin": a task-bar button
  bool resizable = false;   // "resize"
  bool no_border = false;   // "noborder": tool window, top-most
  int header_height = 0;
  int footer_height = 0;
  // Each part is a "dlg"; a layout without one simply lacks that part.
  std::unique_ptr<CGwWindow> header;
  std::unique_ptr<CGwWindow> body;
  std::unique_ptr<CGwWindow> footer;
};

// Null when the text does not parse or its root is not "layer".
std::unique_ptr<Layout> load_layout(std::string_view xml, const StyleTable& styles,
                                    const StringTable& strings);

// Rich text markup as a richtext element's content, in UTF-8 ("a <b>b</b>
// <br/><a id=\"7\">c</a>"): text runs with "b", "i", "u" (font bits), "c
// color=" (colour), "a" (links with "id" and "href") and "br". Elements left
// open at the end are closed there. No runs and false when it still does not
// parse.
bool parse_rich_text(std::string_view markup, std::vector<RichRun>& runs);

// Frame of a layer: header across the top, footer across the bottom, body
// between, all inside client.
void frame_layout(Layout& layout, const Rect& client, const Measure& measure);

}  // namespace salvor::skin
