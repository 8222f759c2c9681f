#include "cli/volumes.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "cli/output.h"
#include "cli/progress.h"
#include "common/text.h"

namespace salvor::cli {
namespace {

using app::DiskVolume;
using app::DiskVolumes;

std::optional<uint32_t> parse_index(std::u16string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  uint32_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - u'0');
  }
  return value;
}

std::string HumanSize(uint64_t bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1024.0 && unit < 5) {
    value /= 1024.0;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, kUnits[unit]);
  return text;
}

std::string TypeText(const DiskVolume& p) {
  if (p.found()) return "-";
  if (p.mbr_type != 0) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", p.mbr_type);
    return text;
  }
  const std::u16string guid = app::TypeGuidText(p.type_guid);
  return guid.empty() ? "-" : text::to_utf8(guid);
}

std::string FileSystemText(const DiskVolume& p) {
  std::string name = text::to_utf8(p.file_system);
  if (p.file_system == u"FAT12") name += " (not supported)";
  return name;
}

std::string OriginText(const DiskVolume& p) {
  std::string origin = text::to_utf8(app::OriginName(p));
  if ((p.flags & kRePartitionBackupBootSector) != 0) origin += " (backup boot sector)";
  return origin;
}

std::string Remarks(const DiskVolume& p) {
  std::string remarks;
  if ((p.flags & kRePartitionPastEnd) != 0) remarks += "past the end of the disk; ";
  if (!p.overlaps.empty()) {
    remarks += "overlaps partition";
    if (p.overlaps.size() > 1) remarks += "s";
    for (size_t i = 0; i < p.overlaps.size(); ++i) remarks += (i ? ", " : " ") + std::to_string(p.overlaps[i]);
    remarks += "; ";
  }
  if (!p.name.empty()) remarks += "\"" + Printable(p.name) + "\"; ";
  if (!remarks.empty()) remarks.resize(remarks.size() - 2);
  return remarks;
}

}  // namespace

int TakeVolumeChoiceArgument(const Arguments& arguments, size_t& i, VolumeChoice& choice) {
  const std::u16string& a = arguments[i];
  if (a == u"--search") {
    choice.search = SearchDepth::kAligned;
    return 1;
  }
  if (a == u"--search=deep") {
    choice.search = SearchDepth::kDeep;
    return 1;
  }
  if (a.rfind(u"--search=", 0) == 0) {
    PrintUsageError(u"--search takes no value but 'deep'");
    return -1;
  }
  std::optional<std::u16string> value;
  if (a == u"--partition") {
    if (i + 1 >= arguments.size()) {
      PrintUsageError(u"--partition needs a number (see 'salvor-cli partitions SOURCE')");
      return -1;
    }
    value = arguments[++i];
  } else if (a.rfind(u"--partition=", 0) == 0) {
    value = a.substr(12);
  } else {
    return 0;
  }
  choice.partition = parse_index(*value);
  if (!choice.partition || *choice.partition == 0) {
    PrintUsageError(u"--partition needs a partition number, not '" + *value + u"'");
    return -1;
  }
  return 1;
}

bool IsUnreadableImage(const platform::RawVolume& volume, uint64_t size_bytes, const std::u16string& argument,
                       std::u16string& error) {
  if (platform::kReadsDiskImageFormats || size_bytes < 512) return false;
  std::array<std::byte, 512> head{}, tail{};
  if (!volume.read_at(0, head) || !volume.read_at(size_bytes - tail.size(), tail)) return false;
  const auto format = platform::DiskImageFormatName(head, tail);
  if (!format) return false;
  error = argument + u" is a " + *format +
          u" image: this build reads raw images only (E01, VHD, VHDX and VMDK images are read by the Linux build "
          u"for now)";
  return true;
}

