#include "app/core/fat_scan.h"

#include <algorithm>

namespace salvor::app {

FatQuickScan::FatQuickScan(const EngineBinding& engine, std::u16string file_system, int kind, std::u16string root)
    : engine_(engine), file_system_(std::move(file_system)), kind_(kind), root_(std::move(root)) {}

bool FatQuickScan::run() {
  all_items_.clear();
  deleted_items_.clear();
  open_folders_.clear();
  folder_visits_.clear();
  pending_.clear();
  nesting_ = 0;
  if (!engine_.can_scan_fat()) return false;
  if (!engine_.InitReEngine(kind_, root_.c_str())) return false;
  const bool ok = engine_.ReScanFatDisk(&FatQuickScan::OnFatItem, this, kind_, root_.c_str());
  // The folders left for later, in the order they were met; deeper ones met
  // while entering them join the list. Each folder is entered a bounded
  // number of times, so the list runs dry.
  while (!pending_.empty()) {
    PendingFolder next = std::move(pending_.front());
    pending_.pop_front();
    open_folders_ = std::move(next.ancestors);
    descend(next.record);
    store(next.record);
  }
  open_folders_.clear();
  return ok;
}

uint32_t FatQuickScan::OnFatItem(_FileInfoFat record, void* user) {
  auto* self = static_cast<FatQuickScan*>(user);
  if (self->on_report && !self->on_report(record)) return 1;
  if (record.EntryType == kEntryFolder) {
    if (self->nesting_ >= kMaxNestedFolders) {
      // Entered, and stored after its contents, from the work list.
      self->pending_.push_back(PendingFolder{std::move(record), self->open_folders_});
      return 1;
    }
    self->descend(record);
  }
  self->store(record);
  return 1;
}

void FatQuickScan::store(const _FileInfoFat& record) {
  if (keep_records) {
    all_items_.push_back(record);
    if (record.DeleteState == kDeleted) deleted_items_.push_back(record);
  }
  if (on_record) on_record(record);
}

void FatQuickScan::descend(const _FileInfoFat& record) {
  const uint32_t cluster = record.FirstCluster;
  // A folder that names one of the folders being scanned (its own cluster or
  // an ancestor's) would recurse for ever.
  if (std::find(open_folders_.begin(), open_folders_.end(), cluster) != open_folders_.end()) return;
  if (record.FullPath.view().size() > kMaxFolderPathUnits) return;
  if (++folder_visits_[cluster] > kMaxEntriesPerFolder) return;
  // The directory test differs by file system: exFAT folders have no dot
  // pair and are always entered.
  const bool enter = file_system_ == u"EXFAT" || engine_.ReFatDirectory(cluster, nullptr);
  if (enter) {
    open_folders_.push_back(cluster);
    ++nesting_;
    engine_.ReSearchCluster(record.FullPath, nullptr, cluster, nullptr, &FatQuickScan::OnFatItem, this);
    --nesting_;
    open_folders_.pop_back();
    return;
  }
  // FAT32 clears the high half of a deleted entry's cluster: the engine
  // looks for the folder's directory at the stored cluster plus multiples of
  // 65536 and reports what it holds.
  if (file_system_ == u"FAT32" && record.DeleteState == kDeleted && cluster < 0x10000 && engine_.ReIsDirectory32) {
    _FileInfoFat copy = record;
    open_folders_.push_back(cluster);
    ++nesting_;
    engine_.ReIsDirectory32(volume_size_bytes, &copy, &FatQuickScan::OnFatItem, this);
    --nesting_;
    open_folders_.pop_back();
  }
}

namespace {

struct UnformatSink {
  std::vector<_FileInfoFat>* records;
  const std::function<void(const _FileInfoFat&)>* on_record;
};

uint32_t OnUnformatItem(_FileInfoFat record, void* user) {
  auto* sink = static_cast<UnformatSink*>(user);
  sink->records->push_back(record);
  if (*sink->on_record) (*sink->on_record)(record);
  return 1;
}

}  // namespace

bool RunFatUnformatScan(const EngineBinding& engine, int kind, const std::u16string& root,
                        uint64_t volume_size_bytes, std::vector<_FileInfoFat>& records,
                        const std::function<void(const _FileInfoFat&)>& on_record) {
  if (!engine.can_unformat_fat()) return false;
  if (!engine.InitReEngine(kind, root.c_str())) return false;
  UnformatSink sink{&records, &on_record};
  return engine.ReScanFatFormatDisk(volume_size_bytes, &OnUnformatItem, &sink);
}

std::u16string RelativePath(std::u16string_view full_path) {
  std::u16string out;
  AppendRelativePath(out, full_path);
  return out;
}

void AppendRelativePath(std::u16string& out, std::u16string_view full_path) {
  const size_t base = out.size();
  bool drive_skipped = false;
  size_t start = 0;
  while (start <= full_path.size()) {
    size_t end = full_path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = full_path.size();
    const std::u16string_view part = full_path.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    if (!drive_skipped && part.size() == 2 && part[1] == u':') {
      drive_skipped = true;
      continue;
    }
    drive_skipped = true;
    if (out.size() != base) out += u'/';
    out += part;
  }
}

}  // namespace salvor::app
