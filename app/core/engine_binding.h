// EngineBinding: the engine library loaded from the program's own directory
// and its exports resolved by name. A caller checks the address it needs
// before calling it; nothing calls an export that was not found.
#pragma once

#include <string>

#include "engine/gleaner_api.h"
#include "platform/platform.h"

namespace salvor::app {

struct EngineBinding {
  InitReEngineFn InitReEngine = nullptr;
  ReScanFatDiskFn ReScanFatDisk = nullptr;
  ReFatDirectoryFn ReFatDirectory = nullptr;
  ReSearchClusterFn ReSearchCluster = nullptr;
  ReInitFatExFn ReInitFatEx = nullptr;
  ReMountImageFn ReMountImage = nullptr;
  ReSetSweepProgressFn ReSetSweepProgress = nullptr;
  ReMountImageRangeFn ReMountImageRange = nullptr;
  ReMountVolumeFn ReMountVolume = nullptr;
  ReListPartitionsFn ReListPartitions = nullptr;
  ReListPartitionsExFn ReListPartitionsEx = nullptr;
  ReSetOemCodePageFn ReSetOemCodePage = nullptr;
  ReProbeBootSectorFn ReProbeBootSector = nullptr;
  ReScanFatFormatDiskFn ReScanFatFormatDisk = nullptr;
  ReIsDirectory32Fn ReIsDirectory32 = nullptr;
  ReFatRecoverDataFn ReFatRecoverData = nullptr;
  ReFatRecoverData64Fn ReFatRecoverData64 = nullptr;
  ReScanNtfsDiskFn ReScanNtfsDisk = nullptr;
  ReScanNtfsExFn ReScanNtfsEx = nullptr;
  ReScanNtfsFormatDiskFn ReScanNtfsFormatDisk = nullptr;
  ReNtfsRecoverDataFn ReNtfsRecoverData = nullptr;
  ReNtfsRecoverFormatDataFn ReNtfsRecoverFormatData = nullptr;
  ReFindMftnumByFileNameFn ReFindMftnumByFileName = nullptr;
  ReBeginRecoveryFn ReBeginRecovery = nullptr;
  ReRecoverItemFn ReRecoverItem = nullptr;
  ReSetFolderTimesFn ReSetFolderTimes = nullptr;
  ReEndRecoveryFn ReEndRecovery = nullptr;
  ReJudgeItemFn ReJudgeItem = nullptr;

  // Loads the engine from `directory` (the executable's directory when
  // empty) and resolves every export. False when the library cannot be
  // loaded; a missing export leaves its address null.
  bool bind(std::u16string directory = {});

  // What the FAT32 Quick Scan needs.
  bool can_scan_fat() const { return InitReEngine && ReScanFatDisk && ReFatDirectory && ReSearchCluster; }
  // What the FAT-family Unformatting Scan and file recovery need.
  bool can_unformat_fat() const { return InitReEngine && ReScanFatFormatDisk; }
  bool can_recover_fat() const { return ReFatRecoverData64 || ReFatRecoverData; }
  // What the NTFS Quick Scan (live folders, then free records), the NTFS
  // Unformatting Scan and NTFS recovery need.
  bool can_scan_ntfs() const { return InitReEngine && ReScanNtfsDisk && ReScanNtfsEx && ReFindMftnumByFileName; }
  bool can_unformat_ntfs() const { return InitReEngine && ReScanNtfsDisk && ReScanNtfsFormatDisk; }
  bool can_recover_ntfs() const { return ReNtfsRecoverData && ReNtfsRecoverFormatData; }
  // What a recovery run needs: the run exports (every file system).
  bool can_run_recovery() const { return ReBeginRecovery && ReRecoverItem && ReEndRecovery; }

  std::u16string error;  // why binding failed, for the user

 private:
  platform::SharedLibrary library_;
};

}  // namespace salvor::app