std::optional<DiskVolumes> ReadSourceVolumes(const app::EngineBinding& engine, const platform::RawVolume& volume,
                                             const std::u16string& argument, std::optional<SearchDepth> search,
                                             bool& stopped, std::u16string& error) {
  stopped = false;
  if (!engine.ReListPartitionsEx) {
    error = u"the engine library lacks the partition list export (ReListPartitionsEx)";
    return std::nullopt;
  }
  app::DiskVolumesRequest request;
  if (search) request.flags = *search == SearchDepth::kDeep ? kReListDeepSearch : kReListSearch;
  // The engine reads the volume open here; a disk image read through a
  // format library has no handle and is opened by its path.
  request.native_handle = volume.native_handle();
  // Whether the search runs is known only once the engine has read the
  // table: Ctrl-C is watched from the start.
  platform::watch_interrupts();
  StatusLine status;
  request.progress = [&status](uint64_t done, uint64_t total) {
    char line[96];
    std::snprintf(line, sizeof line, "searching for partitions: %3d%% (%s of %s)",
                  total ? static_cast<int>(done * 100 / total) : 100, HumanSize(done).c_str(),
                  HumanSize(total).c_str());
    status.Show(line);
  };
  request.stop_requested = [] { return platform::interrupted(); };
  auto volumes = app::ReadDiskVolumes(engine, argument, request);
  if (!volumes) {
    error = u"the engine cannot read the partitions of " + argument;
    return std::nullopt;
  }
  stopped = volumes->search_stopped();
  return volumes;
}

std::string PartitionTable(const DiskVolumes& volumes) {
  std::string out;
  char line[512];
  std::snprintf(line, sizeof line, "%-3s  %14s  %14s  %10s  %-36s  %-16s  %s", "#", "START", "LENGTH", "SIZE", "TYPE",
                "FILE SYSTEM", "ORIGIN");
  out += line;
  for (const DiskVolume& p : volumes.partitions) {
    std::snprintf(line, sizeof line, "\n%-3u  %14llu  %14llu  %10s  %-36s  %-16s  %s", p.index,
                  static_cast<unsigned long long>(p.start_bytes), static_cast<unsigned long long>(p.length_bytes),
                  HumanSize(p.length_bytes).c_str(), TypeText(p).c_str(), FileSystemText(p).c_str(),
                  OriginText(p).c_str());
    out += line;
    const std::string remarks = Remarks(p);
    if (!remarks.empty()) out += "  " + remarks;
  }
  return out;
}

std::string PartitionsJson(const DiskVolumes& volumes, uint64_t size_bytes) {
  std::string json = "{\"table\":" + JsonString(text::to_utf8(app::TableName(volumes.table))) +
                     ",\"sector_bytes\":" + std::to_string(volumes.sector_bytes) +
                     ",\"size_bytes\":" + std::to_string(size_bytes) + ",\"notes\":[";
  for (size_t i = 0; i < volumes.notes.size(); ++i) json += (i ? "," : "") + JsonString(text::to_utf8(volumes.notes[i]));
  json += "],\"partitions\":[";
  for (size_t n = 0; n < volumes.partitions.size(); ++n) {
    const DiskVolume& p = volumes.partitions[n];
    json += n ? "," : "";
    json += "{\"index\":" + std::to_string(p.index) + ",\"start_bytes\":" + std::to_string(p.start_bytes) +
            ",\"length_bytes\":" + std::to_string(p.length_bytes) + ",\"type\":" + JsonString(TypeText(p)) +
            ",\"name\":" + JsonString(text::to_utf8(p.name)) + ",\"file_system\":" +
            JsonString(text::to_utf8(p.file_system)) + ",\"scannable\":" + (p.scannable() ? "true" : "false") +
            ",\"origin\":" + JsonString(text::to_utf8(app::OriginName(p))) + ",\"backup_boot_sector\":" +
            ((p.flags & kRePartitionBackupBootSector) != 0 ? "true" : "false") +
            ",\"past_end\":" + ((p.flags & kRePartitionPastEnd) != 0 ? "true" : "false") + ",\"overlaps\":[";
    for (size_t i = 0; i < p.overlaps.size(); ++i) json += (i ? "," : "") + std::to_string(p.overlaps[i]);
    json += "]}";
  }
  return json + "]}";
}

