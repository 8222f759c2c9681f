#include "app/core/recovery_run.h"

#include <mutex>
#include <set>
#include <thread>

#include "app/core/safe_names.h"
#include "common/text.h"
#include "platform/platform.h"

namespace salvor::app {
namespace {

std::u16string join(const std::vector<std::u16string>& parts, size_t count, char16_t separator) {
  std::u16string out;
  for (size_t i = 0; i < count; ++i) {
    if (i != 0) out += separator;
    out += parts[i];
  }
  return out;
}

// ASCII letters folded: FAT names and Windows folders ignore their case.
std::u16string collision_key(std::u16string_view relative) {
  std::u16string key(relative);
  for (auto& c : key) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return key;
}

std::u16string decimal(uint64_t value) { return text::from_utf8(std::to_string(value)); }

}  // namespace

std::vector<RecoveryTarget> PlanRecovery(const std::vector<const FoundItem*>& selection,
                                         std::u16string_view destination) {
  std::vector<RecoveryTarget> targets;
  std::set<const FoundItem*> taken_items;
  std::set<std::u16string> taken_paths;
  std::u16string base(destination);
  while (base.size() > 1 && (base.back() == u'/' || base.back() == platform::kPathSeparator)) base.pop_back();
  for (const FoundItem* item : selection) {
    if (item == nullptr || item->is_folder() || !taken_items.insert(item).second) continue;
    std::vector<std::u16string> parts = SafeRelativeComponents(item->path());
    const std::u16string name = parts.back();
    std::u16string relative = join(parts, parts.size(), u'/');
    for (int number = 1; !taken_paths.insert(collision_key(relative)).second && number < 1000000; ++number) {
      parts.back() = NumberedName(name, number);
      relative = join(parts, parts.size(), u'/');
    }
    RecoveryTarget target;
    target.item = item;
    target.relative = relative;
    target.folder = base;
    if (parts.size() > 1) target.folder += platform::kPathSeparator + join(parts, parts.size() - 1, platform::kPathSeparator);
    target.path = target.folder + platform::kPathSeparator + parts.back();
    targets.push_back(std::move(target));
  }
  return targets;
}

StartFailure CheckDestination(const RecoveryRequest& request) {
  if (request.allow_destination_on_source || request.source.empty()) return StartFailure::kNone;
  return platform::destination_on_source(request.source, request.destination) ? StartFailure::kDestinationOnSource
                                                                               : StartFailure::kNone;
}

struct RecoveryRun::Shared {
  const EngineBinding* engine = nullptr;
  RecoveryRequest request;
  std::vector<FoundItem> items;  // copies of the numbers: the worker reads neither the caller's lists nor texts
  std::vector<RecoveryTarget> targets;
  ScanProgress progress;
  PauseGate gate;
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> current_base{0};
  std::atomic<uint64_t> current_size{0};
  mutable std::mutex results_mutex;  // results, failures and completed
  std::vector<RecoveryResult> results;
  size_t failures = 0;
  bool completed = false;
  DoneSignal done;
};

namespace {

using Shared = RecoveryRun::Shared;

uint32_t OnRecoveryProgress(uint64_t bytes_left, void* user) {
  auto& shared = *static_cast<Shared*>(user);
  const uint64_t size = shared.current_size;
  const uint64_t written = bytes_left < size ? size - bytes_left : 0;
  shared.progress.bytes_done = shared.current_base + written;
  return 1;
}

bool IsFatFamily(std::u16string_view file_system) {
  return file_system == u"FAT" || file_system == u"FAT32" || file_system == u"EXFAT";
}

RecoveryResult RecoverOne(Shared& shared, const RecoveryTarget& target) {
  const FoundItem& item = *target.item;
  RecoveryResult result;
  result.relative = target.relative;
  result.path = target.path;
  result.size = item.size;
  if (!platform::create_directories(target.folder)) {
    result.error = u"cannot create the folder " + target.folder;
    return result;
  }
  const EngineBinding& engine = *shared.engine;
  if (IsFatFamily(shared.request.file_system)) {
    if (!engine.can_recover_fat()) {
      result.error = u"the engine cannot recover files";
      return result;
    }
    // The 64-bit export whenever it is bound: the 32-bit one would cut
    // exFAT files of 4 GiB and more.
    result.ok = engine.RecoverFatFile(target.path.c_str(), item.first_cluster, item.size, &OnRecoveryProgress, &shared);
    if (!result.ok) result.error = u"the engine could not read or write the file";
  } else if (shared.request.file_system == u"NTFS") {
    // Records found by the sweep of an Unformatting Scan are read from their
    // position on the volume; every other record (the Quick Scan's, and the
    // free records of the present $MFT that an Unformatting Scan lists
    // first, whose position is not known) by its number.
    const bool by_position = shared.request.mode == ScanMode::kUnformat && item.ntfs_offset != 0;
    if (by_position ? !engine.ReNtfsRecoverFormatData : !engine.ReNtfsRecoverData) {
      result.error = u"the engine cannot recover NTFS files";
      return result;
    }
    result.ok = by_position ? engine.ReNtfsRecoverFormatData(target.path.c_str(),
                                                             static_cast<int64_t>(item.ntfs_offset),
                                                             &OnRecoveryProgress, &shared)
                            : engine.ReNtfsRecoverData(target.path.c_str(), item.mft_number, &OnRecoveryProgress,
                                                       &shared);
    // The engine copies files whose record is free only: a live file, listed
    // from its folder's index, is still on the volume.
    if (!result.ok) {
      result.error = item.state == kNtfsFromIndex
                         ? u"the file is not deleted (its record is in use); copy it from the volume"
                         : u"the engine could not read or write the file";
    }
  } else {
    result.error = u"recovery from " + shared.request.file_system + u" is not supported";
  }
  if (const auto written = platform::file_size(target.path)) result.written = *written;
  if (result.ok && !platform::file_size(target.path)) {
    result.ok = false;
    result.error = u"the engine reported success but wrote no file";
  }
  return result;
}

void Work(std::shared_ptr<Shared> shared) {
  const size_t n = shared->targets.size();
  for (size_t i = 0; i < n; ++i) {
    shared->gate.Wait();  // a pause holds the run between files
    if (shared->stop) break;
    const RecoveryTarget& target = shared->targets[i];
    shared->progress.files = static_cast<int32_t>(i);
    // The name as it is written (made safe, numbered when taken): the
    // item's own texts stay with the caller's store.
    shared->progress.SetLastName(std::u16string_view(target.relative).substr(target.relative.rfind(u'/') + 1));
    shared->current_size = target.item->size;
    RecoveryResult result = RecoverOne(*shared, target);
    shared->current_base += target.item->size;
    shared->progress.bytes_done = shared->current_base.load();
    shared->progress.files = static_cast<int32_t>(i + 1);
    std::lock_guard lock(shared->results_mutex);
    if (!result.ok) ++shared->failures;
    shared->results.push_back(std::move(result));
  }
  EngineUse::Release();
  {
    std::lock_guard lock(shared->results_mutex);
    if (!shared->stop) {
      shared->completed = true;
      shared->progress.percent = 100;
    }
  }
  shared->done.Set();
}

const std::vector<RecoveryResult> kNoResults;

}  // namespace

RecoveryRun::RecoveryRun(const EngineBinding& engine) : engine_(engine) {}

RecoveryRun::~RecoveryRun() {
  if (shared_ && !done()) Stop();
}

bool RecoveryRun::Start(const RecoveryRequest& request) {
  start_error_.clear();
  start_failure_ = StartFailure::kNone;
  if (shared_ && !done()) {
    start_failure_ = StartFailure::kBusy;
    start_error_ = u"a recovery is already running";
    return false;
  }
  auto shared = std::make_shared<Shared>();
  shared->engine = &engine_;
  shared->request = request;
  // Copies of the selected items, repeated items once, folders left out.
  std::vector<const FoundItem*> unique;
  {
    std::set<const FoundItem*> seen;
    for (const FoundItem* item : request.items) {
      if (item != nullptr && !item->is_folder() && seen.insert(item).second) unique.push_back(item);
    }
  }
  shared->items.reserve(unique.size());
  for (const FoundItem* item : unique) shared->items.push_back(*item);
  std::vector<const FoundItem*> copies;
  for (const auto& item : shared->items) copies.push_back(&item);
  shared->targets = PlanRecovery(copies, request.destination);
  shared->request.items.clear();
  if (shared->targets.empty()) {
    start_failure_ = StartFailure::kNothingSelected;
    start_error_ = kNothingSelectedText;
    return false;
  }
  // Before anything is written, the destination folder included.
  if (CheckDestination(request) == StartFailure::kDestinationOnSource) {
    start_failure_ = StartFailure::kDestinationOnSource;
    start_error_ = kDestinationOnVolumeText;
    return false;
  }
  if (!EngineUse::TryClaim()) {
    start_failure_ = StartFailure::kBusy;
    start_error_ = u"the previous scan is still finishing inside the engine; try again in a moment";
    return false;
  }
  if (!platform::create_directories(request.destination)) {
    EngineUse::Release();
    start_failure_ = StartFailure::kDestinationUnusable;
    start_error_ = u"cannot create the destination folder " + request.destination;
    return false;
  }
  shared->progress.Reset(ScanProgress::kPhaseRecovery);
  uint64_t total = 0;
  for (const auto& target : shared->targets) total += target.item->size;
  shared->progress.bytes_total = total;
  shared->progress.files_total = shared->targets.size();
  shared_ = shared;
  try {
    std::thread(Work, std::move(shared)).detach();
  } catch (...) {
    EngineUse::Release();
    shared_->done.Set();
    start_failure_ = StartFailure::kBusy;
    start_error_ = u"cannot start the recovery";
    return false;
  }
  return true;
}

void RecoveryRun::Pause() {
  if (shared_) shared_->gate.Close();
}

void RecoveryRun::Continue() {
  if (shared_) shared_->gate.Open();
}

bool RecoveryRun::paused() const { return shared_ && !shared_->gate.IsOpen(); }

void RecoveryRun::Stop() {
  if (!shared_) return;
  shared_->stop = true;
  shared_->gate.Release();
}

bool RecoveryRun::stopped() const { return shared_ && shared_->stop; }

bool RecoveryRun::Wait(std::chrono::milliseconds timeout) { return !shared_ || shared_->done.Wait(timeout); }

bool RecoveryRun::done() const { return !shared_ || shared_->done.IsSet(); }

void RecoveryRun::Tick() {
  if (!shared_ || paused() || shared_->stop) return;
  shared_->progress.Tick();
}

const ScanProgress& RecoveryRun::progress() const {
  static const ScanProgress kIdle;
  return shared_ ? shared_->progress : kIdle;
}

const std::vector<RecoveryResult>& RecoveryRun::results() const { return shared_ ? shared_->results : kNoResults; }
size_t RecoveryRun::planned() const { return shared_ ? shared_->targets.size() : 0; }

size_t RecoveryRun::failures() const {
  if (!shared_) return 0;
  std::lock_guard lock(shared_->results_mutex);
  return shared_->failures;
}

std::u16string RecoveryRun::message() const {
  if (!start_error_.empty() || !shared_) return start_error_.empty() ? kNothingSelectedText : start_error_;
  std::lock_guard lock(shared_->results_mutex);
  const size_t written = shared_->results.size() - shared_->failures;
  if (!shared_->completed) {
    return u"Recovery stopped: " + decimal(written) + u" of " + decimal(shared_->targets.size()) +
           u" files recovered.";
  }
  if (shared_->failures != 0) {
    return decimal(shared_->failures) + u" of " + decimal(shared_->targets.size()) +
           u" files selected could not be recovered.";
  }
  return kAllRecoveredText;
}

}  // namespace salvor::app
