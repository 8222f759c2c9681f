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

  // Loads the engine from `directory` (the executable's directory when
  // empty) and resolves every export. False when the library cannot be
  // loaded; a missing export leaves its address null.
  bool bind(std::u16string directory = {});

  // What the FAT32 Quick Scan needs.
  bool can_scan_fat() const { return InitReEngine && ReScanFatDisk && ReFatDirectory && ReSearchCluster; }

  std::u16string error;  // why binding failed, for the user

 private:
  platform::SharedLibrary library_;
};

}  // namespace salvor::app
