// A scripted engine for recovery runs: the run exports of the engine bound
// to functions that record each call and write a small file through the
// real destination (so names, numbering and folders behave as in a real
// run), failing for the positions they are told to.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/core/engine_binding.h"
#include "platform/destination.h"

namespace salvor::testing {

struct ScriptedRecovery {
  struct Call {
    uint32_t method = 0;
    uint64_t position = 0;
    uint64_t size = 0;
    std::u16string relative;
    uint64_t modified = 0;
  };
  std::vector<Call> calls;
  std::vector<std::pair<std::u16string, uint64_t>> folder_times;
  std::set<uint64_t> failing;                   // positions that fail (source failure)
  std::set<uint64_t> full;                      // positions at which the destination is "full"
  std::function<void(size_t index)> on_call;    // before each file
  std::unique_ptr<platform::Destination> destination;
  bool ended = false;

  // Binds the run exports of `engine` to this script (one at a time).
  void Bind(app::EngineBinding& engine);
};

}  // namespace salvor::testing
