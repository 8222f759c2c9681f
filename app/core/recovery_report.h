// What the program tells around a recovery run: before it, whether the
// destination has room for the selection; while it runs, the bytes written
// and the time left; after it, the files that did not come back whole and
// why. Window-free, so salvor-cli and the tests share the rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/core/found_item.h"
#include "app/core/recovery_run.h"

namespace salvor::app {

// Bytes the selection takes on a destination with `cluster_bytes` clusters
// (0: unknown, sizes as they are): each file once, folders left out, every
// size rounded up to whole clusters.
uint64_t SpaceNeeded(const std::vector<const FoundItem*>& selection, uint64_t cluster_bytes);

// Whether `free_bytes` holds what SpaceNeeded gave, with the text that says
// why not (empty when it does).
struct SpaceCheck {
  bool enough = true;
  std::u16string text;
};
SpaceCheck CheckSpace(uint64_t needed_bytes, uint64_t free_bytes);

// "1:05 left", "1:02:03 left"; empty when not known (negative).
std::u16string TimeLeftText(double seconds);
// "1.50 MB of 3.00 MB".
std::u16string BytesOfText(uint64_t done_bytes, uint64_t total_bytes);

// One file of a run that did not come back whole: not written, or cut short.
struct FailedFile {
  std::u16string relative;  // below the destination, "\"-separated
  std::u16string reason;
};
std::vector<FailedFile> FailedFiles(const std::vector<RecoveryResult>& results);

// How a run ended, for the status line.
struct RunOutcome {
  bool completed = false;      // every planned file was started and the run ended by itself
  std::u16string abort_reason;  // the destination ended the run (full, failing); empty otherwise
  size_t planned = 0;          // files in the run
  size_t whole = 0;            // files written whole
  size_t failed = 0;           // FailedFiles: not written, or cut short
};
// The status line after a run, counts first (it is one line and may be cut
// at its end): the closing text of a run that wrote everything whole, how
// many files failed, or how far a stopped run got and why it stopped.
std::u16string RecoveryStatusText(const RunOutcome& outcome);

}  // namespace salvor::app
