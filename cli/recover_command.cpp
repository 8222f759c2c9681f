// salvor-cli recover: scans a volume through the application core, selects
// files as the results page would (the deleted items, every item, a filter,
// or named files and folders whose subtrees are taken as a checked folder of
// the tree is) and writes them under a destination folder through a
// recovery run. Names from the volume are untrusted: the recovery run makes
// every path component safe, so nothing is written outside the destination.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "app/core/fat_scan.h"
#include "app/core/file_filter.h"
#include "app/core/recovery_run.h"
#include "app/core/results_model.h"
#include "app/core/safe_names.h"
#include "app/core/scan_run.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "cli/source.h"
#include "common/text.h"
#include "platform/platform.h"

namespace salvor::cli {

std::u16string SafePathComponent(std::u16string_view name) { return app::SafePathComponent(name); }

namespace {

struct RecoverOptions {
  std::u16string source;
  std::u16string destination;
  std::optional<std::u16string> file_system;
  std::vector<std::u16string> paths;
  std::optional<int> type;
  std::optional<std::u16string> name;
  bool all = false;
  bool unformat = false;
  bool skip_empty = false;
  bool only_intact = false;
  bool force = false;
  bool json = false;
  VolumeChoice volume;
  bool utc = false;
  uint32_t mode = 0;  // 0: the private default (files 0600, folders 0700)
  std::optional<unsigned> code_page;
};

// "0644" or "644": octal permission bits, at most 0777.
std::optional<uint32_t> parse_mode(const std::u16string& text) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  uint32_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'7') return std::nullopt;
    value = value * 8 + static_cast<uint32_t>(c - u'0');
  }
  if (value > 0777) return std::nullopt;
  return value;
}

// Folders need search permission wherever their files may be read.
uint32_t folder_mode_for(uint32_t file_mode) {
  uint32_t mode = file_mode | 0700;
  if (file_mode & 0040) mode |= 0010;
  if (file_mode & 0004) mode |= 0001;
  return mode;
}

std::optional<int> parse_category(const std::u16string& text) {
  if (text.empty() || text.size() > 2) return std::nullopt;
  int value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
  }
  if (value >= app::kFilterCategoryCount) return std::nullopt;
  return value;
}

std::optional<RecoverOptions> ParseRecoverOptions(const Arguments& arguments) {
  RecoverOptions options;
  bool have_source = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const int volume_argument = TakeVolumeChoiceArgument(arguments, i, options.volume);
    if (volume_argument < 0) return std::nullopt;
    if (volume_argument > 0) continue;
    std::u16string a = arguments[i];
    std::optional<std::u16string> inline_value;
    if (a.rfind(u"--", 0) == 0 && a.find(u'=') != std::u16string::npos) {
      inline_value = a.substr(a.find(u'=') + 1);
      a = a.substr(0, a.find(u'='));
    }
    const bool takes_value = a == u"--to" || a == u"--fs" || a == u"--type" || a == u"--name" || a == u"--mode" ||
                             a == u"--codepage";
    if (inline_value && !takes_value) {
      PrintUsageError(u"unknown option '" + arguments[i] + u"'");
      return std::nullopt;
    }
    std::u16string value;
    if (takes_value) {
      if (inline_value) {
        value = *inline_value;
      } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
      } else {
        PrintUsageError(a + u" needs a value");
        return std::nullopt;
      }
    }
    if (a == u"--all") {
      options.all = true;
    } else if (a == u"--unformat") {
      options.unformat = true;
    } else if (a == u"--skip-empty") {
      options.skip_empty = true;
    } else if (a == u"--only-intact") {
      options.only_intact = true;
    } else if (a == u"--force") {
      options.force = true;
    } else if (a == u"--json") {
      options.json = true;
    } else if (a == u"--utc") {
      options.utc = true;
    } else if (a == u"--mode") {
      const auto mode = parse_mode(value);
      if (!mode || (*mode & 0600) != 0600) {
        PrintUsageError(u"--mode needs octal permission bits that let the owner read and write (such as 0644)");
        return std::nullopt;
      }
      options.mode = *mode;
    } else if (a == u"--to") {
      options.destination = value;
    } else if (a == u"--fs") {
      options.file_system = value;
    } else if (a == u"--type") {
      options.type = parse_category(value);
      if (!options.type) {
        PrintUsageError(u"--type needs a category number from 0 to 12 (see 'salvor-cli filters')");
        return std::nullopt;
      }
    } else if (a == u"--codepage") {
      options.code_page = ParseCodePage(value);
      if (!options.code_page) {
        PrintUsageError(u"--codepage needs a code page number (437, 850...)");
        return std::nullopt;
      }
    } else if (a == u"--name") {
      if (value.empty()) {
        PrintUsageError(u"--name needs a text");
        return std::nullopt;
      }
      options.name = value;
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
  if (options.type && options.name) {
    PrintUsageError(u"--type and --name cannot be combined");
    return std::nullopt;
  }
  if (options.type == app::kCustomFilterCategory) {
    PrintUsageError(u"category 12 is the name part: use --name TEXT");
    return std::nullopt;
  }
  return options;
}

