// A FAT-family cluster chain that was checked against the file's size,
// handed out as runs of consecutive clusters, one FAT read per cluster
// through the file system's FAT cache. A FAT that cannot be read now is a
// failure of the file.
#pragma once

#include <cstdint>

#include "engine/recovery/recovery_writer.h"

namespace salvor::engine::recovery {

template <typename FatCache, typename Geometry>
class ChainExtents final : public ExtentSource {
 public:
  ChainExtents(const platform::RawVolume& volume, const Geometry& geometry, uint32_t first_cluster, uint64_t clusters)
      : fat_(volume, geometry), geometry_(geometry), cluster_(first_cluster), clusters_left_(clusters) {}

  ExtentStatus next(Extent& extent) override {
    if (clusters_left_ == 0) return ExtentStatus::kEnd;
    extent.kind = Extent::Kind::kVolume;
    extent.volume_offset_bytes = geometry_.cluster_offset_bytes(cluster_);
    extent.length_bytes = 0;
    while (clusters_left_ > 0) {
      extent.length_bytes += geometry_.cluster_size_bytes;
      if (--clusters_left_ == 0) break;  // the last cluster's entry is not needed
      const auto value = fat_.entry(cluster_);
      if (!value) return ExtentStatus::kFailed;
      const bool follows = *value == cluster_ + 1;
      cluster_ = *value;
      if (!follows) break;
    }
    return ExtentStatus::kExtent;
  }
  std::u16string failure() const override { return u"the FAT could not be read"; }

 private:
  FatCache fat_;
  const Geometry& geometry_;
  uint32_t cluster_;
  uint64_t clusters_left_;
};

}  // namespace salvor::engine::recovery
