#include "cli/source.h"

#include <array>
#include <cstddef>

#include "cli/commands.h"
#include "common/text.h"
#include "engine/gleaner_api.h"
#include "platform/platform.h"

namespace salvor::cli {
namespace {

// The letter under which image files and devices are shown to the engine.
constexpr char16_t kImageLetter = u'S';
// The part of a volume's first sector that tells its file system.
constexpr size_t kBootSectorBytes = 512;

bool is_drive_argument(const std::u16string& argument) {
#if defined(_WIN32)
  const bool letter = !argument.empty() && ((argument[0] >= u'A' && argument[0] <= u'Z') ||
                                            (argument[0] >= u'a' && argument[0] <= u'z'));
  return letter && (argument.size() == 2 || (argument.size() == 3 && argument[2] == u'\\')) && argument[1] == u':';
#else
  (void)argument;
  return false;
#endif
}

}  // namespace

std::u16string ComponentDirectory() {
  const std::u16string own = platform::executable_directory();
#if defined(SALVOR_INSTALLED_COMPONENT_DIR)
  // SALVOR_INSTALLED_COMPONENT_DIR is relative to the installed program's
  // folder, so the package works under any prefix.
  if (!platform::file_size(own + platform::kPathSeparator + platform::library_file_name(u"Gleaner"))) {
    return own + platform::kPathSeparator + text::from_utf8(SALVOR_INSTALLED_COMPONENT_DIR);
  }
#endif
  return own;
}

std::optional<Source> OpenSource(const app::EngineBinding& engine, const std::u16string& argument,
                                 const VolumeChoice& choice, std::u16string& error) {
  Source source;
  source.argument = argument;
  const bool drive = is_drive_argument(argument);
  const std::u16string device = drive ? u"\\\\.\\" + argument.substr(0, 2) : argument;
  source.root = drive ? argument.substr(0, 2) + u"\\" : std::u16string(1, kImageLetter) + u":\\";

  source.volume = std::make_shared<platform::RawVolume>();
  platform::RawVolume& volume = *source.volume;
  if (!volume.open(device)) {
    error = u"cannot open " + argument + (volume.error().empty() ? u"" : u": " + volume.error());
    return std::nullopt;
  }
  // A drive letter is one volume; an image or a disk may hold a table.
  const auto whole_size = volume.size_bytes();
  if (whole_size && IsUnreadableImage(volume, *whole_size, argument, error)) return std::nullopt;
  if (!drive && whole_size) {
    bool stopped = false;
    const auto volumes = ReadSourceVolumes(engine, volume, argument, choice.search, stopped, error);
    if (!volumes) return std::nullopt;
    if (stopped) {
      error = u"the search for partitions was stopped";
      return std::nullopt;
    }
    bool whole_source = false;
    source.partition = ChoosePartition(*volumes, choice, argument, whole_source, error);
    if (!source.partition && !whole_source) return std::nullopt;
  } else if (choice.partition || choice.search) {
    error = argument + u" is a volume: it has no partitions";
    return std::nullopt;
  }
  const uint64_t start = source.partition ? source.partition->start_bytes : 0;
  std::array<std::byte, kBootSectorBytes> boot{};
  if (!volume.read_at(start, boot)) {
    error = u"cannot read the first sector of " + argument + u" (too small or unreadable)";
    return std::nullopt;
  }
  const app::BootSectorFacts decoded = app::DetectFileSystem(engine, boot);
  source.file_system = decoded.file_system;
  if (source.partition) {
    source.size_bytes = source.partition->length_bytes;
  } else if (whole_size) {
    source.size_bytes = *whole_size;
  } else {
    source.size_bytes = decoded.size_bytes;
  }
  return source;
}

bool IsSupportedFileSystem(int kind) {
  return kind == kVolumeFat16 || kind == kVolumeFat32 || kind == kVolumeExFat || kind == kVolumeNtfs;
}

std::u16string SupportedFileSystemNames() { return u"FAT16, FAT32, exFAT, NTFS"; }

bool EngineCanScan(const app::EngineBinding& engine, int kind, bool unformat) {
  if (kind == kVolumeNtfs) return unformat ? engine.can_unformat_ntfs() : engine.can_scan_ntfs();
  return unformat ? engine.can_unformat_fat() : engine.can_scan_fat();
}

bool EngineCanRecover(const app::EngineBinding& engine, int kind) {
  return engine.can_run_recovery() && (kind == kVolumeNtfs ? engine.can_recover_ntfs() : engine.can_recover_fat());
}

bool MountSource(const app::EngineBinding& engine, const Source& source, std::u16string& error) {
  const uint64_t offset = source.partition ? source.partition->start_bytes : 0;
  // Length 0 would mean "to the end": a partition has at least a sector.
  const uint64_t length = source.partition ? source.partition->length_bytes : 0;
  // The open source itself where its handle gives its bytes; a disk image
  // read through a format library is opened again by its path.
  if (source.volume && source.volume->native_handle() != -1) {
    if (!engine.ReMountVolume) {
      error = u"the engine cannot take an open volume (ReMountVolume is missing)";
      return false;
    }
    if (!engine.ReMountVolume(source.root[0], source.volume->native_handle(), offset, length)) {
      error = u"the engine cannot read " + source.argument;
      return false;
    }
    return true;
  }
  if (is_drive_argument(source.argument)) return true;
  if (!engine.ReMountImageRange || !engine.ReMountImageRange(kImageLetter, source.argument.c_str(), offset, length)) {
    error = u"the engine cannot open " + source.argument + u" (ReMountImageRange is missing or failed)";
    return false;
  }
  return true;
}

int PrepareSource(const std::u16string& argument, const std::optional<std::u16string>& file_system_name,
                  const VolumeChoice& choice, bool unformat, bool recover, app::EngineBinding& engine, std::optional<PreparedSource>& prepared) {
  std::optional<app::FileSystemInfo> forced;
  if (file_system_name) {
    forced = app::FileSystemByName(*file_system_name);
    if (!forced) {
      PrintUsageError(u"unknown file system '" + *file_system_name + u"'");
      return kExitUsage;
    }
  }
  if (!engine.bind(ComponentDirectory())) {
    PrintError(engine.error);
    return kExitSource;
  }
  std::u16string error;
  auto source = OpenSource(engine, argument, choice, error);
  if (!source) {
    PrintError(error);
    return kExitSource;
  }
  const auto file_system = forced ? forced : source->file_system;
  if (!file_system || !IsSupportedFileSystem(file_system->kind)) {
    const std::u16string where =
        source->partition ? u"partition " + text::from_utf8(std::to_string(source->partition->index)) + u" of " + argument
                          : argument;
    PrintError(where + u": no supported file system found (supported: " + SupportedFileSystemNames() + u")");
    return kExitSource;
  }
  // The NTFS scans read the $MFT's place from the NTFS boot sector: without
  // one there is nothing to scan.
  if (file_system->kind == kVolumeNtfs && !(source->file_system && source->file_system->kind == kVolumeNtfs)) {
    PrintError(argument + u": no NTFS file system found (its boot sector is not an NTFS one)");
    return kExitSource;
  }
  if (!EngineCanScan(engine, file_system->kind, unformat) || (recover && !EngineCanRecover(engine, file_system->kind))) {
    PrintError(u"the engine library lacks the " + std::u16string(file_system->name) +
               (recover ? u" scan or recovery exports" : u" scan exports"));
    return kExitSource;
  }
  if (!MountSource(engine, *source, error)) {
    PrintError(error);
    return kExitSource;
  }
  if (unformat && source->size_bytes == 0) {
    PrintError(argument + u": the size of the volume is not known");
    return kExitSource;
  }
  prepared = PreparedSource{std::move(*source), *file_system};
  return kExitOk;
}

}  // namespace salvor::cli
