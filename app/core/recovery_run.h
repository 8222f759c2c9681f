// A recovery run: the chosen found items written one by one under a
// destination folder by the engine, on a worker thread, with progress,
// pause between files and a cooperative stop.
//
// Recovery works on items, not on path texts: each selected item is written
// once (an item chosen twice, as a checked node and a checked row, is taken
// once). Every name from the volume is made safe first; the engine's
// recovery run then writes below the destination without following links
// and never replaces a name that exists: a second item on one name, or a
// name the destination already holds, is written under the next free
// numbered name ("a (1).txt"), decided against the disk. An engine failure
// is counted and reported with the file it concerns; a full or failing
// destination stops the run at once.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/core/engine_binding.h"
#include "app/core/found_item.h"
#include "app/core/scan_run.h"

namespace salvor::app {

inline constexpr const char16_t* kNothingSelectedText = u"You haven't selected the files you want to recover .";
inline constexpr const char16_t* kAllRecoveredText = u"All the files selected have  been recovered. ";
inline constexpr const char16_t* kDestinationOnVolumeText =
    u"The destination folder lies on the volume being scanned: writing there could overwrite the very files "
    u"being recovered. Choose a folder on another drive.";

// Where one selected item is asked to go; the name written may differ
// (numbered, or shortened to fit the destination).
struct RecoveryTarget {
  const FoundItem* item = nullptr;
  std::u16string relative;  // safe components joined by "/" ("Docs/a.txt")
};

// The targets of a selection: folder items and repeated items are left out;
// names are made safe.
std::vector<RecoveryTarget> PlanRecovery(const std::vector<const FoundItem*>& selection);

struct RecoveryRequest {
  std::vector<const FoundItem*> items;  // the selection; copied at Start
  std::u16string destination;
  std::u16string file_system;  // "FAT", "FAT32", "EXFAT" or "NTFS": selects the export
  ScanMode mode = ScanMode::kQuick;
  // The scanned volume as the system names it: a device or image path, a
  // drive ("E:") on Windows. Empty when not known: nothing is checked.
  std::u16string source;
  // Recover onto the scanned volume all the same (the user insists).
  bool allow_destination_on_source = false;
  // Folders of the scan whose times the folders made for them get, once
  // their contents are written.
  std::vector<const FoundItem*> folders;
  uint32_t file_mode = 0;    // POSIX permission bits; 0: 0600
  uint32_t folder_mode = 0;  // 0: 0700
  bool fat_times_utc = false;  // FAT times are UTC rather than the machine's local time
};

// Why a run did not start.
enum class StartFailure { kNone, kNothingSelected, kBusy, kDestinationOnSource, kDestinationUnusable };

// The check every run makes before it writes anything: kDestinationOnSource
// when the destination lies on the scanned volume (the device itself, a
// partition or device-mapper volume of it, a loop or FUSE mount of the
// image) and the request does not allow it, since writing there could
// overwrite the very data being recovered; else kNone. A caller may ask
// before a long scan.
StartFailure CheckDestination(const RecoveryRequest& request);

struct RecoveryResult {
  std::u16string relative;  // the path written below the destination ("Docs/a (1).txt"), else the one asked for
  std::u16string path;      // the output file
  uint64_t size = 0;        // the item's size
  uint64_t written = 0;     // the output file's size afterwards
  uint64_t allocated = 0;   // what it takes on the destination
  bool ok = false;          // the engine wrote the file (whole, or cut short where the volume ends)
  std::u16string error;     // why not, when !ok; why it is cut short, when written < size
  uint64_t modified_time = 0;  // the modification time given to the file (FILETIME), 0 when none
  bool created_time_set = false;
  bool local_time = false;     // the time was read as local time (FAT)
};

class RecoveryRun {
 public:
  // `engine` must outlive the worker.
  explicit RecoveryRun(const EngineBinding& engine);
  RecoveryRun(const RecoveryRun&) = delete;
  RecoveryRun& operator=(const RecoveryRun&) = delete;
  ~RecoveryRun();

  // Starts the worker. False, and nothing started, when the selection holds
  // no file (message(): the nothing-selected text), the destination folder
  // cannot be made, or another worker is inside the engine.
  bool Start(const RecoveryRequest& request);

  void Pause();    // holds the run before the next file
  void Continue();
  bool paused() const;
  // No further file is started; files already written stay.
  void Stop();
  bool stopped() const;
  bool Wait(std::chrono::milliseconds timeout = std::chrono::milliseconds::max());
  bool done() const;
  // One display tick: the percentage follows the bytes written (also while
  // paused, as the file under way is finished first).
  void Tick();
  const ScanProgress& progress() const;

  // True when the destination ended the run (full, failing): abort_reason().
  bool aborted() const;
  std::u16string abort_reason() const;

  // Once done(): one result per file started, in order.
  const std::vector<RecoveryResult>& results() const;
  size_t planned() const;  // files in the run
  size_t failures() const;
  // The closing text: every file written; some failed (how many); stopped
  // (by the user or by the destination, with its cause); nothing selected;
  // or why the run could not start.
  std::u16string message() const;
  // Why the last Start returned false (kNone after a start).
  StartFailure start_failure() const { return start_failure_; }

  // Called on the worker as its last act, once results() and message() are
  // final (also after Stop); set before Start. A window posts itself a note.
  std::function<void()> on_done;

  struct Shared;

 private:
  const EngineBinding& engine_;
  std::shared_ptr<Shared> shared_;
  std::u16string start_error_;
  StartFailure start_failure_ = StartFailure::kNone;
};

}  // namespace salvor::app
