#include "app/core/fs_detect.h"

#include "common/text.h"
#include "engine/gleaner_api.h"

namespace salvor::app {
namespace {

constexpr FileSystemInfo kFat16Info{FileSystem::kFat16, kVolumeFat16, u"FAT"};
constexpr FileSystemInfo kFat32Info{FileSystem::kFat32, kVolumeFat32, u"FAT32"};
constexpr FileSystemInfo kExFatInfo{FileSystem::kExFat, kVolumeExFat, u"EXFAT"};
constexpr FileSystemInfo kNtfsInfo{FileSystem::kNtfs, kVolumeNtfs, u"NTFS"};

}  // namespace

std::optional<FileSystemInfo> FileSystemOfKind(int kind) {
  switch (kind) {
    case kVolumeFat16: return kFat16Info;
    case kVolumeFat32: return kFat32Info;
    case kVolumeExFat: return kExFatInfo;
    case kVolumeNtfs: return kNtfsInfo;
    default: return std::nullopt;
  }
}

BootSectorFacts DetectFileSystem(const EngineBinding& engine, Bytes boot) {
  BootSectorFacts facts;
  ReBootSectorInfo info;
  if (!engine.ReProbeBootSector || boot.size() > UINT32_MAX ||
      !engine.ReProbeBootSector(boot.data(), static_cast<uint32_t>(boot.size()), &info)) {
    return facts;
  }
  facts.file_system = FileSystemOfKind(info.Kind);
  facts.size_bytes = info.VolumeSizeBytes;
  return facts;
}

std::optional<FileSystemInfo> FileSystemByName(std::u16string_view name) {
  if (text::equals_ignore_case(name, u"fat32")) return kFat32Info;
  if (text::equals_ignore_case(name, u"fat16") || text::equals_ignore_case(name, u"fat")) return kFat16Info;
  if (text::equals_ignore_case(name, u"exfat")) return kExFatInfo;
  if (text::equals_ignore_case(name, u"ntfs")) return kNtfsInfo;
  return std::nullopt;
}

}  // namespace salvor::app
