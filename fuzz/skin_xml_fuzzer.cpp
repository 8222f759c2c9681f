// libFuzzer harness for the skin framework's XML readers: each input is read
// as a style table, a string table, a skin table, rich-text markup and a
// window layout; a layout that loads is then framed and laid out (positions,
// flow, tab pages, rich-text breaking) in a window of fixed size, and hit
// tested. The documents are built into the program, but a broken one must
// still end in a false result, never a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "skin/core/element.h"
#include "skin/core/rich_text_layout.h"
#include "skin/core/skin_kinds.h"
#include "skin/core/style.h"
#include "skin/core/xml_load.h"

namespace {

using namespace salvor::skin;

// Every character 7 pixels wide and 13 high: enough for layout to run.
Size fixed_measure(const CGwWindow& e) {
  return {static_cast<int>(e.text.size()) * 7, e.text.empty() ? 0 : 13};
}

int fixed_width(std::u16string_view text, std::uint16_t) { return static_cast<int>(text.size()) * 7; }

void walk(CGwWindow& e, int depth) {
  if (depth > 80) return;
  for (const auto& child : e.children()) walk(*child, depth + 1);
  if (!e.rich_runs.empty()) {
    RichTextMetrics m;
    m.spacing_px = e.style.spacing_px;
    m.line_spacing_px = e.style.line_spacing_px;
    layout_rich_text(e.rich_runs, e.client_rect(), m, fixed_width);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view xml(reinterpret_cast<const char*>(data), size);

  StyleTable styles;
  load_style_table(xml, styles);
  StringTable strings;
  load_string_table(xml, strings);
  parse_skin_table(xml);
  std::vector<RichRun> runs;
  if (parse_rich_text(xml, runs)) {
    RichTextMetrics m;
    layout_rich_text(runs, {0, 0, 300, 200}, m, fixed_width);
  }

  auto layout = load_layout(xml, styles, strings);
  if (!layout) return 0;
  frame_layout(*layout, {0, 0, 640, 480}, fixed_measure);
  for (CGwWindow* part : {layout->header.get(), layout->body.get(), layout->footer.get()}) {
    if (part == nullptr) continue;
    walk(*part, 0);
    for (int y = 0; y < 480; y += 37)
      for (int x = 0; x < 640; x += 41) part->hit_test(x, y);
  }
  return 0;
}
