#include "engine/gleaner.h"

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

bool CGleaner::InitEngine(int kind, const std::u16string& path) {
  switch (kind) {
    case kVolumeFat16:
      kind_ = kind, path_ = path;
      return fat16_.OpenVolume(path.c_str());
    case kVolumeFat32:
      kind_ = kind, path_ = path;
      return fat32_.OpenVolume(path.c_str());
    case kVolumeExFat:
      kind_ = kind, path_ = path;
      return exfat_.OpenVolume(path.c_str());
    case kVolumeNtfs:
      kind_ = kind, path_ = path;
      ntfs_.OpenVolume(path.c_str());
      return ntfs_.LoadRecordLayout();
    default:
      return false;
  }
}

bool CGleaner::InitFatEx(const char16_t* path) { return exfat_.OpenVolume(path); }

bool CGleaner::ScanFatDisk(ScanCallback callback, void* user, int kind, const char16_t* path) {
  if (kind != 0 && path && path[0] == u'0') {
    kind_ = kind;
    path_ = path;
  }
  switch (kind_) {
    case kVolumeFat32:
      return fat32_.ScanFatDisk(path_, callback, user);
    default:
      return false;
  }
}

bool CGleaner::SearchCluster(const RcWString& parent_path, const char16_t* name, uint32_t cluster,
                             uint32_t* found_cluster, ScanCallback callback, void* user) {
  const std::u16string parent = parent_path.str();
  switch (kind_) {
    case kVolumeFat32:
      return fat32_.SearchCluster(parent, name, cluster, found_cluster, callback, user);
    default:
      return false;
  }
}

bool CGleaner::FatDirectory(uint32_t cluster, const _FileInfoFat* record) {
  switch (kind_) {
    case kVolumeFat32:
      return fat32_.FatDirectory(cluster, record);
    default:
      return false;
  }
}

}  // namespace salvor::engine