// The components of a path as scan lists it ("Docs/a.txt") or as the
// volume names it ("S:\\Docs\a.txt"): the drive and empty parts dropped.
std::vector<std::u16string> components_of(std::u16string_view path) {
  std::u16string text(path);
  if (text.size() >= 2 && text[1] == u':') text.erase(0, 2);
  std::replace(text.begin(), text.end(), u'\\', u'/');
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(u'/', start);
    if (end == std::u16string::npos) end = text.size();
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Letters compare without case, as FAT names do.
bool same_components(const std::vector<std::u16string>& a, const std::vector<std::u16string>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (!text::equals_ignore_case(a[i], b[i])) return false;
  }
  return true;
}

struct Selection {
  std::vector<const app::FoundItem*> items;
  int missing = 0;  // PATHs that named nothing
};

// What the user asked for, from the model built after the scan.
Selection Select(app::ResultsModel& model, const RecoverOptions& options) {
  Selection selection;
  const bool every_file = options.all || !options.paths.empty();
  if (!options.unformat) model.SetOnlyDeleted(!every_file);
  const app::TreeKind kind = model.VisibleTree();
  // The files a plain selection takes: after a Quick Scan the deleted ones
  // (or all of them); after an Unformatting Scan every re-homed file.
  const app::ItemList& base =
      options.unformat || !every_file ? model.deleted_items() : model.all_items();

  if (options.paths.empty()) {
    for (const auto& item : base) {
      if (!item.is_folder()) selection.items.push_back(&item);
    }
  } else {
    // A named folder is checked in the tree, so its whole subtree is taken;
    // a named file is taken as a checked row would be.
    CheckTree& tree = model.tree(kind);
    std::vector<const app::FoundItem*> files;
    for (const auto& path : options.paths) {
      const auto wanted = components_of(path);
      bool any = false;
      if (!wanted.empty()) {
        for (const auto node : tree.DepthFirst()) {
          if (same_components(components_of(model.FolderPath(kind, node)), wanted)) {
            tree.SetCheckedWithPropagation(node, true);
            any = true;
          }
        }
        for (const auto& item : base) {
          if (!item.is_folder() && same_components(components_of(item.path()), wanted)) {
            files.push_back(&item);
            any = true;
          }
        }
      }
      if (!any) {
        PrintError(u"no file found at '" + path + u"'");
        ++selection.missing;
      }
    }
    selection.items = model.CollectChecked();
    selection.items.insert(selection.items.end(), files.begin(), files.end());
  }

  if (options.type || options.name || options.skip_empty) {
    app::FilterSpec spec;
    spec.skip_empty = options.skip_empty;
    if (options.name) {
      spec.category = app::kCustomFilterCategory;
      spec.text = *options.name;
    } else if (options.type) {
      spec.category = *options.type;
    }
    const bool by_category = options.type || options.name;
    std::erase_if(selection.items, [&](const app::FoundItem* item) {
      if (by_category) return !app::MatchesFilter(*item, spec);
      return spec.skip_empty && item->size == 0;
    });
  }
  if (options.only_intact) {
    std::erase_if(selection.items, [](const app::FoundItem* item) { return item->verdict != kVerdictIntact; });
  }
  return selection;
}

