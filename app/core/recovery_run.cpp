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

std::u16string decimal(uint64_t value) { return text::from_utf8(std::to_string(value)); }

std::u16string relative_of(const FoundItem& item) {
  const std::vector<std::u16string> parts = SafeRelativeComponents(item.path());
  return join(parts, parts.size(), u'/');
}

}  // namespace

std::vector<RecoveryTarget> PlanRecovery(const std::vector<const FoundItem*>& selection) {
  std::vector<RecoveryTarget> targets;
  std::set<const FoundItem*> taken_items;
  for (const FoundItem* item : selection) {
    if (item == nullptr || item->is_folder() || !taken_items.insert(item).second) continue;
    targets.push_back({item, relative_of(*item)});
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
  std::vector<FoundItem> folders;
  std::vector<RecoveryTarget> targets;
  ScanProgress progress;
  PauseGate gate;
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> current_base{0};
  std::atomic<uint64_t> current_size{0};
  mutable std::mutex results_mutex;  // results, failures, completed and abort_reason
  std::vector<RecoveryResult> results;
  size_t failures = 0;
  bool completed = false;
  std::u16string abort_reason;  // the destination ended the run
  DoneSignal done;
  std::function<void()> on_done;
};

namespace {

using Shared = RecoveryRun::Shared;

// Text buffers of one engine answer.
constexpr uint32_t kWrittenPathUnits = 32768;
constexpr uint32_t kMessageUnits = 1024;

uint32_t OnRecoveryProgress(uint64_t bytes_left, void* user) {
  auto& shared = *static_cast<Shared*>(user);
  const uint64_t size = shared.current_size;
  const uint64_t written = bytes_left < size ? size - bytes_left : 0;
  shared.progress.bytes_done = shared.current_base + written;
  return 1;
}

uint32_t OnStopQuestion(void* user) { return static_cast<Shared*>(user)->stop ? 1 : 0; }

// An engine answer with its text buffers.
struct EngineAnswer {
  std::u16string written = std::u16string(kWrittenPathUnits, u'\0');
  std::u16string message = std::u16string(kMessageUnits, u'\0');
  ReRecoverItemResult result;

  EngineAnswer() {
    result.WrittenPath = written.data();
    result.WrittenPathCapacity = kWrittenPathUnits;
    result.Message = message.data();
    result.MessageCapacity = kMessageUnits;
  }
  std::u16string written_path() const { return std::u16string(written.c_str()); }
  std::u16string text() const { return std::u16string(message.c_str()); }
};

std::u16string native_path(std::u16string_view destination, std::u16string_view relative) {
  std::u16string path(destination);
  while (path.size() > 1 && (path.back() == u'/' || path.back() == platform::kPathSeparator)) path.pop_back();
  path += platform::kPathSeparator;
  for (const char16_t c : relative) path += c == u'/' ? platform::kPathSeparator : c;
  return path;
}

RecoveryResult RecoverOne(Shared& shared, const RecoveryTarget& target, uint32_t& status) {
  const FoundItem& item = *target.item;
  RecoveryResult result;
  result.relative = target.relative;
  result.size = item.size;
  status = kReRecoverSourceFailed;
  ReRecoverItemRequest request;
  if (!ItemRequest(item, shared.request.file_system, shared.request.mode, request)) {
    result.error = u"recovery from " + shared.request.file_system + u" is not supported";
    return result;
  }
  request.RelativePath = target.relative.c_str();
  request.ModifiedTime = ModifiedFileTime(item, shared.request.fat_times_utc);
  // The record keeps one time; where the system keeps a creation time too,
  // it gets the same rather than the time of recovery.
  request.CreatedTime = request.ModifiedTime;
  request.Progress = &OnRecoveryProgress;
  request.User = &shared;
  EngineAnswer answer;
  result.ok = shared.engine->ReRecoverItem(&request, &answer.result);
  status = answer.result.Status;
  if (!answer.written_path().empty()) result.relative = answer.written_path();
  result.path = native_path(shared.request.destination, result.relative);
  result.written = answer.result.BytesWritten;
  result.allocated = answer.result.BytesAllocated;
  if (answer.result.TimesSet & kReRecoverModifiedTimeSet) {
    result.modified_time = request.ModifiedTime;
    result.local_time = HasLocalTime(item) && !shared.request.fat_times_utc;
  }
  result.created_time_set = (answer.result.TimesSet & kReRecoverCreatedTimeSet) != 0;
  result.error = answer.text();
  if (!result.ok && result.error.empty()) result.error = u"the engine could not read or write the file";
  return result;
}

// Folders made for the run get their times once everything inside is
// written; the engine leaves folders that were there before alone.
void ApplyFolderTimes(Shared& shared) {
  if (!shared.engine->ReSetFolderTimes) return;
  for (const FoundItem& folder : shared.folders) {
    const uint64_t time = ModifiedFileTime(folder, shared.request.fat_times_utc);
    if (time == 0) continue;
    const std::u16string relative = relative_of(folder);
    shared.engine->ReSetFolderTimes(relative.c_str(), time, time);
  }
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
    uint32_t status = kReRecoverSourceFailed;
    RecoveryResult result = RecoverOne(*shared, target, status);
    if (status == kReRecoverStopped) break;  // the partial file is gone; the run ends as stopped
    shared->current_base += target.item->size;
    shared->progress.bytes_done = shared->current_base.load();
    shared->progress.files = static_cast<int32_t>(i + 1);
    std::lock_guard lock(shared->results_mutex);
    if (!result.ok) ++shared->failures;
    const bool ends_run = status == kReRecoverDestinationFailed || status == kReRecoverNoRoom;
    if (ends_run) shared->abort_reason = result.error + u" (writing " + result.relative + u")";
    shared->results.push_back(std::move(result));
    if (ends_run) break;
  }
  ApplyFolderTimes(*shared);
  EngineAnswer end;
  const bool durable = shared->engine->ReEndRecovery(&end.result);
  EngineUse::Release();
  {
    std::lock_guard lock(shared->results_mutex);
    if (!durable && shared->abort_reason.empty()) {
      shared->abort_reason = u"the recovered files could not be made durable: " + end.text();
    }
    if (!shared->stop && shared->abort_reason.empty()) {
      shared->completed = true;
      shared->progress.percent = 100;
    }
  }
  shared->done.Set();
  if (shared->on_done) shared->on_done();
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
  for (const FoundItem* folder : request.folders) {
    if (folder != nullptr && folder->is_folder()) shared->folders.push_back(*folder);
  }
  std::vector<const FoundItem*> copies;
  for (const auto& item : shared->items) copies.push_back(&item);
  shared->targets = PlanRecovery(copies);
  shared->request.items.clear();
  shared->request.folders.clear();
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
  if (!engine_.can_run_recovery()) {
    EngineUse::Release();
    start_failure_ = StartFailure::kDestinationUnusable;
    start_error_ = u"the engine cannot recover files";
    return false;
  }
  ReRecoveryOptions options;
  if (request.file_mode != 0) options.FileMode = request.file_mode;
  if (request.folder_mode != 0) options.FolderMode = request.folder_mode;
  options.StopRequested = &OnStopQuestion;
  options.StopUser = shared.get();
  EngineAnswer opened;
  if (!engine_.ReBeginRecovery(request.destination.c_str(), &options, &opened.result)) {
    EngineUse::Release();
    start_failure_ = StartFailure::kDestinationUnusable;
    start_error_ = u"cannot open the destination folder " + request.destination;
    if (!opened.text().empty()) start_error_ += u": " + opened.text();
    return false;
  }
  shared->progress.Reset(ScanProgress::kPhaseRecovery);
  uint64_t total = 0;
  for (const auto& target : shared->targets) total += target.item->size;
  shared->progress.bytes_total = total;
  shared->progress.files_total = shared->targets.size();
  shared->on_done = on_done;
  shared_ = shared;
  try {
    std::thread(Work, std::move(shared)).detach();
  } catch (...) {
    engine_.ReEndRecovery(nullptr);
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
  // Also while paused: the file being written when the pause came is
  // finished first, and the bar shows it.
  if (!shared_ || shared_->stop) return;
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

bool RecoveryRun::aborted() const {
  if (!shared_) return false;
  std::lock_guard lock(shared_->results_mutex);
  return !shared_->abort_reason.empty();
}

std::u16string RecoveryRun::abort_reason() const {
  if (!shared_) return {};
  std::lock_guard lock(shared_->results_mutex);
  return shared_->abort_reason;
}

std::u16string RecoveryRun::message() const {
  if (!start_error_.empty() || !shared_) return start_error_.empty() ? kNothingSelectedText : start_error_;
  std::lock_guard lock(shared_->results_mutex);
  const size_t written = shared_->results.size() - shared_->failures;
  if (!shared_->abort_reason.empty()) {
    return u"Recovery stopped: " + shared_->abort_reason + u". " + decimal(written) + u" of " +
           decimal(shared_->targets.size()) + u" files recovered.";
  }
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
