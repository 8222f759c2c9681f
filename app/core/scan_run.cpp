#include "app/core/scan_run.h"

#include <algorithm>
#include <deque>
#include <map>
#include <thread>

#include "app/core/fat_scan.h"

namespace salvor::app {

// --- PauseGate ---------------------------------------------------------------

void PauseGate::Open() {
  std::lock_guard lock(mutex_);
  open_ = true;
  changed_.notify_all();
}

void PauseGate::Close() {
  std::lock_guard lock(mutex_);
  open_ = false;
}

void PauseGate::Release() {
  std::lock_guard lock(mutex_);
  released_ = true;
  changed_.notify_all();
}

bool PauseGate::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_ || released_;
}

void PauseGate::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return open_ || released_; });
}

void DoneSignal::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  changed_.notify_all();
}

bool DoneSignal::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

bool DoneSignal::Wait(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  if (timeout == std::chrono::milliseconds::max()) {
    changed_.wait(lock, [this] { return set_; });
    return true;
  }
  return changed_.wait_for(lock, timeout, [this] { return set_; });
}

// --- ScanProgress ------------------------------------------------------------

void ScanProgress::Reset(int new_phase) {
  folders = 0;
  files = 0;
  percent = 0;
  ticks = 0;
  bytes_done = 0;
  bytes_total = 0;
  files_total = 0;
  phase = new_phase;
  BeginStage(0, new_phase == kPhaseRecovery ? 99 : 97, 0);
  SetLastName(u"");
}

void ScanProgress::BeginStage(int first_percent, int span_percent, uint64_t total) {
  done_units = 0;
  total_units = total;
  stage_first = first_percent;
  stage_span = span_percent;
}

int32_t ScanProgress::Figure() const {
  const int32_t shown = percent;
  if (phase == kPhaseRecovery) {
    // Bytes written of the bytes selected, each file weighing a little more
    // than its data: up to 99 until the last file is done.
    const uint64_t total = bytes_total + files_total * kRecoveryBytesPerFile;
    if (total == 0 || shown >= 99) return shown;
    const uint64_t done = std::min<uint64_t>(bytes_done, bytes_total) +
                          std::min<uint64_t>(static_cast<uint64_t>(std::max(0, files.load())), files_total) *
                              kRecoveryBytesPerFile;
    const auto figure = static_cast<int32_t>(std::min<uint64_t>(99, done * 100 / total));
    return std::max(shown, figure);
  }
  uint64_t total = total_units;
  if (total == 0 || shown >= 97) return shown;
  uint64_t done = std::min<uint64_t>(done_units, total);
  // done * span / total without overflow: both scaled below 2^32 first (the
  // span is at most 100).
  while (total >> 32) {
    total >>= 1;
    done >>= 1;
  }
  const uint64_t part = done * static_cast<uint64_t>(std::clamp(stage_span.load(), 0, 100)) / total;
  const auto figure = static_cast<int32_t>(std::min<uint64_t>(97, static_cast<uint64_t>(stage_first) + part));
  return std::max(shown, figure);
}

void ScanProgress::Tick() {
  ++ticks;
  percent = Figure();
}

void ScanProgress::SetLastName(std::u16string_view name) {
  std::lock_guard lock(name_mutex_);
  last_name_.assign(name);
}

std::u16string ScanProgress::LastName() const {
  std::lock_guard lock(name_mutex_);
  return last_name_;
}

// --- ProgressRate ------------------------------------------------------------

void ProgressRate::Sample(double seconds, uint64_t done_units) {
  if (last_seconds_ < 0 || done_units < done_) {
    last_seconds_ = seconds;
    last_done_ = done_ = done_units;
    rate_ = 0;
    return;
  }
  done_ = done_units;
  const double elapsed = seconds - last_seconds_;
  if (elapsed < 0.5) return;  // too close for a rate
  const double now = static_cast<double>(done_units - last_done_) / elapsed;
  // Smoothed over a few seconds, so that a slow stretch does not swing the
  // time left.
  rate_ = rate_ == 0 ? now : 0.7 * rate_ + 0.3 * now;
  last_seconds_ = seconds;
  last_done_ = done_units;
}

