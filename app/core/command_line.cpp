#include "app/core/command_line.h"

#include "common/text.h"

namespace salvor::app {

std::optional<Switches> ParseSwitches(const std::vector<std::u16string>& arguments) {
  Switches switches;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::u16string_view argument = arguments[i];
    const size_t dashes = argument.find_first_not_of(u"-/");
    if (dashes == 0 || dashes == std::u16string_view::npos || dashes > 2) return std::nullopt;
    argument.remove_prefix(dashes);
    std::u16string_view name = argument;
    std::optional<std::u16string_view> value;
    if (const size_t split = argument.find_first_of(u"=:"); split != std::u16string_view::npos) {
      name = argument.substr(0, split);
      value = argument.substr(split + 1);
    }
    auto is = [&](std::u16string_view wanted) { return text::equals_ignore_case(name, wanted); };
    if (is(u"do")) {
      if (!value) {
        if (i + 1 >= arguments.size()) return std::nullopt;
        value = arguments[++i];
      }
      switches.do_value = std::u16string(*value);
      continue;
    }
    if (value) return std::nullopt;
    if (is(u"setupcache")) switches.setup_cache = true;
    else if (is(u"safemonitor")) switches.safe_monitor = true;
    else if (is(u"uninstall")) switches.uninstall = true;
    else if (is(u"installlocalengine")) switches.install_local_engine = true;
    else if (is(u"elevated")) switches.elevated = true;
    else return std::nullopt;
  }
  return switches;
}

}  // namespace salvor::app
