#include "engine/gleaner.h"

#include <algorithm>

namespace salvor::engine {

CGleaner& TheEngine() {
  static CGleaner engine;
  return engine;
}

const WChar* CGleaner::GetComponentName(WChar* buffer, int count) {
  return CopyComponentName(kEngineComponentName, buffer, count);
}

void* CGleaner::QueryInterface(const WChar* name, IComponent*) {
  return SameComponentName(name, kEngineComponentName) ? static_cast<IComponent*>(this) : nullptr;
}

FatFamilyScanner* CGleaner::FatScannerOf(int kind) {
  switch (kind) {
    case kVolumeFat16: return &fat16_;
    case kVolumeFat32: return &fat32_;
    case kVolumeExFat: return &exfat_;
    default: return nullptr;
  }
}

bool CGleaner::InitEngine(int kind, const std::u16string& path) {
  judged_clusters_ = 0;
  if (kind == kVolumeNtfs) {
    kind_ = kind, path_ = path, fat_family_ = nullptr;
    ntfs_.OpenVolume(path.c_str());
    return ntfs_.LoadRecordLayout();
  }
  FatFamilyScanner* scanner = FatScannerOf(kind);
  if (!scanner) return false;
  kind_ = kind, path_ = path, fat_family_ = scanner;
  return scanner->OpenVolume(path.c_str());
}

bool CGleaner::InitFatEx(const char16_t* path) { return exfat_.OpenVolume(path); }

bool CGleaner::ScanFatDisk(ScanCallback callback, void* user, int kind, const char16_t* path) {
  // A kind and a path that begins with "0" are stored as InitEngine stores
  // them, without opening anything (the program always initialises first).
  if (kind != 0 && path && path[0] == u'0') {
    kind_ = kind;
    path_ = path;
    fat_family_ = FatScannerOf(kind);
  }
  return fat_family_ && fat_family_->ScanFatDisk(path_, callback, user);
}

bool CGleaner::SearchCluster(const RcWString& parent_path, const char16_t* name, uint32_t cluster,
                             uint32_t* found_cluster, ScanCallback callback, void* user) {
  return fat_family_ && fat_family_->SearchCluster(parent_path.str(), name, cluster, found_cluster, callback, user);
}

bool CGleaner::FatDirectory(uint32_t cluster, const _FileInfoFat* record) {
  return fat_family_ && fat_family_->FatDirectory(cluster, record);
}

bool CGleaner::ScanFatFormatDisk(uint64_t volume_size_bytes, ScanCallback callback, void* user) {
  return fat_family_ && fat_family_->ScanFatFormatDisk(volume_size_bytes, callback, user);
}

// Only FAT32 clears the high half of a deleted entry's cluster, so this
// always asks the FAT32 scanner, whatever the kind.
bool CGleaner::IsDirectory32(uint64_t volume_size_bytes, const _FileInfoFat* record, ScanCallback callback,
                             void* user) {
  return fat32_.IsDirectory32(volume_size_bytes, record, callback, user);
}

bool CGleaner::RecoverFatItem(uint32_t first_cluster, uint64_t size_bytes, recovery::FileJob& job) {
  if (!fat_family_) return job.refuse(u"no FAT-family volume is open");
  return fat_family_->FatRecoverData(first_cluster, size_bytes, job);
}

bool CGleaner::RecoverAtPath(const char16_t* output_path, ProgressCallback progress, void* user,
                             const std::function<bool(recovery::FileJob&)>& recover) {
  if (!output_path) return false;
  std::u16string relative;
  if (session_ && session_->RelativeToRoot(output_path, relative)) {
    std::unique_ptr<recovery::FileJob> job;
    if (!session_->MakeJob(relative, {}, progress, user, job)) return false;
    return recover(*job);
  }
  return recovery::RecoverToPath(output_path, progress, user, recover);
}

bool CGleaner::FatRecoverData(const char16_t* output_path, uint32_t first_cluster, uint64_t size_bytes,
                              ProgressCallback progress, void* user) {
  return RecoverAtPath(output_path, progress, user, [&](recovery::FileJob& job) {
    return RecoverFatItem(first_cluster, size_bytes, job);
  });
}

bool CGleaner::ScanNtfsDisk(NtfsScanCallback callback, void* user, const char16_t*, NtfsProgressCallback progress) {
  if (kind_ != kVolumeNtfs || path_.empty()) return false;
  return ntfs_.ScanNtfsDisk(path_, callback, user, progress);
}

bool CGleaner::ScanNtfsEx(const char16_t* directory_path, NtfsScanCallback callback, void* user) {
  if (kind_ != kVolumeNtfs || path_.empty() || !directory_path) return false;
  return ntfs_.ScanNtfsEx(directory_path, callback, user);
}

bool CGleaner::ScanNtfsByFormat(const char16_t* volume_path, uint64_t volume_size_bytes, NtfsScanCallback callback,
                                void* user) {
  return ntfs_.ScanNtfsByFormat(volume_path ? volume_path : u"", volume_size_bytes, callback, user);
}

bool CGleaner::NtfsRecoverData(const char16_t* output_path, uint64_t record_number, ProgressCallback progress,
                               void* user) {
  return RecoverAtPath(output_path, progress, user,
                       [&](recovery::FileJob& job) { return ntfs_.NtfsRecoverData(record_number, job); });
}

bool CGleaner::NtfsRecoverFormatData(const char16_t* output_path, int64_t record_offset_bytes,
                                     ProgressCallback progress, void* user) {
  return RecoverAtPath(output_path, progress, user, [&](recovery::FileJob& job) {
    return ntfs_.NtfsRecoverFormatData(record_offset_bytes, job);
  });
}

namespace {

void copy_text(std::u16string_view text, char16_t* buffer, uint32_t capacity) {
  if (!buffer || capacity == 0) return;
  const size_t n = std::min<size_t>(text.size(), capacity - 1);
  std::copy_n(text.data(), n, buffer);
  buffer[n] = 0;
}

void fill_result(ReRecoverItemResult* result, uint32_t status, std::u16string_view message, uint32_t code = 0) {
  if (!result || result->StructSize < sizeof(ReRecoverItemResult)) return;
  result->Status = status;
  result->SystemError = code;
  copy_text(message, result->Message, result->MessageCapacity);
}

uint32_t status_code(recovery::FileStatus status) {
  switch (status) {
    case recovery::FileStatus::kWritten: return kReRecoverWritten;
    case recovery::FileStatus::kTruncated: return kReRecoverTruncated;
    case recovery::FileStatus::kSourceFailed: return kReRecoverSourceFailed;
    case recovery::FileStatus::kDestinationFailed: return kReRecoverDestinationFailed;
    case recovery::FileStatus::kNoRoom: return kReRecoverNoRoom;
    case recovery::FileStatus::kStopped: return kReRecoverStopped;
  }
  return kReRecoverSourceFailed;
}

}  // namespace

bool CGleaner::BeginRecovery(const char16_t* root, const ReRecoveryOptions* options, ReRecoverItemResult* result) {
  if (session_) EndRecovery(nullptr);
  if (!root || !*root) {
    fill_result(result, kReRecoverDestinationFailed, u"no destination folder");
    return false;
  }
  session_options_ = ReRecoveryOptions{};
  if (options && options->StructSize >= sizeof(ReRecoveryOptions)) session_options_ = *options;
  platform::DestinationOptions destination;
  if (session_options_.FileMode != 0) destination.file_mode = session_options_.FileMode;
  if (session_options_.FolderMode != 0) destination.folder_mode = session_options_.FolderMode;
  std::function<bool()> stop;
  if (session_options_.StopRequested) {
    stop = [stop_requested = session_options_.StopRequested, user = session_options_.StopUser] {
      return stop_requested(user) != 0;
    };
  }
  platform::DestinationError error;
  session_ = recovery::RecoverySession::Open(root, destination, std::move(stop), error);
  if (!session_) {
    fill_result(result, kReRecoverDestinationFailed, error.text, error.code);
    return false;
  }
  fill_result(result, kReRecoverWritten, u"");
  return true;
}

void CGleaner::BeginRecoveryInto(std::unique_ptr<platform::Destination> destination, std::function<bool()> stop) {
  if (session_) EndRecovery(nullptr);
  session_ = std::make_unique<recovery::RecoverySession>(std::move(destination), u"", std::move(stop));
}

bool CGleaner::RecoverItem(const ReRecoverItemRequest& request, ReRecoverItemResult* result) {
  if (request.StructSize < sizeof(ReRecoverItemRequest) || !request.RelativePath) {
    fill_result(result, kReRecoverSourceFailed, u"no request");
    return false;
  }
  if (!session_) {
    fill_result(result, kReRecoverDestinationFailed, u"no recovery run is open");
    return false;
  }
  std::unique_ptr<recovery::FileJob> job;
  if (!session_->MakeJob(request.RelativePath, {request.ModifiedTime, request.CreatedTime}, request.Progress,
                         request.User, job)) {
    fill_result(result, kReRecoverSourceFailed, u"the path names no file");
    return false;
  }
  bool kept = false;
  switch (request.Method) {
    case kReRecoverFatCluster:
      kept = request.Position <= UINT32_MAX && RecoverFatItem(static_cast<uint32_t>(request.Position),
                                                              request.FileSize, *job);
      break;
    case kReRecoverNtfsRecord:
      kept = ntfs_.NtfsRecoverData(request.Position, *job, (request.Flags & kReRecoverPresentFile) != 0);
      break;
    case kReRecoverNtfsPosition:
      kept = request.Position <= static_cast<uint64_t>(INT64_MAX) &&
             ntfs_.NtfsRecoverFormatData(static_cast<int64_t>(request.Position), *job);
      break;
    default:
      job->refuse(u"unknown recovery method");
      break;
  }
  const recovery::FileOutcome& outcome = job->outcome;
  if (result && result->StructSize >= sizeof(ReRecoverItemResult)) {
    fill_result(result, status_code(outcome.status), outcome.message, outcome.system_code);
    result->BytesWritten = outcome.bytes_written;
    result->BytesAllocated = outcome.allocated_bytes;
    result->TimesSet = (outcome.modified_time_set ? kReRecoverModifiedTimeSet : 0) |
                       (outcome.created_time_set ? kReRecoverCreatedTimeSet : 0);
    copy_text(outcome.relative_path, result->WrittenPath, result->WrittenPathCapacity);
  }
  return kept;
}

bool CGleaner::JudgeItem(const ReRecoverItemRequest& request, uint32_t* verdict) {
  *verdict = kVerdictUnknown;
  if (request.StructSize < sizeof(ReRecoverItemRequest) || judged_clusters_ >= kMaxJudgedClusters) return false;
  std::optional<recovery::VerdictTally> tally;
  switch (request.Method) {
    case kReRecoverFatCluster:
      if (fat_family_ && request.Position <= UINT32_MAX) {
        tally = fat_family_->JudgeFile(static_cast<uint32_t>(request.Position), request.FileSize);
      }
      break;
    case kReRecoverNtfsRecord:
      tally = ntfs_.JudgeRecord(request.Position);
      break;
    case kReRecoverNtfsPosition:
      if (request.Position <= static_cast<uint64_t>(INT64_MAX)) {
        tally = ntfs_.JudgeFormatRecord(static_cast<int64_t>(request.Position));
      }
      break;
    default:
      break;
  }
  if (!tally) return false;
  judged_clusters_ += tally->clusters();
  *verdict = tally->verdict();
  return true;
}

bool CGleaner::SetFolderTimes(const char16_t* relative_folder, uint64_t modified, uint64_t created) {
  if (!session_ || !relative_folder) return false;
  session_->RememberFolderTimes(relative_folder, {modified, created});
  return true;
}

bool CGleaner::EndRecovery(ReRecoverItemResult* result) {
  if (!session_) {
    fill_result(result, kReRecoverWritten, u"");
    return true;
  }
  const bool ok = session_->Finish();
  if (ok) {
    fill_result(result, kReRecoverWritten, u"");
  } else {
    fill_result(result, kReRecoverDestinationFailed, session_->error().text, session_->error().code);
  }
  session_.reset();
  return ok;
}

bool CGleaner::FindByFileName(const RcWString& directory_path, const char16_t* name, uint64_t directory_record,
                              uint64_t* found_record, NtfsScanCallback callback, void* user) {
  const std::u16string path = directory_path.str();
  return ntfs_.FindByFileName(path, name, directory_record, found_record, callback, user);
}

}  // namespace salvor::engine
