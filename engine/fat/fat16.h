// CFat16: the FAT16 scanner. For now it opens its volume; the scans follow.
#pragma once

#include "engine/volume_access.h"

namespace salvor::engine {

class CFat16 {
 public:
  virtual ~CFat16() = default;
  bool OpenVolume(const char16_t* path) { return engine::OpenVolume(path, volume_); }

 private:
  ScannerVolume volume_;
};

}  // namespace salvor::engine