double ProgressRate::SecondsLeft(uint64_t total_units) const {
  if (rate_ <= 0) return -1;
  return total_units > done_ ? static_cast<double>(total_units - done_) / rate_ : 0;
}

// --- EngineUse ---------------------------------------------------------------

namespace {

std::mutex g_engine_mutex;
std::condition_variable g_engine_idle;
bool g_engine_claimed = false;

}  // namespace

bool EngineUse::TryClaim() {
  std::lock_guard lock(g_engine_mutex);
  if (g_engine_claimed) return false;
  g_engine_claimed = true;
  return true;
}

void EngineUse::Release() {
  std::lock_guard lock(g_engine_mutex);
  g_engine_claimed = false;
  g_engine_idle.notify_all();
}

bool EngineUse::Busy() {
  std::lock_guard lock(g_engine_mutex);
  return g_engine_claimed;
}

bool EngineUse::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(g_engine_mutex);
  return g_engine_idle.wait_for(lock, timeout, [] { return !g_engine_claimed; });
}

// --- ScanRun -----------------------------------------------------------------

struct ScanRun::Shared {
  const EngineBinding* engine = nullptr;
  ScanRequest request;
  std::function<void(FoundItems&)> on_engine_done;
  ScanProgress progress;
  PauseGate gate;
  std::atomic<bool> stop{false};
  std::mutex items_mutex;  // the vectors, and the stop decision for each record
  FoundItems items;
  std::atomic<bool> ok{false};
  std::atomic<bool> finished{false};
  std::atomic<int> ntfs_phase{0};
  // The $MFT run being read (worker only): records of the runs before it,
  // its records, and the countdown last told.
  uint64_t mft_base = 0;
  uint64_t mft_run = 0;
  uint64_t mft_left = 0;
  DoneSignal done;
};

