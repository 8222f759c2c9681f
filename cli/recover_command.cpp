// salvor-cli recover: scans a volume as `scan` does and writes the chosen
// files under a destination folder, keeping their folder structure. Names
// come from the scanned volume and are untrusted: every path component is
// made safe before it touches the destination, so nothing is ever written
// outside it.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <system_error>
#include <vector>

#include "app/core/fat_scan.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cli/source.h"
#include "common/text.h"
#include "platform/platform.h"

namespace salvor::cli {
namespace {

struct RecoverOptions {
  std::u16string source;
  std::u16string destination;
  std::optional<std::u16string> file_system;
  std::vector<std::u16string> paths;
  bool all = false;
  bool unformat = false;
};

std::optional<RecoverOptions> ParseRecoverOptions(const Arguments& arguments) {
  RecoverOptions options;
  bool have_source = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::u16string& a = arguments[i];
    if (a == u"--all") {
      options.all = true;
    } else if (a == u"--unformat") {
      options.unformat = true;
    } else if (a == u"--to" || a == u"--fs") {
      if (i + 1 >= arguments.size()) {
        PrintUsageError(a + u" needs a value");
        return std::nullopt;
      }
      (a == u"--to" ? options.destination : options.file_system.emplace()) = arguments[++i];
    } else if (a.rfind(u"--to=", 0) == 0) {
      options.destination = a.substr(5);
    } else if (a.rfind(u"--fs=", 0) == 0) {
      options.file_system = a.substr(5);
    } else if (a.size() > 1 && a[0] == u'-') {
      PrintUsageError(u"unknown option '" + a + u"'");
      return std::nullopt;
    } else if (!have_source) {
      options.source = a;
      have_source = true;
    } else {
      options.paths.push_back(a);
    }
  }
  if (options.source.empty()) {
    PrintUsageError(u"recover needs a SOURCE");
    return std::nullopt;
  }
  if (options.destination.empty()) {
    PrintUsageError(u"recover needs a destination folder (--to DIR)");
    return std::nullopt;
  }
  return options;
}

bool is_reserved_device_name(std::u16string_view name) {
  // Windows opens these devices whatever the extension ("NUL.txt").
  const std::u16string_view base = name.substr(0, name.find(u'.'));
  static constexpr std::u16string_view kNames[] = {u"CON", u"PRN", u"AUX", u"NUL"};
  for (const auto reserved : kNames) {
    if (text::equals_ignore_case(base, reserved)) return true;
  }
  if (base.size() == 4 && base[3] >= u'1' && base[3] <= u'9' &&
      (text::equals_ignore_case(base.substr(0, 3), u"COM") || text::equals_ignore_case(base.substr(0, 3), u"LPT"))) {
    return true;
  }
  return false;
}

}  // namespace

// One path component from the volume, made safe to create under the
// destination on every system: separators, drive colons, characters Windows
// refuses, control characters and unpaired surrogates become "_"; so do the
// trailing dots and spaces Windows would drop (which also turns "." and ".."
// into "_" and "__"); an empty name becomes "_" and a device name gets a "_"
// in front. Changes stay visible rather than silent.
std::u16string SafePathComponent(std::u16string_view name) {
  std::u16string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF) {
      out += c;
      out += name[++i];
      continue;
    }
    const bool unsafe = c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF) ||
                        std::u16string_view(u"/\\:*?\"<>|").find(c) != std::u16string_view::npos;
    out += unsafe ? u'_' : c;
  }
  for (size_t i = out.size(); i > 0 && (out[i - 1] == u'.' || out[i - 1] == u' '); --i) out[i - 1] = u'_';
  if (out.empty()) out = u"_";
  if (is_reserved_device_name(out)) out.insert(0, 1, u'_');
  return out;
}

