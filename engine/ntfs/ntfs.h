// CNtfs: the NTFS scanner. For now it opens its volume; reading the record
// layout and the scans follow, so opening reports failure.
#pragma once

#include "engine/volume_access.h"

namespace salvor::engine {

class CNtfs {
 public:
  virtual ~CNtfs() = default;
  bool OpenVolume(const char16_t* path) { return engine::OpenVolume(path, volume_); }
  // Reads the MFT record sizes from the boot sector. Not available yet.
  bool LoadRecordLayout() { return false; }

 private:
  ScannerVolume volume_;
};

}  // namespace salvor::engine
