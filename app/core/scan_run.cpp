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

void ScanProgress::Reset(int new_phase, uint64_t new_step) {
  folders = 0;
  files = 0;
  percent = 0;
  ticks = 0;
  bytes_done = 0;
  bytes_total = 0;
  phase = new_phase;
  step = new_step;
  SetLastName(u"");
}

void ScanProgress::Tick() {
  const uint64_t tick = ++ticks;
  const uint64_t divisor = step == 0 ? 1 : step.load();
  const int32_t now = percent;
  if (phase == kPhaseRecords) {
    const uint64_t records = static_cast<uint64_t>(folders.load()) + static_cast<uint64_t>(files.load());
    // More records than expected hold the bar at 95, then let it creep one
    // percent per 5000 records to 97; only the worker goes further.
    if (now < 95) {
      const uint64_t value = records / divisor;
      percent = static_cast<int32_t>(value < 95 ? value : 95);
    } else if (now < 97) {
      const uint64_t base = 95 * divisor;
      const uint64_t extra = records > base ? (records - base) / 5000 : 0;
      percent = static_cast<int32_t>(95 + (extra < 2 ? extra : 2));
    }
  } else if (phase == kPhaseTime) {
    if (now < 97) {
      const uint64_t value = tick / divisor;
      percent = static_cast<int32_t>(value < 97 ? value : 97);
    }
  }
}

void ScanProgress::SetLastName(std::u16string_view name) {
  std::lock_guard lock(name_mutex_);
  last_name_.assign(name);
}

std::u16string ScanProgress::LastName() const {
  std::lock_guard lock(name_mutex_);
  return last_name_;
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
  std::function<void(std::vector<FoundItem>&, std::vector<FoundItem>&)> on_engine_done;
  ScanProgress progress;
  PauseGate gate;
  std::atomic<bool> stop{false};
  std::mutex items_mutex;  // the vectors, and the stop decision for each record
  std::vector<FoundItem> deleted;
  std::vector<FoundItem> all;
  std::atomic<bool> ok{false};
  std::atomic<bool> finished{false};
  std::atomic<int> ntfs_phase{0};
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

void Store(Shared& shared, FoundItem item, bool also_deleted) {
  std::lock_guard lock(shared.items_mutex);
  if (shared.stop) return;
  if (also_deleted) shared.deleted.push_back(item);
  shared.all.push_back(std::move(item));
}

// The Unformatting Scan's callback: every record goes to both vectors.
uint32_t OnFatFormatItem(_FileInfoFat record, void* user) {
  auto& shared = *static_cast<Shared*>(user);
  if (!Report(shared, record.EntryType, record.FullPath.view())) return 1;
  Store(shared, MakeFoundItem(record, shared.request.file_system), true);
  return 1;
}

bool IsFatFamily(std::u16string_view file_system) {
  return file_system == u"FAT" || file_system == u"FAT32" || file_system == u"EXFAT";
}

bool RunFatQuick(Shared& shared) {
  const ScanRequest& request = shared.request;
  FatQuickScan scan(*shared.engine, request.file_system, request.kind, request.root);
  scan.keep_records = false;
  scan.volume_size_bytes = request.total_bytes;
  scan.on_report = [&shared](const _FileInfoFat& record) {
    return Report(shared, record.EntryType, record.FullPath.view());
  };
  scan.on_record = [&shared](const _FileInfoFat& record) {
    Store(shared, MakeFoundItem(record, shared.request.file_system), record.DeleteState == kDeleted);
  };
  return scan.run();
}

bool RunFatUnformat(Shared& shared) {
  const EngineBinding& engine = *shared.engine;
  const ScanRequest& request = shared.request;
  if (!engine.can_unformat_fat() || request.total_bytes == 0) return false;
  if (!engine.InitReEngine(request.kind, request.root.c_str())) return false;
  return engine.ReScanFatFormatDisk(request.total_bytes, &OnFatFormatItem, &shared);
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
  Store(shared, MakeFoundItem(record, shared.ntfs_phase), also_deleted);
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
    if (walk.nesting >= kMaxNestedNtfsFolders) {
      walk.pending.push_back(NtfsLiveWalk::Pending{std::move(record), walk.open_folders});
      return 1;  // listed, then stored, from the work list
    }
    ListNtfsFolder(walk, record);
  }
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
    NtfsLiveWalk walk;
    walk.shared = &shared;
    ok = engine.ReScanNtfsEx && engine.ReScanNtfsEx(request.root.c_str(), &OnNtfsLiveItem, &walk);
    ListPendingNtfsFolders(walk);
    if (!shared.stop) ok = engine.ReScanNtfsDisk(&OnNtfsItem, &shared, request.root.c_str(), nullptr) && ok;
  } else {
    ok = engine.ReScanNtfsDisk(&OnNtfsItem, &shared, request.root.c_str(), nullptr);
    if (!shared.stop) {
      shared.ntfs_phase = 2;
      // The sweep also answers false when it met FILE records without a
      // name (blank records of the old $MFT are common), so its answer does
      // not tell whether the volume was read: the records it reported do.
      ok = engine.ReScanNtfsFormatDisk && request.total_bytes != 0 && ok;
      if (ok) engine.ReScanNtfsFormatDisk(request.root.c_str(), request.total_bytes, &OnNtfsItem, &shared);
    }
  }
  shared.ntfs_phase = 0;
  return ok;
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
  shared->ok = ok;
  EngineUse::Release();
  if (!shared->stop) {
    shared->progress.percent = 98;
    if (shared->on_engine_done) {
      std::lock_guard lock(shared->items_mutex);
      shared->on_engine_done(shared->deleted, shared->all);
    }
    shared->progress.percent = 99;
    shared->finished = true;
    shared->progress.percent = 100;
  }
  shared->done.Set();
}

const std::vector<FoundItem> kNoItems;

}  // namespace

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
    shared->progress.Reset(ScanProgress::kPhaseRecords, ScanProgress::QuickStep(request.expected_records));
  } else {
    shared->progress.Reset(ScanProgress::kPhaseTime, ScanProgress::UnformatStep(request.total_bytes));
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

const std::vector<FoundItem>& ScanRun::deleted_items() const { return shared_ ? shared_->deleted : kNoItems; }
const std::vector<FoundItem>& ScanRun::all_items() const { return shared_ ? shared_->all : kNoItems; }

int ScanRun::ntfs_phase() const { return shared_ ? shared_->ntfs_phase.load() : 0; }

}  // namespace salvor::app
