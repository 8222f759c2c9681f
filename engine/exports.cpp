// The library's exported entry points. Each forwards to the engine object;
// none lets an exception out.
#include <algorithm>
#include <iterator>

#include "engine/fat/fat_directory.h"
#include "engine/gleaner.h"
#include "engine/partition_list.h"
#include "engine/volsys/fs_probe.h"
#include "engine/volume_access.h"

using salvor::engine::TheEngine;

GLEANER_EXPORT bool InitReEngine(int kind, const char16_t* path) {
  return TheEngine().InitEngine(kind, path ? std::u16string(path) : std::u16string());
}

GLEANER_EXPORT bool ReScanFatDisk(ScanCallback callback, void* user, int kind, const char16_t* path) {
  return TheEngine().ScanFatDisk(callback, user, kind, path);
}

GLEANER_EXPORT bool ReFatDirectory(uint32_t cluster, _FileInfoFat* record) {
  return TheEngine().FatDirectory(cluster, record);
}

GLEANER_EXPORT bool ReSearchCluster(salvor::RcWString parent_path, const char16_t* name, uint32_t cluster,
                                    uint32_t* found_cluster, ScanCallback callback, void* user) {
  return TheEngine().SearchCluster(parent_path, name, cluster, found_cluster, callback, user);
}

GLEANER_EXPORT bool ReInitFatEx(const char16_t* path) { return TheEngine().InitFatEx(path); }

GLEANER_EXPORT bool ReScanFatFormatDisk(uint64_t volume_size_bytes, ScanCallback callback, void* user) {
  return TheEngine().ScanFatFormatDisk(volume_size_bytes, callback, user);
}

GLEANER_EXPORT bool ReIsDirectory32(uint64_t volume_size_bytes, _FileInfoFat* record, ScanCallback callback,
                                    void* user) {
  return TheEngine().IsDirectory32(volume_size_bytes, record, callback, user);
}

GLEANER_EXPORT bool ReFatRecoverData(const char16_t* output_path, uint32_t first_cluster, uint32_t size_bytes,
                                     ProgressCallback progress, void* user) {
  return TheEngine().FatRecoverData(output_path, first_cluster, size_bytes, progress, user);
}

GLEANER_EXPORT bool ReFatRecoverData64(const char16_t* output_path, uint32_t first_cluster, uint64_t size_bytes,
                                       ProgressCallback progress, void* user) {
  return TheEngine().FatRecoverData(output_path, first_cluster, size_bytes, progress, user);
}

GLEANER_EXPORT bool ReBeginRecovery(const char16_t* root, const ReRecoveryOptions* options,
                                    ReRecoverItemResult* result) {
  return TheEngine().BeginRecovery(root, options, result);
}

GLEANER_EXPORT bool ReRecoverItem(const ReRecoverItemRequest* request, ReRecoverItemResult* result) {
  return request && TheEngine().RecoverItem(*request, result);
}

GLEANER_EXPORT bool ReJudgeItem(const ReRecoverItemRequest* request, uint32_t* verdict) {
  if (verdict) *verdict = kVerdictUnknown;
  return request && verdict && TheEngine().JudgeItem(*request, verdict);
}

GLEANER_EXPORT bool ReSetFolderTimes(const char16_t* relative_folder, uint64_t modified, uint64_t created) {
  return TheEngine().SetFolderTimes(relative_folder, modified, created);
}

GLEANER_EXPORT bool ReEndRecovery(ReRecoverItemResult* result) { return TheEngine().EndRecovery(result); }

GLEANER_EXPORT bool ReScanNtfsDisk(NtfsScanCallback callback, void* user, const char16_t* unused_path,
                                   NtfsProgressCallback progress) {
  return TheEngine().ScanNtfsDisk(callback, user, unused_path, progress);
}

GLEANER_EXPORT bool ReScanNtfsEx(const char16_t* directory_path, NtfsScanCallback callback, void* user) {
  return TheEngine().ScanNtfsEx(directory_path, callback, user);
}

GLEANER_EXPORT bool ReScanNtfsFormatDisk(const char16_t* volume_path, uint64_t volume_size_bytes,
                                         NtfsScanCallback callback, void* user) {
  return TheEngine().ScanNtfsByFormat(volume_path, volume_size_bytes, callback, user);
}

GLEANER_EXPORT bool ReNtfsRecoverData(const char16_t* output_path, uint64_t record_number, ProgressCallback progress,
                                      void* user) {
  return TheEngine().NtfsRecoverData(output_path, record_number, progress, user);
}