// The times given to the file: {"modified":"...Z","basis":"local"} when
// a FAT time was read as local time, "utc" otherwise; {} when none.
std::string times_json(const app::RecoveryResult& result) {
  if (result.modified_time == 0) return "{}";
  std::string out = "{\"modified\":\"" + app::FileTimeIso(result.modified_time) + "\"";
  if (result.created_time_set) out += ",\"created\":\"" + app::FileTimeIso(result.modified_time) + "\"";
  out += std::string(",\"basis\":\"") + (result.local_time ? "local" : "utc") + "\"}";
  return out;
}

std::string result_json(const app::RecoveryResult& result) {
  const bool truncated = result.ok && result.written < result.size;
  std::string out =
      std::string("{\"status\":\"") + (!result.ok ? "failed" : truncated ? "truncated" : "recovered") + "\"";
  out += ",\"path\":" + JsonString(text::to_utf8(result.relative));
  out += ",\"output\":" + JsonString(text::to_utf8(result.path));
  out += ",\"size\":" + std::to_string(result.size);
  out += ",\"written\":" + std::to_string(result.written);
  out += ",\"allocated\":" + std::to_string(result.allocated);
  out += ",\"times\":" + times_json(result);
  if (!result.ok || truncated) out += ",\"error\":" + JsonString(text::to_utf8(result.error));
  out += "}";
  return out;
}

}  // namespace

