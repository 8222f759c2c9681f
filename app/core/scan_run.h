// A scan run: one engine scan of a volume on a worker thread, with the
// progress counters a progress display reads, pause and a cooperative stop.
//
// The engine reports records through the run's scan callbacks on the worker
// thread; each callback first waits while the run is paused, then counts the
// record, may descend into a folder, and stores it as a FoundItem. Stop sets
// a flag the callbacks test: from then on nothing is counted, entered or
// stored, and the worker ends when the running engine call returns. The
// engine has one global state, so a new run (or a recovery run) does not
// start while an abandoned worker is still inside it (EngineUse).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/core/engine_binding.h"
#include "app/core/found_item.h"

namespace salvor::app {

enum class ScanMode : int { kQuick = 1, kUnformat = 2 };

// A manual-reset gate: open lets waiters through, closed holds them.
// Release() opens it for good (a stopped run must not stay held).
class PauseGate {
 public:
  void Open();
  void Close();
  void Release();
  bool IsOpen() const;
  // Blocks while the gate is closed.
  void Wait();

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = true;
  bool released_ = false;
};

// A one-way "the worker has finished" flag that other threads can ask about
// or wait for.
class DoneSignal {
 public:
  void Set();
  bool IsSet() const;
  // True once set; false when the timeout passed first (max(): no limit).
  bool Wait(std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool set_ = false;
};

// The counters of a scan or recovery run. The worker writes them, a display
// timer reads them from another thread; every field is atomic, and the last
// name sits behind a small lock.
//
// The percentage follows the work done against the work there is, stage by
// stage: the Quick Scan's folders listed of the folders known (and the
// $MFT records read of the records there are), the Unformatting Scan's bytes
// swept of the bytes to sweep, the recovery's bytes written of the bytes
// selected. Each stage owns a range of the bar; the bar never goes back, and
// stays below 98 (scans) or 100 (recovery) until the worker says it is done.
class ScanProgress {
 public:
  static constexpr int kPhaseRecords = 1;   // Quick Scan: folders listed, $MFT records read
  static constexpr int kPhaseBytes = 2;     // Unformatting Scan: bytes swept
  static constexpr int kPhaseRecovery = 3;  // recovery: bytes written
  // A file costs about as much as this many bytes on top of its data
  // (creating, closing, its folder), so that a run of empty files moves too.
  static constexpr uint64_t kRecoveryBytesPerFile = 64 * 1024;

  std::atomic<int32_t> folders{0};
  std::atomic<int32_t> files{0};
  std::atomic<int32_t> phase{kPhaseRecords};
  std::atomic<int32_t> percent{0};
  std::atomic<uint64_t> ticks{0};
  // The running stage: work done of the work known, shown within
  // [stage_first, stage_first + stage_span] percent.
  std::atomic<uint64_t> done_units{0};
  std::atomic<uint64_t> total_units{0};
  std::atomic<int32_t> stage_first{0};
  std::atomic<int32_t> stage_span{97};
  std::atomic<uint64_t> bytes_done{0};   // recovery: bytes written so far
  std::atomic<uint64_t> bytes_total{0};  // recovery: bytes of the selected files
  std::atomic<uint64_t> files_total{0};  // recovery: files in the run

  // Zeroes the counters and sets the phase; one stage spans the bar.
  void Reset(int new_phase);
  // The next stage: `total` units of work shown from `first_percent` over
  // `span_percent`.
  void BeginStage(int first_percent, int span_percent, uint64_t total);
  // The percentage the figures give now (never below the one shown).
  int32_t Figure() const;
  // One 100 ms tick of a running (not paused) run: percent = Figure().
  void Tick();

  void SetLastName(std::u16string_view name);
  std::u16string LastName() const;

 private:
  mutable std::mutex name_mutex_;
  std::u16string last_name_;
};

// Throughput and time left from the samples of one stage's work (units per
// second, smoothed); the status line and the progress dialog show them.
class ProgressRate {
 public:
  // The work done `seconds` after the start.
  void Sample(double seconds, uint64_t done_units);
  // Units per second; 0 until two samples a little apart are in.
  double per_second() const { return rate_; }
  // Seconds until `total_units` are done at the current rate; negative when
  // not known.
  double SecondsLeft(uint64_t total_units) const;

