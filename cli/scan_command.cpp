// salvor-cli scan: the Quick Scan of a volume, listed as a table or JSON.
#include <algorithm>
#include <cstdio>
#include <optional>

#include "app/core/fat_scan.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cli/source.h"
#include "common/text.h"
#include "platform/platform.h"

namespace salvor::cli {
namespace {

struct ScanOptions {
  std::u16string source;
  std::optional<std::u16string> file_system;
  bool all = false;
  bool json = false;
  bool unformat = false;
};

std::optional<ScanOptions> ParseScanOptions(const Arguments& arguments) {
  ScanOptions options;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::u16string& a = arguments[i];
    if (a == u"--all") {
      options.all = true;
    } else if (a == u"--json") {
      options.json = true;
    } else if (a == u"--unformat") {
      options.unformat = true;
    } else if (a == u"--fs") {
      if (i + 1 >= arguments.size()) {
        PrintUsageError(u"--fs needs a file-system name");
        return std::nullopt;
      }
      options.file_system = arguments[++i];
    } else if (a.rfind(u"--fs=", 0) == 0) {
      options.file_system = a.substr(5);
    } else if (a.size() > 1 && a[0] == u'-') {
      PrintUsageError(u"unknown option '" + a + u"'");
      return std::nullopt;
    } else if (options.source.empty()) {
      options.source = a;
    } else {
      PrintUsageError(u"more than one SOURCE given");
      return std::nullopt;
    }
  }
  if (options.source.empty()) {
    PrintUsageError(u"scan needs a SOURCE");
    return std::nullopt;
  }
  return options;
}

// A line on stderr that counts what the scan has found so far; only when
// stderr is a terminal.
class ProgressLine {
 public:
  ProgressLine() : enabled_(platform::stderr_is_terminal()) {}
  void update(const _FileInfoFat& record) {
    (record.EntryType == kEntryFolder ? folders_ : files_) += 1;
    if (!enabled_ || (folders_ + files_) % 64 != 0) return;
    std::fprintf(stderr, "\r\x1b[KScanning: %llu folders, %llu files", folders_, files_);
    std::fflush(stderr);
    shown_ = true;
  }
  ~ProgressLine() {
    if (shown_) std::fputs("\r\x1b[K", stderr);
  }

 private:
  bool enabled_;
  bool shown_ = false;
  unsigned long long folders_ = 0;
  unsigned long long files_ = 0;
};

// The Unformatting Scan: records carry bare names; their folder numbers
// (the first cluster of the folder holding them, and of that folder's
// parent) tell where they belonged. Listed in the order found.
int RunUnformatScan(const app::EngineBinding& engine, const Source& source, const app::FileSystemInfo& file_system,
                    bool json) {
  if (source.size_bytes == 0) {
    PrintError(source.argument + u": the size of the volume is not known");
    return kExitSource;
  }
  std::vector<_FileInfoFat> records;
  bool ok = false;
  {
    ProgressLine progress;
    ok = app::RunFatUnformatScan(engine, file_system.kind, source.root, source.size_bytes, records,
                                 [&](const _FileInfoFat& record) { progress.update(record); });
  }
  if (!json) WriteLine(stdout, "PARENT     FOLDER     " + TableHeader());
  for (const auto& record : records) {
    if (json) {
      WriteLine(stdout, RecordJson(record, record.FullPath.view()));
    } else {
      char folders[32];
      std::snprintf(folders, sizeof folders, "%-10u %-10u ", static_cast<unsigned>(record.ParentFolder),
                    static_cast<unsigned>(record.Folder));
      WriteLine(stdout, folders + RecordRow(record, record.FullPath.view()));
    }
  }
  std::fflush(stdout);
  if (!ok) {
    PrintError(source.argument + u": the volume could not be read completely; the list may be incomplete");
    return kExitSource;
  }
  return kExitOk;
}

}  // namespace

int RunScan(const Arguments& arguments) {
  const auto options = ParseScanOptions(arguments);
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
  if (!file_system) {
    PrintError(options->source + u": no supported file system found (supported: " + SupportedFileSystemNames() +
               u")");
    return kExitSource;
  }
  if (!IsSupportedFileSystem(file_system->kind)) {
    PrintError(options->source + u": " + file_system->name + u" is not supported yet (supported: " +
               SupportedFileSystemNames() + u")");
    return kExitSource;
  }

  app::EngineBinding engine;
  if (!engine.bind()) {
    PrintError(engine.error);
    return kExitSource;
  }
  if (options->unformat ? !engine.can_unformat_fat() : !engine.can_scan_fat()) {
    PrintError(u"the engine library lacks the FAT scan exports");
    return kExitSource;
  }
  if (!MountSource(engine, *source, error)) {
    PrintError(error);
    return kExitSource;
  }
  if (options->unformat) return RunUnformatScan(engine, *source, *file_system, options->json);

  app::FatQuickScan scan(engine, file_system->name, file_system->kind, source->root);
  scan.volume_size_bytes = source->size_bytes;
  bool ok = false;
  {
    ProgressLine progress;
    scan.on_record = [&](const _FileInfoFat& record) { progress.update(record); };
    ok = scan.run();
  }

  struct Row {
    std::u16string path;
    const _FileInfoFat* record;
  };
  const auto& items = options->all ? scan.all_items() : scan.deleted_items();
  std::vector<Row> rows;
  rows.reserve(items.size());
  for (const auto& record : items) rows.push_back({app::RelativePath(record.FullPath.view()), &record});
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.path < b.path; });

  if (!options->json) WriteLine(stdout, TableHeader());
  for (const Row& row : rows) {
    WriteLine(stdout, options->json ? RecordJson(*row.record, row.path) : RecordRow(*row.record, row.path));
  }
  std::fflush(stdout);

  if (!ok) {
    PrintError(options->source + u": the volume could not be read completely; the list may be incomplete");
    return kExitSource;
  }
  return kExitOk;
}

}  // namespace salvor::cli