namespace {

using Shared = ScanRun::Shared;

std::u16string_view name_part(std::u16string_view path) {
  const size_t slash = path.rfind(u'\\');
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

// Steps every scan callback takes first: the pause, then the counts and the
// last name. False once the run is stopped: the record is discarded.
bool Report(Shared& shared, uint32_t entry_type, std::u16string_view path) {
  shared.gate.Wait();
  if (shared.stop) return false;
  if (entry_type == kEntryFolder) ++shared.progress.folders;
  if (entry_type == kEntryFile) ++shared.progress.files;
  shared.progress.SetLastName(name_part(path));
  return true;
}

// The engine's verdict on a stored file (unknown where the engine cannot
// tell); the items lock is held.
void Judge(Shared& shared, const FoundItem& item) {
  const EngineBinding& engine = *shared.engine;
  if (item.is_folder() || !engine.ReJudgeItem) return;
  ReRecoverItemRequest request;
  uint32_t verdict = kVerdictUnknown;
  if (ItemRequest(item, shared.request.file_system, shared.request.mode, request)) {
    engine.ReJudgeItem(&request, &verdict);
  }
  shared.items.SetVerdict(item, verdict);
}

// Stores the record's item once and lists it in all items, and in the
// deleted items when asked (the only ones kept when the request keeps no
// present entries). An Unformatting Scan's file is judged here, so
// that an item is complete once listed and a listing can follow the scan
// (the engine holds the record it reports, and the allocation data it is
// judged by does not change during the scan).
template <typename Record, typename Extra>
void Store(Shared& shared, const Record& record, Extra extra, bool also_deleted) {
  if (!also_deleted && !shared.request.keep_present) return;
  std::lock_guard lock(shared.items_mutex);
  if (shared.stop) return;
  const FoundItem& item = MakeFoundItem(shared.items, record, extra);
  if (shared.request.mode == ScanMode::kUnformat) Judge(shared, item);
  if (also_deleted) shared.items.deleted_items().push_back(item);
  shared.items.all_items().push_back(item);
}

// The Unformatting Scan's callback: every record goes to both vectors.
uint32_t OnFatFormatItem(_FileInfoFat record, void* user) {
  auto& shared = *static_cast<Shared*>(user);
  if (!Report(shared, record.EntryType, record.FullPath.view())) return 1;
  Store(shared, record, std::u16string_view(shared.request.file_system), true);
  return 1;
}

// The engine's sweep position: bytes swept of the bytes to sweep.
uint32_t OnSweepPosition(uint64_t bytes_swept, uint64_t bytes_total, void* user) {
  auto& progress = static_cast<Shared*>(user)->progress;
  progress.total_units = bytes_total;
  progress.done_units = bytes_swept;
  return 1;
}

// The $MFT pass tells, every few records, the records of the $MFT run it
// reads and how many of them are left; the runs follow one another.
uint32_t OnNtfsProgress(void* user, uint64_t run_records, uint64_t countdown) {
  auto& shared = *static_cast<Shared*>(user);
  if (run_records != shared.mft_run || countdown > shared.mft_left) {
    shared.mft_base += shared.mft_run;
    shared.mft_run = run_records;
  }
  shared.mft_left = countdown;
  shared.progress.total_units = shared.mft_base + run_records;
  shared.progress.done_units = shared.mft_base + (run_records > countdown ? run_records - countdown : 0);
  return 1;
}

// Runs `sweep` with the engine telling the sweep's position, where it can.
template <typename Sweep>
bool WithSweepPosition(Shared& shared, Sweep sweep) {
  const EngineBinding& engine = *shared.engine;
  if (engine.ReSetSweepProgress) engine.ReSetSweepProgress(&OnSweepPosition, &shared);
  const bool ok = sweep();
  if (engine.ReSetSweepProgress) engine.ReSetSweepProgress(nullptr, nullptr);
  return ok;
}

bool IsFatFamily(std::u16string_view file_system) {
  return file_system == u"FAT" || file_system == u"FAT32" || file_system == u"EXFAT";
}

bool RunFatQuick(Shared& shared) {
  const ScanRequest& request = shared.request;
  FatQuickScan scan(*shared.engine, request.file_system, request.kind, request.root);
  scan.keep_records = false;
  scan.volume_size_bytes = request.total_bytes;
  // Progress: folders listed of the folders known (the root, then every
  // folder record reported).
  shared.progress.BeginStage(0, 97, 1);
  scan.on_report = [&shared](const _FileInfoFat& record) {
    if (!Report(shared, record.EntryType, record.FullPath.view())) return false;
    if (record.EntryType == kEntryFolder) ++shared.progress.total_units;
    return true;
  };
  scan.on_record = [&shared](const _FileInfoFat& record) {
    if (record.EntryType == kEntryFolder) ++shared.progress.done_units;
    Store(shared, record, std::u16string_view(shared.request.file_system), record.DeleteState == kDeleted);
  };
  return scan.run();
}

bool RunFatUnformat(Shared& shared) {
  const EngineBinding& engine = *shared.engine;
  const ScanRequest& request = shared.request;
  if (!engine.can_unformat_fat() || request.total_bytes == 0) return false;
  if (!engine.InitReEngine(request.kind, request.root.c_str())) return false;
  shared.progress.BeginStage(0, 97, request.total_bytes);
  return WithSweepPosition(shared, [&] { return engine.ReScanFatFormatDisk(request.total_bytes, &OnFatFormatItem, &shared); });
}

// The NTFS Quick Scan lists the live folders from their indexes, entering
// each folder record it is told of. A folder is entered at most this often,
// and never while it is already being listed further up, so indexes that
// name one another (a hostile or damaged volume) cannot recurse for ever.
constexpr int kMaxNtfsFolderVisits = 4;
// Folders are listed from inside the callback (the engine re-entering it)
// down to this many levels; a deeper one waits in a work list and is listed
// once the callbacks have returned, with a fresh stack. Each level costs a
// few KiB of stack, so the bound holds on any OS (a Windows thread has
// 1 MiB), however deep the volume's folders go.
constexpr size_t kMaxNestedNtfsFolders = 64;
// A folder whose path passes the longest path Windows can create is not
// listed: nothing below it could be recovered.
constexpr size_t kMaxNtfsFolderPathUnits = 32767;

struct NtfsLiveWalk {
  Shared* shared = nullptr;
  std::vector<uint64_t> open_folders;      // records being listed, outermost first
  std::map<uint64_t, int> folder_visits;   // record -> times entered
  size_t nesting = 0;                      // folders being listed on the stack
  // Folders too deep to list from the callback, with the records above them.
  struct Pending {
    _FileInfoNtfs record;
    std::vector<uint64_t> ancestors;
  };
  std::deque<Pending> pending;
};

void StoreNtfs(Shared& shared, const _FileInfoNtfs& record, bool also_deleted) {
  Store(shared, record, shared.ntfs_phase.load(), also_deleted);
}

uint32_t OnNtfsLiveItem(_FileInfoNtfs record, void* user);

// Lists the folder `record` names through OnNtfsLiveItem, unless it is one
// of the folders being listed, was entered often enough, or its path is too
// long.
void ListNtfsFolder(NtfsLiveWalk& walk, const _FileInfoNtfs& record) {
  const uint64_t number = record.MftNumber;
  if (!walk.shared->engine->ReFindMftnumByFileName || record.FullPath.view().size() > kMaxNtfsFolderPathUnits ||
      std::find(walk.open_folders.begin(), walk.open_folders.end(), number) != walk.open_folders.end() ||
      ++walk.folder_visits[number] > kMaxNtfsFolderVisits) {
    return;
  }
  walk.open_folders.push_back(number);
  ++walk.nesting;
  walk.shared->engine->ReFindMftnumByFileName(record.FullPath, nullptr, number, nullptr, &OnNtfsLiveItem, &walk);
  --walk.nesting;
  walk.open_folders.pop_back();
}

// OnNtfsLiveItem: a live entry from a folder's index. Folders are listed
// through the same callback before the entry itself is stored; live items
// go to the all-items vector only.
uint32_t OnNtfsLiveItem(_FileInfoNtfs record, void* user) {
  auto& walk = *static_cast<NtfsLiveWalk*>(user);
  Shared& shared = *walk.shared;
  if (!Report(shared, record.Type, record.FullPath.view())) return 1;
  if (record.Type == kEntryFolder) {
    ++shared.progress.total_units;
    if (walk.nesting >= kMaxNestedNtfsFolders) {
      walk.pending.push_back(NtfsLiveWalk::Pending{std::move(record), walk.open_folders});
      return 1;  // listed, then stored, from the work list
    }
    ListNtfsFolder(walk, record);
  }
  if (record.Type == kEntryFolder) ++shared.progress.done_units;
  StoreNtfs(shared, record, false);
  return 1;
}

// Lists the folders left for later, in the order they were met; deeper ones
// met meanwhile join the list. Each folder is entered a bounded number of
// times, so the list runs dry.
void ListPendingNtfsFolders(NtfsLiveWalk& walk) {
  while (!walk.pending.empty() && !walk.shared->stop) {
    NtfsLiveWalk::Pending next = std::move(walk.pending.front());
    walk.pending.pop_front();
    walk.open_folders = std::move(next.ancestors);
    ListNtfsFolder(walk, next.record);
    ++walk.shared->progress.done_units;
    StoreNtfs(*walk.shared, next.record, false);
  }
}

// OnNtfsItem: a record from the $MFT or from the sweep; to both vectors.
uint32_t OnNtfsItem(_FileInfoNtfs record, void* user) {
  auto& shared = *static_cast<Shared*>(user);
  if (!Report(shared, record.Type, record.FullPath.view())) return 1;
  StoreNtfs(shared, record, true);
  return 1;
}

// Quick Scan: the live folders first (pass 1), then the records of the $MFT
// no longer in use. Unformatting Scan: the $MFT's free records (pass 1),
// then the sweep of the whole volume for the records of the file system
// formatted over (pass 2), whose folders are unknown.
bool RunNtfs(Shared& shared) {
  const EngineBinding& engine = *shared.engine;
  const ScanRequest& request = shared.request;
  shared.ntfs_phase = 0;
  if (!engine.ReScanNtfsDisk) return false;
  if (!engine.InitReEngine(request.kind, request.root.c_str())) return false;
  bool ok = true;
  shared.ntfs_phase = 1;
  if (request.mode == ScanMode::kQuick) {
    // Progress: the live folders listed of those known up to half the bar,
    // then the $MFT records read of its records.
    NtfsLiveWalk walk;
    walk.shared = &shared;
    shared.progress.BeginStage(0, 50, 1);
    ok = engine.ReScanNtfsEx && engine.ReScanNtfsEx(request.root.c_str(), &OnNtfsLiveItem, &walk);
    ListPendingNtfsFolders(walk);
    shared.progress.BeginStage(50, 47, 0);
    if (!shared.stop) ok = engine.ReScanNtfsDisk(&OnNtfsItem, &shared, request.root.c_str(), &OnNtfsProgress) && ok;
  } else {
    // Progress: the $MFT records read, then the bytes swept, which is most
    // of the work.
    shared.progress.BeginStage(0, 10, 0);
    ok = engine.ReScanNtfsDisk(&OnNtfsItem, &shared, request.root.c_str(), &OnNtfsProgress);
    if (!shared.stop) {
      shared.progress.BeginStage(10, 87, request.total_bytes);
      shared.ntfs_phase = 2;
      // The sweep also answers false when it met FILE records without a
      // name (blank records of the old $MFT are common), so its answer does
      // not tell whether the volume was read: the records it reported do.
      ok = engine.ReScanNtfsFormatDisk && request.total_bytes != 0 && ok;
      if (ok) {
        WithSweepPosition(shared, [&] {
          return engine.ReScanNtfsFormatDisk(request.root.c_str(), request.total_bytes, &OnNtfsItem, &shared);
        });
      }
    }
  }
  shared.ntfs_phase = 0;
  return ok;
}

// The verdicts of a Quick Scan's files, once the scan has listed them: the
// present files are their own data, so intact; the deleted ones are judged
// by the engine, one at a time under the items lock, so that a Stop waits
// for one verdict at most and nothing is set once it was stopped. (An
// Unformatting Scan's files were judged as they were stored.)
void JudgeQuickScanItems(Shared& shared) {
  if (shared.request.mode != ScanMode::kQuick || !shared.engine->ReJudgeItem) return;
  FoundItems& items = shared.items;
  {
    std::lock_guard lock(shared.items_mutex);
    if (shared.stop) return;
    for (const FoundItem& item : items.all_items()) {
      if (!item.is_folder()) items.SetVerdict(item, kVerdictIntact);
    }
  }
  // The deleted files are in the all-items list too: those a stop leaves
  // unjudged go back to unknown.
  const ItemList& deleted = items.deleted_items();
  for (size_t i = 0; i < deleted.size(); ++i) {
    std::lock_guard lock(shared.items_mutex);
    if (shared.stop) {
      for (; i < deleted.size(); ++i) items.SetVerdict(deleted[i], kVerdictUnknown);
      return;
    }
    Judge(shared, deleted[i]);
  }
}

void Work(std::shared_ptr<Shared> shared) {
  const ScanRequest& request = shared->request;
  bool ok = false;
  if (shared->engine->InitReEngine) {
    if (IsFatFamily(request.file_system)) {
      ok = request.mode == ScanMode::kQuick ? RunFatQuick(*shared) : RunFatUnformat(*shared);
    } else if (request.file_system == u"NTFS") {
      ok = RunNtfs(*shared);
    }
  }
  if (ok && !shared->stop) JudgeQuickScanItems(*shared);
  shared->ok = ok;
  EngineUse::Release();
  if (!shared->stop) {
    shared->progress.percent = 98;
    if (shared->on_engine_done) {
      std::lock_guard lock(shared->items_mutex);
      shared->on_engine_done(shared->items);
    }
    shared->progress.percent = 99;
    shared->finished = true;
    shared->progress.percent = 100;
  }
  shared->done.Set();
}

const ItemList kNoItems;

}  // namespace

bool ItemRequest(const FoundItem& item, std::u16string_view file_system, ScanMode mode,
                 ReRecoverItemRequest& request) {
  if (IsFatFamily(file_system)) {
    request.Method = kReRecoverFatCluster;
    request.Position = item.first_cluster;
    request.FileSize = item.size;
    return true;
  }
  if (file_system == u"NTFS") {
    // Records found by the sweep of an Unformatting Scan are read from their
    // position on the volume; every other record (the Quick Scan's, and the
    // free records of the present $MFT that an Unformatting Scan lists
    // first, whose position is not known) by its number.
    const bool by_position = mode == ScanMode::kUnformat && item.ntfs_offset != 0;
    request.Method = by_position ? kReRecoverNtfsPosition : kReRecoverNtfsRecord;
    request.Position = by_position ? item.ntfs_offset : item.mft_number;
    // The live walk's entries are present files, read from their records.
    if (mode == ScanMode::kQuick && !item.is_deleted()) request.Flags = kReRecoverPresentFile;
    return true;
  }
  return false;
}

ScanRun::ScanRun(const EngineBinding& engine) : engine_(engine) {}

ScanRun::~ScanRun() {
  if (shared_ && !done()) Stop();
}

bool ScanRun::Start(const ScanRequest& request) {
  if (shared_ && !done()) return false;
  if (!EngineUse::TryClaim()) return false;
  auto shared = std::make_shared<Shared>();
  shared->engine = &engine_;
  shared->request = request;
  shared->on_engine_done = on_engine_done;
  if (request.mode == ScanMode::kQuick) {
    shared->progress.Reset(ScanProgress::kPhaseRecords);
  } else {
    shared->progress.Reset(ScanProgress::kPhaseBytes);
  }
  shared_ = shared;
  try {
    std::thread(Work, std::move(shared)).detach();
  } catch (...) {
    EngineUse::Release();
    shared_->done.Set();
    return false;
  }
  return true;
}

bool ScanRun::RunToEnd(const ScanRequest& request) {
  if (!Start(request)) return false;
  Wait();
  return true;
}

void ScanRun::Pause() {
  if (shared_) shared_->gate.Close();
}

void ScanRun::Continue() {
  if (shared_) shared_->gate.Open();
}

bool ScanRun::paused() const { return shared_ && !shared_->gate.IsOpen(); }

void ScanRun::Stop() {
  if (!shared_) return;
  {
    std::lock_guard lock(shared_->items_mutex);
    shared_->stop = true;
  }
  shared_->gate.Release();
}

bool ScanRun::stopped() const { return shared_ && shared_->stop; }

bool ScanRun::Wait(std::chrono::milliseconds timeout) { return !shared_ || shared_->done.Wait(timeout); }

bool ScanRun::done() const { return !shared_ || shared_->done.IsSet(); }

bool ScanRun::finished() const { return shared_ && shared_->finished; }
bool ScanRun::engine_ok() const { return shared_ && shared_->ok; }

void ScanRun::Tick() {
  if (!shared_ || paused() || shared_->stop) return;
  shared_->progress.Tick();
}

const ScanProgress& ScanRun::progress() const {
  static const ScanProgress kIdle;
  return shared_ ? shared_->progress : kIdle;
}

ScanMode ScanRun::mode() const { return shared_ ? shared_->request.mode : ScanMode::kQuick; }

const ScanRequest& ScanRun::request() const {
  static const ScanRequest kNone;
  return shared_ ? shared_->request : kNone;
}

void ScanRun::CopyNewItems(size_t from, std::vector<const FoundItem*>& out) const {
  out.clear();
  if (!shared_) return;
  std::lock_guard lock(shared_->items_mutex);
  const ItemList::Pointers& all = shared_->items.all_items().pointers();
  if (from < all.size()) out.assign(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
}

const ItemList& ScanRun::deleted_items() const { return shared_ ? shared_->items.deleted_items() : kNoItems; }
const ItemList& ScanRun::all_items() const { return shared_ ? shared_->items.all_items() : kNoItems; }

FoundItems& ScanRun::items() {
  static FoundItems none;
  return shared_ ? shared_->items : none;
}

int ScanRun::ntfs_phase() const { return shared_ ? shared_->ntfs_phase.load() : 0; }

}  // namespace salvor::app
