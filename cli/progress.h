// What salvor-cli shows while a scan or recovery runs: a 100 ms ticker
// thread drives the run's progress timer, turns Ctrl-C into a stop, and
// redraws one status line on stderr when stderr is a terminal.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/core/recovery_run.h"
#include "app/core/scan_run.h"

namespace salvor::cli {

// Calls `tick` every 100 ms on its own thread until destroyed.
class Ticker {
 public:
  explicit Ticker(std::function<void()> tick);
  Ticker(const Ticker&) = delete;
  Ticker& operator=(const Ticker&) = delete;
  ~Ticker();

 private:
  std::function<void()> tick_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::thread thread_;
};

// A status line on stderr, redrawn in place; nothing unless stderr is a
// terminal. Cleared when destroyed.
class StatusLine {
 public:
  StatusLine();
  ~StatusLine();
  void Show(const std::string& text);

 private:
  bool enabled_;
  bool shown_ = false;
  std::mutex mutex_;
};

// The status lines. `rate` is the run's throughput so far (bytes swept,
// records or bytes written per second), sampled by the caller.
std::string ScanStatus(const app::ScanProgress& progress, const app::ProgressRate& rate);
std::string RecoveryStatus(const app::ScanProgress& progress, size_t planned, const app::ProgressRate& rate);
// "1.2 GB/s" or "350 items/s", and "0:42 left"; empty when not known.
std::string RateText(double per_second, bool bytes);
std::string TimeLeftText(double seconds);

// Runs a scan to its end with progress and Ctrl-C; false when interrupted
// (the run is stopped then) or when it could not start (`error` says why).
// `between_waits`, when given, is called on this thread every few
// milliseconds while the scan runs.
bool RunScanWithProgress(app::ScanRun& run, const app::ScanRequest& request, std::u16string& error,
                         const std::function<void()>& between_waits = {});
// The same for a recovery run; false when interrupted (the file being
// written is finished first, and what was written stays).
bool RunRecoveryWithProgress(app::RecoveryRun& run, const app::RecoveryRequest& request, bool& started);

// Ends the process with `code` at once, output flushed, without running
// exit handlers: used after a stop while an abandoned worker may still be
// inside the engine.
[[noreturn]] void ExitNow(int code);

inline constexpr int kExitInterrupted = 130;

}  // namespace salvor::cli