int RunRecover(const Arguments& arguments) {
  const auto options = ParseRecoverOptions(arguments);
  if (!options) return kExitUsage;

  app::EngineBinding engine;
  std::optional<PreparedSource> prepared;
  if (const int failed = PrepareSource(options->source, options->file_system, options->volume, options->unformat,
                                       /*recover=*/true, engine, prepared)) {
    return failed;
  }
  if (!ApplyCodePage(engine, options->code_page)) return kExitUsage;
  const Source* source = &prepared->source;
  const app::FileSystemInfo* file_system = &prepared->file_system;
  std::u16string error;
  app::RecoveryRequest recovery;
  recovery.destination = options->destination;
  recovery.source = options->source;
  recovery.allow_destination_on_source = options->force;
  const auto on_source = [] {
    PrintError(std::u16string(app::kDestinationOnVolumeText) + u" (--force recovers there anyway)");
    return kExitDestination;
  };
  // The run makes this check itself; asked now, it spares a long scan.
  if (app::CheckDestination(recovery) == app::StartFailure::kDestinationOnSource) return on_source();

  // The scan.
  app::ScanRequest request;
  request.file_system = file_system->name;
  request.kind = file_system->kind;
  request.root = source->root;
  request.total_bytes = source->size_bytes;
  request.mode = options->unformat ? app::ScanMode::kUnformat : app::ScanMode::kQuick;
  app::ResultsModel model;
  app::ScanRun scan(engine);
  scan.on_engine_done = [&](app::FoundItems& items) {
    model.items() = std::move(items);
    // NTFS records carry their paths; only the FAT family is re-homed.
    if (options->unformat && file_system->kind != kVolumeNtfs) model.RehomeDeletedItems(source->root.substr(0, 2));
    model.BuildTrees(options->unformat ? app::ScanKind::kUnformat : app::ScanKind::kQuick);
  };
  if (!RunScanWithProgress(scan, request, error)) {
    PrintError(options->source + u": " + error + u"; nothing was recovered");
    if (!scan.done()) ExitNow(kExitInterrupted);
    return scan.stopped() ? kExitInterrupted : kExitSource;
  }
  const bool scanned = scan.engine_ok();
  if (!scanned) {
    PrintError(options->source + u": the volume could not be read completely; some files may be missing");
  }

  // The selection, then the recovery.
  const Selection selection = Select(model, *options);
  recovery.items = selection.items;
  recovery.file_system = file_system->name;
  recovery.mode = request.mode;
  recovery.fat_times_utc = options->utc;
  if (options->mode != 0) {
    recovery.file_mode = options->mode;
    recovery.folder_mode = folder_mode_for(options->mode);
  }
  for (const auto* items : {&model.all_items(), &model.deleted_items()}) {
    for (const auto& item : *items) {
      if (item.is_folder()) recovery.folders.push_back(&item);
    }
  }
  app::RecoveryRun run(engine);
  bool started = false;
  const bool completed = RunRecoveryWithProgress(run, recovery, started);
  if (!started && run.start_failure() == app::StartFailure::kDestinationOnSource) return on_source();
  if (!started && !app::PlanRecovery(selection.items).empty()) {
    PrintError(run.message());
    return kExitSomeFailed;
  }

  uint64_t bytes = 0;
  size_t written = 0;
  for (const auto& result : run.results()) {
    if (result.ok) {
      ++written;
      bytes += result.written;
    }
    if (options->json) {
      WriteLine(stdout, result_json(result));
      continue;
    }
    const std::string shown = Printable(result.relative);
    if (!result.ok) {
      WriteLine(stdout, "failed     " + std::to_string(result.size) + "  " + shown + "  (" +
                            text::to_utf8(result.error) + ")");
    } else if (result.written < result.size) {
      WriteLine(stdout, "truncated  " + std::to_string(result.written) + " of " + std::to_string(result.size) +
                            "  " + shown + "  (" + text::to_utf8(result.error) + ")");
    } else {
      WriteLine(stdout, "recovered  " + std::to_string(result.size) + "  " + shown);
    }
  }
  const size_t failed = run.failures();
  const std::u16string message = started ? run.message() : std::u16string(app::kNothingSelectedText);
  if (options->json) {
    std::string summary = "{\"summary\":true,\"files_written\":" + std::to_string(written);
    summary += ",\"bytes\":" + std::to_string(bytes);
    summary += ",\"failed\":" + std::to_string(failed);
    summary += ",\"failures\":[";
    bool first = true;
    for (const auto& result : run.results()) {
      if (result.ok) continue;
      if (!first) summary += ',';
      summary += JsonString(text::to_utf8(result.relative));
      first = false;
    }
    summary += "],\"selected\":" + std::to_string(run.planned());
    summary += ",\"destination\":" + JsonString(text::to_utf8(options->destination));
    summary += std::string(",\"interrupted\":") + (completed || run.aborted() ? "false" : "true");
    summary += std::string(",\"fat_times\":\"") + (options->utc ? "utc" : "local") + "\"";
    if (run.aborted()) summary += ",\"stopped_by\":" + JsonString(text::to_utf8(run.abort_reason()));
    summary += ",\"message\":" + JsonString(text::to_utf8(message)) + "}";
    WriteLine(stdout, summary);
  }
  std::fflush(stdout);
  WriteLine(stderr, "salvor-cli: " + std::to_string(written) + " of " + std::to_string(run.planned()) +
                        " files recovered (" + std::to_string(bytes) + " bytes) into " +
                        text::to_utf8(options->destination));
  for (const auto& result : run.results()) {
    if (!result.ok) WriteLine(stderr, "salvor-cli: failed: " + Printable(result.relative));
  }
  WriteLine(stderr, "salvor-cli: " + text::to_utf8(message));
  if (run.aborted()) return kExitSomeFailed;
  if (!completed) return kExitInterrupted;
  if (failed > 0 || selection.missing > 0) return kExitSomeFailed;
  return scanned ? kExitOk : kExitSource;
}

}  // namespace salvor::cli