namespace {

struct Candidate {
  std::vector<std::u16string> components;  // as found on the volume, "/" never inside one
  const _FileInfoFat* record;
};

std::vector<std::u16string> split_path(std::u16string_view path, char16_t separator) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(separator, start);
    if (end == std::u16string_view::npos) end = path.size();
    parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The components of a Quick Scan record's FullPath ("S:\\A\B"), split
// where the engine joined them: a "/" inside a name stays in its component
// (and is replaced later) instead of making a folder. The drive and empty
// components are dropped, as scan's listing drops them.
std::vector<std::u16string> components_of(std::u16string_view full_path) {
  std::vector<std::u16string> parts;
  bool drive_possible = true;  // only the first non-empty component is the drive
  for (auto& part : split_path(full_path, u'\\')) {
    if (part.empty()) continue;
    const bool drive = drive_possible && part.size() == 2 && part[1] == u':';
    drive_possible = false;
    if (!drive) parts.push_back(std::move(part));
  }
  // An entry with an empty name still needs one ("_" once made safe).
  if (full_path.empty() || full_path.back() == u'\\') parts.emplace_back();
  return parts;
}

// Paths of Unformatting Scan records, rebuilt from folder numbers: a folder
// record names the folder whose number is its first cluster, inside the
// folder it was found in. A folder no record names, or one caught in a loop
// of such names, is shown as "_folder_<number>" at the top.
class UnformatTree {
 public:
  explicit UnformatTree(const std::vector<_FileInfoFat>& records) {
    for (const auto& record : records) {
      if (record.EntryType == kEntryFolder && record.FirstCluster != 0 && record.FirstCluster != record.Folder) {
        folders_.emplace(uint32_t{record.FirstCluster}, &record);  // the first record found wins
      }
    }
  }

  std::vector<std::u16string> path_of(const _FileInfoFat& record) const {
    std::vector<std::u16string> parts{record.FullPath.str()};
    std::set<uint32_t> seen;
    for (uint32_t folder = record.Folder; folder != 0;) {
      const auto found = folders_.find(folder);
      if (found == folders_.end() || !seen.insert(folder).second) {
        parts.push_back(u"_folder_" + text::from_utf8(std::to_string(folder)));
        break;
      }
      parts.push_back(found->second->FullPath.str());
      folder = found->second->Folder;
    }
    std::reverse(parts.begin(), parts.end());
    return parts;
  }

 private:
  std::map<uint32_t, const _FileInfoFat*> folders_;
};

std::u16string join(const std::vector<std::u16string>& parts, char16_t separator) {
  std::u16string out;
  for (const auto& part : parts) {
    if (!out.empty()) out += separator;
    out += part;
  }
  return out;
}

// A wanted PATH matches a file with that path, or any file below a folder
// with that path; letters compare without case, as FAT names do.
bool matches(const std::vector<std::u16string>& wanted, const std::vector<std::u16string>& components) {
  if (wanted.size() > components.size()) return false;
  for (size_t i = 0; i < wanted.size(); ++i) {
    if (!text::equals_ignore_case(wanted[i], components[i])) return false;
  }
  return true;
}

std::vector<std::u16string> normalise_wanted(std::u16string path) {
  std::replace(path.begin(), path.end(), u'\\', u'/');
  std::vector<std::u16string> parts;
  for (auto& part : split_path(path, u'/')) {
    if (!part.empty()) parts.push_back(std::move(part));
  }
  return parts;
}

// "name.ext" -> "name (2).ext": a second file that would land on the same
// output path (a deleted file and a new one of the same name).
std::u16string numbered(const std::u16string& name, int number) {
  const size_t dot = name.rfind(u'.');
  const std::u16string suffix = u" (" + text::from_utf8(std::to_string(number)) + u")";
  if (dot == std::u16string::npos || dot == 0) return name + suffix;
  return name.substr(0, dot) + suffix + name.substr(dot);
}

}  // namespace

