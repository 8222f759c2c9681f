// CExFat: the exFAT scanner. For now it opens its volume and derives the
// sector and cluster sizes; the scans follow.
#pragma once

#include <cstdint>

#include "engine/volume_access.h"

namespace salvor::engine {

class CExFat {
 public:
  virtual ~CExFat() = default;
  bool OpenVolume(const char16_t* path);

 private:
  ScannerVolume volume_;
  uint32_t bytes_per_sector_ = 0;
  uint32_t sectors_per_cluster_ = 0;
};

}  // namespace salvor::engine
