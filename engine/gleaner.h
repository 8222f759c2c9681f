// CGleaner: the engine object. One lives in a global of the library; every
// export forwards to it, and it forwards to the scanner of the kind last
// initialised: FAT-family calls through the FatFamilyScanner interface,
// NTFS calls to the one NTFS scanner.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/component.h"
#include "engine/exfat/exfat.h"
#include "engine/fat/fat16.h"
#include "engine/fat/fat32.h"
#include "engine/gleaner_api.h"
#include "engine/ntfs/ntfs.h"
#include "engine/recovery/recovery_session.h"

namespace salvor::engine {

class CGleaner : public IComponent, public IResponseCommand {
 public:
  CGleaner() = default;
  CGleaner(const CGleaner&) = delete;
  CGleaner& operator=(const CGleaner&) = delete;
  virtual ~CGleaner() = default;

  // IComponent
  const WChar* GetComponentName(WChar* buffer, int count) override;
  void* QueryInterface(const WChar* name, IComponent* reserved) override;
  // IResponseCommand: the engine takes no commands.
  int OnDispatchCommand(const WChar*, void*) override { return 0; }
  int OnDispatchCommand(int, uint32_t) override { return 0; }
  void InitCommand() {}

  bool InitEngine(int kind, const std::u16string& path);
  bool InitFatEx(const char16_t* path);
  bool ScanFatDisk(ScanCallback callback, void* user, int kind, const char16_t* path);
  bool SearchCluster(const RcWString& parent_path, const char16_t* name, uint32_t cluster, uint32_t* found_cluster,
                     ScanCallback callback, void* user);
  bool FatDirectory(uint32_t cluster, const _FileInfoFat* record);
  bool ScanFatFormatDisk(uint64_t volume_size_bytes, ScanCallback callback, void* user);
  bool IsDirectory32(uint64_t volume_size_bytes, const _FileInfoFat* record, ScanCallback callback, void* user);
  // Both recovery exports land here; the 32-bit one widens its size.
  bool FatRecoverData(const char16_t* output_path, uint32_t first_cluster, uint64_t size_bytes,
                      ProgressCallback progress, void* user);
  // NTFS. The scans need an NTFS volume initialised; the recoveries, the
  // lookup and the sweep use the NTFS scanner whatever the kind.
  bool ScanNtfsDisk(NtfsScanCallback callback, void* user, const char16_t* unused_path,
                    NtfsProgressCallback progress);
  bool ScanNtfsEx(const char16_t* directory_path, NtfsScanCallback callback, void* user);
  bool ScanNtfsByFormat(const char16_t* volume_path, uint64_t volume_size_bytes, NtfsScanCallback callback,
                        void* user);
  bool NtfsRecoverData(const char16_t* output_path, uint64_t record_number, ProgressCallback progress, void* user);
  bool NtfsRecoverFormatData(const char16_t* output_path, int64_t record_offset_bytes, ProgressCallback progress,
                             void* user);
  // Recovery runs (the Re*Recovery exports).
  bool BeginRecovery(const char16_t* root, const ReRecoveryOptions* options, ReRecoverItemResult* result);
  bool RecoverItem(const ReRecoverItemRequest& request, ReRecoverItemResult* result);
  bool SetFolderTimes(const char16_t* relative_folder, uint64_t modified, uint64_t created);
  bool EndRecovery(ReRecoverItemResult* result);
  // The verdict on one found file (ReJudgeItem).
  bool JudgeItem(const ReRecoverItemRequest& request, uint32_t* verdict);
  // A run into a destination made by the caller (tests, fuzzing).
  void BeginRecoveryInto(std::unique_ptr<platform::Destination> destination, std::function<bool()> stop);

  bool FindByFileName(const RcWString& directory_path, const char16_t* name, uint64_t directory_record,
                      uint64_t* found_record, NtfsScanCallback callback, void* user);

  int kind() const { return kind_; }

  // The files of the FAT family go to the scanner of the kind last
  // initialised.
  bool RecoverFatItem(uint32_t first_cluster, uint64_t size_bytes, recovery::FileJob& job);
  // A file of the run when `output_path` lies below its folder, else a run
  // of its own.
  bool RecoverAtPath(const char16_t* output_path, ProgressCallback progress, void* user,
                     const std::function<bool(recovery::FileJob&)>& recover);
  const std::u16string& path() const { return path_; }

 private:
  // The scanner of a FAT-family kind, or null.
  FatFamilyScanner* FatScannerOf(int kind);
  // The verdicts of a volume together judge at most this many clusters
  // (a 1 TiB volume of 4 KiB clusters once over); later ones are unknown.
  // Bounds the work of a damaged volume whose entries all claim its whole
  // length.
  static constexpr uint64_t kMaxJudgedClusters = uint64_t{1} << 28;

  std::u16string path_;
  CFat16 fat16_;
  CFat32 fat32_;
  CNtfs ntfs_;
  CExFat exfat_;
  int kind_ = 0;
  FatFamilyScanner* fat_family_ = nullptr;  // the FAT-family scanner of kind_
  uint64_t judged_clusters_ = 0;
  std::unique_ptr<recovery::RecoverySession> session_;
  ReRecoveryOptions session_options_;
};

// The library's engine object.
CGleaner& TheEngine();

}  // namespace salvor::engine
