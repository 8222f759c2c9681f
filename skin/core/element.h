// The element tree of a skinned window: light-weight drawn elements built
// from a layout, with their common attributes, state word and size flags,
// the process-wide handle registry, look-up by id, layout (positions and
// flow over sizes that a measurer supplies) and hit testing. Nothing here
// draws; the Win32 view paints the tree and feeds it the mouse.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "skin/core/geometry.h"
#include "skin/core/rich_text_layout.h"
#include "skin/core/style.h"
#include "skin/core/values.h"

namespace salvor::skin {

// Size flags of an element.
namespace size_flag {
inline constexpr std::uint32_t kWidthFixed = 0x1;
inline constexpr std::uint32_t kWidthContent = 0x2;
inline constexpr std::uint32_t kWidthFull = 0x4;
inline constexpr std::uint32_t kHeightFixed = 0x10;
inline constexpr std::uint32_t kHeightContent = 0x20;
inline constexpr std::uint32_t kHeightFull = 0x40;
inline constexpr std::uint32_t kNotFloating = 0x100;
inline constexpr std::uint32_t kFloating = 0x200;
inline constexpr std::uint32_t kWidthMask = 0x7;
inline constexpr std::uint32_t kHeightMask = 0x70;
inline constexpr std::uint32_t kFloatMask = 0x300;
}  // namespace size_flag

enum class VAlign { kTop = 0, kMiddle = 0x1000, kBottom = 0x2000 };
enum class HAlign { kLeft = 0, kCenter = 0x4000, kRight = 0x8000 };

// Tags a layout may use for elements ("br" only breaks flowed lines).
bool is_element_tag(std::string_view tag);

class CGwWindow;
// Natural size of a leaf element (text extent, skin size ...): the Win32 view
// measures with GDI, tests with fixed numbers.
using Measure = std::function<Size(const CGwWindow&)>;

// One element of the tree (a "gw window"). A single class serves every tag
// of the layouts: the tag decides which attributes an element takes, how the
// Win32 side draws it (skin/win/element_paint.cpp) and whether it holds
// children, so each tag needs no class of its own.
class CGwWindow {
 public:
  explicit CGwWindow(std::string tag);
  ~CGwWindow();
  CGwWindow(const CGwWindow&) = delete;
  CGwWindow& operator=(const CGwWindow&) = delete;

  // Process-wide, unique, positive; 0 is never a handle. from_handle gives
  // null once the element is gone, so holders of handles never dangle.
  std::uint32_t handle() const { return handle_; }
  static CGwWindow* from_handle(std::uint32_t handle);

  const std::string& tag() const { return tag_; }
  bool is_container() const;  // dlg, tab, tabctrl

  // Applies one attribute: the common ones, then the element class's own.
  // False for an attribute neither knows or a value they reject (nothing
  // changes then). "show", "width", "height" and "float" apply only while
  // loading. Changing "pos" at run time asks the caller to re-lay out the
  // parent (relayout_child).
  bool set_attribute(std::string_view name, std::string_view value, bool loading,
                     const StyleTable& styles);
  // Class-specific attributes kept as written ("skin", "sub", "ctrlid" ...).
  const std::string* class_attribute(std::string_view name) const;

  CGwWindow* append(std::unique_ptr<CGwWindow> child);
  void clear_children();
  CGwWindow* parent() const { return parent_; }
  const std::vector<std::unique_ptr<CGwWindow>>& children() const { return children_; }

  // Depth first: direct children first, then each container child in turn.
  CGwWindow* find_by_id(int id);

  bool is_hidden() const { return (state & state::kHidden) != 0; }
  bool hidden_in_tree() const;    // itself or an ancestor hidden
  bool disabled_in_tree() const;  // itself or an ancestor disabled
  bool is_floating() const { return (size_flags & size_flag::kFloating) != 0; }
  // Elements whose look follows the state word repaint on every change.
  bool needs_redraw_on_state_change() const;

  // Deepest visible, non-transparent element under the point, or null.
  CGwWindow* hit_test(int x, int y);

  // Layout. place() sets the element's rectangle from its origin (x, y)
  // inside the parent's client area, then lays out its children.
  void place(int x, int y, const Rect& parent_client, const Measure& measure);
  // Gives the element a rectangle outright (the frame's parts, tab pages).
  void set_rect(const Rect& rect, const Measure& measure);
  Rect client_rect() const;  // rect shrunk by the style's margins
  void layout_children(const Measure& measure);
  void relayout_child(CGwWindow& child, const Measure& measure);

  // Tab control ("tabctrl"): its "tab" children are pages that fill the
  // control; only the selected one is shown.
  int tab_count() const;
  CGwWindow* tab_page(int index) const;
  int selected_tab() const { return selected_tab_; }
  // Selects the "cursel" page (page 0 when absent or out of range) and
  // hides the others; the loader calls it once the pages exist.
  void init_tabs();
  // Selects page index. allow(new_index, old_index) is asked first and may
  // cancel; an index out of range is refused before asking, the selected
  // page after. True when the page changed; the new page gets the page
  // area at once.
  bool select_tab(int index, const std::function<bool(int, int)>& allow,
                  const Measure& measure);
  // Header k of the strip ("tabwidth" x "tabheight", or the tab skin's size
  // that the measurer gave the control at its last layout).
  Rect tab_header_rect(int index) const;
  int tab_header_at(int x, int y) const;  // -1 when no header is there
  Rect tab_page_area() const;

  // Rich text ("richtext"): the runs of its markup; the Win32 view breaks
  // them into lines and keeps one "link" child per link piece for the mouse.
  std::vector<RichRun> rich_runs;
  std::vector<RichPiece> rich_pieces;  // the runs as last laid out

  // Public fields: the element's data as the view and the dialogs use it.
  int id = 0;
  Rect rect;
  std::uint32_t state = 0;
  std::uint32_t size_flags = size_flag::kWidthContent | size_flag::kHeightContent |
                             size_flag::kNotFloating;
  GwStyle style;
  std::u16string text;
  int fixed_width = 0;
  int fixed_height = 0;
  VAlign valign = VAlign::kTop;
  HAlign align = HAlign::kLeft;
  std::string href;
  bool transparent = false;
  std::u16string tip;
  PosSpec pos;
  bool only_draw_child = false;  // "onlydrawchild" of dlg

 private:
  bool set_class_attribute(std::string_view name, std::string_view value);
  Size content_size(const Rect& parent_client, const Measure& measure);
  void apply_size_flags(const Rect& parent_client);
  void flow_children(const Measure& measure, int& widest_right, int& lowest_bottom);

  int class_int(std::string_view name, int fallback) const;

  std::uint32_t handle_ = 0;
  int selected_tab_ = -1;
  Size tab_header_size_;  // cached at layout for hit testing
  std::string tag_;
  CGwWindow* parent_ = nullptr;
  std::vector<std::unique_ptr<CGwWindow>> children_;
  std::map<std::string, std::string, std::less<>> class_attributes_;
};

}  // namespace salvor::skin