GLEANER_EXPORT bool ReNtfsRecoverFormatData(const char16_t* output_path, int64_t record_offset_bytes,
                                            ProgressCallback progress, void* user) {
  return TheEngine().NtfsRecoverFormatData(output_path, record_offset_bytes, progress, user);
}

GLEANER_EXPORT bool ReFindMftnumByFileName(salvor::RcWString directory_path, const char16_t* name,
                                           uint64_t directory_record, uint64_t* found_record,
                                           NtfsScanCallback callback, void* user) {
  return TheEngine().FindByFileName(directory_path, name, directory_record, found_record, callback, user);
}

GLEANER_EXPORT bool ReSetOemCodePage(uint32_t code_page) { return salvor::engine::fat::SetOemCodePage(code_page); }

GLEANER_EXPORT bool ReProbeBootSector(const void* sector, uint32_t size_bytes, ReBootSectorInfo* info) {
  if (!sector || !info || info->StructSize < sizeof(ReBootSectorInfo) || size_bytes < 512) return false;
  namespace volsys = salvor::engine::volsys;
  const volsys::DetectedFileSystem found =
      volsys::ProbeBootSector(salvor::Bytes(static_cast<const std::byte*>(sector), size_bytes));
  *info = ReBootSectorInfo{};
  info->Kind = found.kind;
  info->BytesPerSector = found.bytes_per_sector;
  info->VolumeSizeBytes = found.volume_size_bytes;
  const std::u16string_view name = volsys::FileSystemName(found.type);
  std::copy_n(name.data(), std::min<size_t>(name.size(), std::size(info->Name) - 1), info->Name);
  return true;
}

GLEANER_EXPORT bool ReMountImage(char16_t letter, const char16_t* image_path) {
  return salvor::engine::MountImage(letter, image_path ? std::u16string_view(image_path) : std::u16string_view());
}

GLEANER_EXPORT bool ReSetSweepProgress(SweepProgressCallback callback, void* user) {
  salvor::engine::SetSweepProgress(callback, user);
  return true;
}

GLEANER_EXPORT bool ReMountImageRange(char16_t letter, const char16_t* image_path, uint64_t offset_bytes,
                                      uint64_t length_bytes) {
  return salvor::engine::MountImageRange(letter, image_path ? std::u16string_view(image_path) : std::u16string_view(),
                                         offset_bytes, length_bytes != 0 ? std::optional<uint64_t>(length_bytes)
                                                                         : std::nullopt);
}

GLEANER_EXPORT bool ReMountVolume(char16_t letter, intptr_t native_handle, uint64_t offset_bytes,
                                  uint64_t length_bytes) {
  return salvor::engine::MountVolume(letter, native_handle, offset_bytes,
                                     length_bytes != 0 ? std::optional<uint64_t>(length_bytes) : std::nullopt);
}

namespace {

// The caller's list and its records are of this build's layout.
bool IsPartitionList(const RePartitionList* list) {
  if (!list || list->StructSize != sizeof(RePartitionList)) return false;
  if (list->Capacity == 0) return true;
  return list->Records != nullptr && list->Records[0].StructSize == sizeof(RePartitionRecord);
}

}  // namespace

GLEANER_EXPORT bool ReListPartitions(const char16_t* source_path, uint32_t flags, RePartitionList* list) {
  if (!source_path || !IsPartitionList(list)) return false;
  try {
    return salvor::engine::ListPartitions(source_path, flags, *list);
  } catch (...) {
    return false;  // out of memory on a hostile table: nothing crosses the boundary
  }
}

GLEANER_EXPORT bool ReListPartitionsEx(const char16_t* source_path, const RePartitionOptions* options,
                                       RePartitionList* list) {
  const RePartitionOptions defaults;
  if (!options) options = &defaults;
  if (options->StructSize != sizeof(RePartitionOptions) || !IsPartitionList(list)) return false;
  if (options->NativeHandle == -1 && !source_path) return false;
  try {
    return salvor::engine::ListPartitions(source_path ? std::u16string_view(source_path) : std::u16string_view(),
                                          *options, *list);
  } catch (...) {
    return false;
  }
}

namespace {
salvor::IVantorComponentManager* g_registry = nullptr;
}

GLEANER_EXPORT int GetVantorComponentPtr(void* /*reserved*/, salvor::IComponent* manager) {
  if (!manager) return 1;
  const salvor::WChar* name = manager->GetComponentName(nullptr, 0);
  if (!salvor::SameComponentName(name, salvor::kComponentManagerName)) return 1;
  g_registry = static_cast<salvor::IVantorComponentManager*>(
      manager->QueryInterface(salvor::kComponentManagerName, nullptr));
  if (g_registry) g_registry->RegisterComponent(salvor::kEngineComponentName, &TheEngine());
  return 1;
}
