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
    case kVolumeFat16:
      return fat16_.ScanFatDisk(path_, callback, user);
    case kVolumeFat32:
      return fat32_.ScanFatDisk(path_, callback, user);
    case kVolumeExFat:
      return exfat_.ScanFatDisk(path_, callback, user);
    default:
      return false;
  }
}

bool CGleaner::SearchCluster(const RcWString& parent_path, const char16_t* name, uint32_t cluster,
                             uint32_t* found_cluster, ScanCallback callback, void* user) {
  const std::u16string parent = parent_path.str();
  switch (kind_) {
    case kVolumeFat16:
      return fat16_.SearchCluster(parent, name, cluster, found_cluster, callback, user);
    case kVolumeFat32:
      return fat32_.SearchCluster(parent, name, cluster, found_cluster, callback, user);
    case kVolumeExFat:
      return exfat_.SearchCluster(parent, name, cluster, found_cluster, callback, user);
    default:
      return false;
  }
}

bool CGleaner::FatDirectory(uint32_t cluster, const _FileInfoFat* record) {
  switch (kind_) {
    case kVolumeFat16:
      return fat16_.FatDirectory(cluster);
    case kVolumeFat32:
      return fat32_.FatDirectory(cluster, record);
    default:
      return false;
  }
}

bool CGleaner::ScanFatFormatDisk(uint64_t volume_size_bytes, ScanCallback callback, void* user) {
  switch (kind_) {
    case kVolumeFat16:
      return fat16_.ScanFatFormatDisk(volume_size_bytes, callback, user);
    case kVolumeFat32:
      return fat32_.ScanFatFormatDisk(volume_size_bytes, callback, user);
    case kVolumeExFat:
      return exfat_.ScanFatFormatDisk(volume_size_bytes, callback, user);
    default:
      return false;
  }
}

// Only FAT32 clears the high half of a deleted entry's cluster, so this
// always asks the FAT32 scanner, whatever the kind.
bool CGleaner::IsDirectory32(uint64_t volume_size_bytes, const _FileInfoFat* record, ScanCallback callback,
                             void* user) {
  return fat32_.IsDirectory32(volume_size_bytes, record, callback, user);
}

bool CGleaner::FatRecoverData(const char16_t* output_path, uint32_t first_cluster, uint64_t size_bytes,
                              ProgressCallback progress, void* user) {
  if (!output_path) return false;
  switch (kind_) {
    case kVolumeFat16:
      return fat16_.FatRecoverData(output_path, first_cluster, size_bytes, progress, user);
    case kVolumeFat32:
      return fat32_.FatRecoverData(output_path, first_cluster, size_bytes, progress, user);
    case kVolumeExFat:
      return exfat_.FatRecoverData(output_path, first_cluster, size_bytes, progress, user);
    default:
      return false;
  }
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
  if (!output_path) return false;
  return ntfs_.NtfsRecoverData(output_path, record_number, progress, user);
}

bool CGleaner::NtfsRecoverFormatData(const char16_t* output_path, int64_t record_offset_bytes,
                                     ProgressCallback progress, void* user) {
  if (!output_path) return false;
  return ntfs_.NtfsRecoverFormatData(output_path, record_offset_bytes, progress, user);
}

bool CGleaner::FindByFileName(const RcWString& directory_path, const char16_t* name, uint64_t directory_record,
                              uint64_t* found_record, NtfsScanCallback callback, void* user) {
  const std::u16string path = directory_path.str();
  return ntfs_.FindByFileName(path, name, directory_record, found_record, callback, user);
}

}  // namespace salvor::engine