 private:
  double last_seconds_ = -1;
  uint64_t last_done_ = 0;
  uint64_t done_ = 0;
  double rate_ = 0;
};

// The engine is one global object: one worker at a time may be inside it.
// A stopped worker keeps its claim until its engine call returns.
class EngineUse {
 public:
  static bool TryClaim();
  static void Release();
  static bool Busy();
  // Waits until no worker is inside the engine; false on timeout.
  static bool WaitIdle(std::chrono::milliseconds timeout);
};

struct ScanRequest {
  std::u16string file_system;  // as the volume reports it: "FAT", "FAT32", "EXFAT", "NTFS"
  int kind = 0;                // the engine's VolumeKind
  std::u16string root;         // drive root, "E:\"
  uint64_t total_bytes = 0;    // the volume's size
  ScanMode mode = ScanMode::kQuick;
  // False: a Quick Scan's present entries are counted and their folders
  // entered, but not stored (for a listing of the deleted files only).
  bool keep_present = true;
};

// How the engine finds the data of `item`, found by a scan of `file_system`
// in `mode`: the method, position and size of a recovery or verdict
// request. False for a file system the engine does not recover from.
bool ItemRequest(const FoundItem& item, std::u16string_view file_system, ScanMode mode,
                 ReRecoverItemRequest& request);

class ScanRun {
 public:
  // `engine` must outlive every worker this run starts (the program keeps
  // its binding for the life of the process).
  explicit ScanRun(const EngineBinding& engine);
  ScanRun(const ScanRun&) = delete;
  ScanRun& operator=(const ScanRun&) = delete;
  // Stops a run still going; never waits for the engine.
  ~ScanRun();

  // Called on the worker after the engine returned and before percent
  // becomes 100, with percent at 98 (not after a stop), with the items
  // found (the deleted and all-items lists): the program builds its trees
  // here, and may take the items.
  std::function<void(FoundItems& items)> on_engine_done;

  // Starts the worker. False, and nothing started, while an abandoned
  // worker of an earlier run is still inside the engine, or while this run
  // is still going.
  bool Start(const ScanRequest& request);
  // Start, then wait for the end; false when it could not start.
  bool RunToEnd(const ScanRequest& request);

  void Pause();
  void Continue();
  bool paused() const;
  // Abandons the run at once: nothing reported afterwards is counted or
  // stored, no folder is entered any more; what was collected stays.
  void Stop();
  bool stopped() const;

  // Waits for the worker to end; false on timeout.
  bool Wait(std::chrono::milliseconds timeout = std::chrono::milliseconds::max());
  // The worker has ended (finished, or stopped and out of the engine).
  bool done() const;
  // The run reached 100 percent.
  bool finished() const;
  // The engine opened the volume and its scan calls succeeded.
  bool engine_ok() const;

  // The display timer's 100 ms tick; nothing while paused.
  void Tick();
  const ScanProgress& progress() const;
  ScanMode mode() const;
  const ScanRequest& request() const;

  // Valid once done(), or after Stop() (what was collected until then).
  const ItemList& deleted_items() const;
  const ItemList& all_items() const;
  // The store of the items, which a caller may take (move) once done().
  FoundItems& items();
  // While the run goes on, too: the items of the all-items list from number
  // `from` on, as stored so far. The store keeps every item where it is, so
  // the pointers stay valid until the items are taken or the run restarted.
  // An Unformatting Scan's items are complete once listed (verdict
  // included); a Quick Scan judges its deleted files after the scan.
  void CopyNewItems(size_t from, std::vector<const FoundItem*>& out) const;

  // NTFS scanning pass: 0 idle, 1 quick pass, 2 unformat pass (folder naming
  // of the results reads it).
  int ntfs_phase() const;

  struct Shared;

 private:
  const EngineBinding& engine_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace salvor::app
