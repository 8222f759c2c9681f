// The program's command-line switches: "setupcache", "safemonitor",
// "uninstall", "installlocalengine" and "do" (with a value), plus the mark
// the program gives its own elevated restart. A switch may be written
// "/name", "-name" or "--name"; a value follows after "=" or ":", or as the
// next argument. Names compare without case.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace salvor::app {

struct Switches {
  bool setup_cache = false;
  bool safe_monitor = false;
  bool uninstall = false;
  bool install_local_engine = false;
  bool elevated = false;   // started again with "runas" by the program itself
  std::u16string do_value;  // "do": handed to the main window
};

// Nothing when an argument is not a known switch (or "do" lacks its value).
std::optional<Switches> ParseSwitches(const std::vector<std::u16string>& arguments);

// The switch that marks the elevated restart.
inline constexpr const char16_t* kElevatedSwitch = u"/elevated";

}  // namespace salvor::app