int RunRecover(const Arguments& arguments) {
  const auto options = ParseRecoverOptions(arguments);
  if (!options) return kExitUsage;

  std::optional<app::FileSystemInfo> forced;
  if (options->file_system) {
    forced = app::FileSystemByName(*options->file_system);
    if (!forced) {
      PrintUsageError(u"unknown file system '" + *options->file_system + u"'");
      return kExitUsage;
    }
  }
  std::u16string error;
  const auto source = OpenSource(options->source, error);
  if (!source) {
    PrintError(error);
    return kExitSource;
  }
  const auto file_system = forced ? forced : source->file_system;
  if (!file_system || !IsSupportedFileSystem(file_system->kind)) {
    PrintError(options->source + u": no supported file system found (supported: " + SupportedFileSystemNames() +
               u")");
    return kExitSource;
  }
  app::EngineBinding engine;
  if (!engine.bind()) {
    PrintError(engine.error);
    return kExitSource;
  }
  const bool can_scan = options->unformat ? engine.can_unformat_fat() : engine.can_scan_fat();
  if (!can_scan || !engine.can_recover_fat()) {
    PrintError(u"the engine library lacks the FAT scan or recovery exports");
    return kExitSource;
  }
  if (!MountSource(engine, *source, error)) {
    PrintError(error);
    return kExitSource;
  }

  // The scan, as `scan` runs it.
  std::vector<Candidate> candidates;
  std::vector<_FileInfoFat> unformat_records;
  std::optional<app::FatQuickScan> quick;
  bool scanned = false;
  if (options->unformat) {
    if (source->size_bytes == 0) {
      PrintError(options->source + u": the size of the volume is not known");
      return kExitSource;
    }
    scanned = app::RunFatUnformatScan(engine, file_system->kind, source->root, source->size_bytes, unformat_records);
    const UnformatTree tree(unformat_records);
    // After a format nothing tells deleted from present: every file counts.
    for (const auto& record : unformat_records) {
      if (record.EntryType == kEntryFile) candidates.push_back({tree.path_of(record), &record});
    }
  } else {
    quick.emplace(engine, file_system->name, file_system->kind, source->root);
    quick->volume_size_bytes = source->size_bytes;
    scanned = quick->run();
    const bool every_file = options->all || !options->paths.empty();
    for (const auto& record : every_file ? quick->all_items() : quick->deleted_items()) {
      if (record.EntryType == kEntryFile) candidates.push_back({components_of(record.FullPath.view()), &record});
    }
  }
  if (!scanned) {
    PrintError(options->source + u": the volume could not be read completely; some files may be missing");
  }

  // The files asked for.
  std::vector<const Candidate*> chosen;
  int failed = 0;
  if (options->paths.empty()) {
    for (const auto& candidate : candidates) chosen.push_back(&candidate);
  } else {
    std::set<const Candidate*> picked;
    for (const auto& path : options->paths) {
      const auto wanted = normalise_wanted(path);
      bool any = false;
      for (const auto& candidate : candidates) {
        if (!wanted.empty() && matches(wanted, candidate.components)) {
          any = true;
          if (picked.insert(&candidate).second) chosen.push_back(&candidate);
        }
      }
      if (!any) {
        PrintError(u"no file found at '" + path + u"'");
        ++failed;
      }
    }
  }

  std::error_code ec;
  const std::filesystem::path destination(options->destination);
  std::filesystem::create_directories(destination, ec);
  if (!std::filesystem::is_directory(destination, ec)) {
    PrintError(u"cannot create the destination folder " + options->destination);
    return kExitSomeFailed;
  }

  std::set<std::u16string> used;  // output paths written in this run
  int recovered = 0;
  for (const Candidate* candidate : chosen) {
    std::vector<std::u16string> safe;
    for (const auto& component : candidate->components) safe.push_back(SafePathComponent(component));
    std::u16string relative = join(safe, u'/');
    for (int n = 2; used.count(relative) != 0; ++n) {
      auto renamed = safe;
      renamed.back() = numbered(safe.back(), n);
      relative = join(renamed, u'/');
    }
    used.insert(relative);

    const std::filesystem::path output = destination / std::filesystem::path(relative);
    std::filesystem::create_directories(output.parent_path(), ec);
    const std::u16string output_text = output.u16string();
    const _FileInfoFat& record = *candidate->record;
    const uint64_t size = record.FileSize;
    const bool ok = engine.RecoverFatFile(output_text.c_str(), record.FirstCluster, size, nullptr, nullptr);
    const std::string shown = text::to_utf8(relative);
    if (!ok) {
      ++failed;
      WriteLine(stdout, "failed     " + std::to_string(size) + "  " + shown);
      continue;
    }
    ++recovered;
    const auto written = std::filesystem::file_size(output, ec);
    if (!ec && written < size) {
      WriteLine(stdout, "truncated  " + std::to_string(written) + " of " + std::to_string(size) + "  " + shown +
                            "  (the volume ends before the file does)");
    } else {
      WriteLine(stdout, "recovered  " + std::to_string(size) + "  " + shown);
    }
  }
  std::fflush(stdout);
  WriteLine(stderr, "salvor-cli: " + std::to_string(recovered) + " of " + std::to_string(chosen.size()) +
                        " files recovered into " + text::to_utf8(options->destination));
  if (failed > 0) return kExitSomeFailed;
  return scanned ? kExitOk : kExitSource;
}

}  // namespace salvor::cli