std::optional<DiskVolume> ChoosePartition(const DiskVolumes& volumes, const VolumeChoice& choice,
                                          const std::u16string& argument, bool& whole_source, std::u16string& error) {
  whole_source = false;
  if (choice.partition) {
    const DiskVolume* chosen = app::FindDiskVolume(volumes, *choice.partition);
    if (!chosen) {
      error = argument + u" has no partition " + text::from_utf8(std::to_string(*choice.partition)) +
              u" (see 'salvor-cli partitions " + argument + u"')";
      return std::nullopt;
    }
    if (chosen->extended() || chosen->length_bytes == 0) {
      error = u"partition " + text::from_utf8(std::to_string(*choice.partition)) + u" of " + argument +
              (chosen->extended() ? u" is the container of the logical partitions" : u" lies past the end of the disk");
      return std::nullopt;
    }
    return *chosen;
  }
  std::vector<const DiskVolume*> scannable;
  for (const DiskVolume& p : volumes.partitions) {
    if (p.scannable()) scannable.push_back(&p);
  }
  if (volumes.table == kReTableVolume || scannable.empty()) {
    whole_source = true;
    return std::nullopt;
  }
  if (scannable.size() == 1) return *scannable.front();
  error = argument + u" holds several volumes; choose one with --partition N:\n" +
          text::from_utf8(PartitionTable(volumes));
  return std::nullopt;
}

int RunPartitions(const Arguments& arguments) {
  VolumeChoice choice;
  bool json = false;
  std::u16string source;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const int taken = TakeVolumeChoiceArgument(arguments, i, choice);
    if (taken < 0) return kExitUsage;
    if (taken > 0) {
      if (choice.partition) {
        PrintUsageError(u"partitions takes no --partition");
        return kExitUsage;
      }
      continue;
    }
    const std::u16string& a = arguments[i];
    if (a == u"--json") {
      json = true;
    } else if (!a.empty() && a[0] == u'-') {
      PrintUsageError(u"unknown option '" + a + u"'");
      return kExitUsage;
    } else if (source.empty()) {
      source = a;
    } else {
      PrintUsageError(u"more than one SOURCE given");
      return kExitUsage;
    }
  }
  if (source.empty()) {
    PrintUsageError(u"partitions needs a SOURCE");
    return kExitUsage;
  }
  platform::RawVolume volume;
  if (!volume.open(source)) {
    PrintError(u"cannot open " + source);
    return kExitSource;
  }
  const auto size = volume.size_bytes();
  if (!size) {
    PrintError(u"the size of " + source + u" is not known");
    return kExitSource;
  }
  std::u16string error;
  if (IsUnreadableImage(volume, *size, source, error)) {
    PrintError(error);
    return kExitSource;
  }
  app::EngineBinding engine;
  if (!engine.bind(ComponentDirectory())) {
    PrintError(engine.error);
    return kExitSource;
  }
  bool stopped = false;
  const auto volumes = ReadSourceVolumes(engine, volume, source, choice.search, stopped, error);
  if (!volumes) {
    PrintError(error);
    return kExitSource;
  }
  if (stopped) return kExitInterrupted;
  if (json) {
    WriteLine(stdout, PartitionsJson(*volumes, *size));
    return kExitOk;
  }
  char head[160];
  std::snprintf(head, sizeof head, "table: %s, %u-byte sectors, disk %llu bytes (%s)",
                text::to_utf8(app::TableName(volumes->table)).c_str(), volumes->sector_bytes,
                static_cast<unsigned long long>(*size), HumanSize(*size).c_str());
  WriteLine(stdout, head);
  for (const std::u16string& note : volumes->notes) WriteLine(stdout, "note: " + text::to_utf8(note));
  WriteLine(stdout, PartitionTable(*volumes));
  return kExitOk;
}

}  // namespace salvor::cli
