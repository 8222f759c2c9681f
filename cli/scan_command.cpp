// salvor-cli scan: the Quick Scan of a volume, listed as a table or JSON.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

#include "app/core/fat_scan.h"
#include "app/core/results_model.h"
#include "app/core/scan_run.h"
#include "cli/progress.h"
#include "cli/tree_output.h"
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
  bool tree = false;
  VolumeChoice volume;
  std::optional<unsigned> code_page;
};

std::optional<ScanOptions> ParseScanOptions(const Arguments& arguments) {
  ScanOptions options;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const int volume_argument = TakeVolumeChoiceArgument(arguments, i, options.volume);
    if (volume_argument < 0) return std::nullopt;
    if (volume_argument > 0) continue;
    const std::u16string& a = arguments[i];
    if (a == u"--all") {
      options.all = true;
    } else if (a == u"--json") {
      options.json = true;
    } else if (a == u"--unformat") {
      options.unformat = true;
    } else if (a == u"--tree") {
      options.tree = true;
    } else if (a == u"--fs") {
      if (i + 1 >= arguments.size()) {
        PrintUsageError(u"--fs needs a file-system name");
        return std::nullopt;
      }
      options.file_system = arguments[++i];
    } else if (a.rfind(u"--fs=", 0) == 0) {
      options.file_system = a.substr(5);
    } else if (a == u"--codepage" || a.rfind(u"--codepage=", 0) == 0) {
      const bool inline_value = a.size() > 10;
      if (!inline_value && i + 1 >= arguments.size()) {
        PrintUsageError(u"--codepage needs a code page number");
        return std::nullopt;
      }
      options.code_page = ParseCodePage(inline_value ? std::u16string_view(a).substr(11) : arguments[++i]);
      if (!options.code_page) {
        PrintUsageError(u"--codepage needs a code page number (437, 850...)");
        return std::nullopt;
      }
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

// The Unformatting Scan's listing, in the order found. FAT-family records
// carry bare names; their folder numbers (the first cluster of the folder
// holding them, and of that folder's parent) tell where they belonged. NTFS
// records carry paths: the old ones below "dir<N>" after their parent's
// record number N, shown with the record's number and position. The items
// are complete once stored, so the listing follows the scan: ListNew writes
// what was stored since it last ran.
class UnformattedListing {
 public:
  UnformattedListing(bool json, bool ntfs) : out_(stdout), json_(json), ntfs_(ntfs) {}

  void ListNew(const app::ScanRun& run) {
    // The table's heading comes with the first listing, so that a scan that
    // could not start writes nothing.
    if (!json_ && !started_) {
      out_.buffer() += (ntfs_ ? "MFT        OFFSET       " : "PARENT     FOLDER     ") + TableHeader();
      out_.EndLine();
    }
    started_ = true;
    run.CopyNewItems(listed_, batch_);
    listed_ += batch_.size();
    for (const app::FoundItem* item : batch_) List(*item);
    out_.Flush();
  }

 private:
  void List(const app::FoundItem& item) {
    full_.clear();
    item.AppendPath(full_);
    std::u16string_view shown_utf16 = full_;
    if (ntfs_) {
      relative_.clear();
      app::AppendRelativePath(relative_, full_);
      shown_utf16 = relative_;
    }
    shown_.clear();
    text::append_utf8(shown_, shown_utf16);
    const std::string_view shown = shown_;
    std::string& line = out_.buffer();
    if (json_) {
      AppendItemJson(line, item, shown);
    } else {
      char numbers[48];
      if (ntfs_) {
        std::snprintf(numbers, sizeof numbers, "%-10llu %-12llu ", static_cast<unsigned long long>(item.mft_number),
                      static_cast<unsigned long long>(item.ntfs_offset));
      } else {
        std::snprintf(numbers, sizeof numbers, "%-10u %-10u ", static_cast<unsigned>(item.parent_folder),
                      static_cast<unsigned>(item.folder));
      }
      line += numbers;
      AppendItemRow(line, item, shown);
    }
    out_.EndLine();
  }

  LineWriter out_;
  bool json_;
  bool ntfs_;
  bool started_ = false;
  size_t listed_ = 0;
  std::vector<const app::FoundItem*> batch_;
  std::u16string full_;
  std::u16string relative_;
  std::string shown_;
};

// The Quick Scan's listing, sorted by the relative paths as listed (UTF-8,
// so in the order of their code points): all of them converted once into
// one buffer.
void ListQuick(const app::ItemList& items, bool json) {
  struct Row {
    size_t start;
    size_t length;
    const app::FoundItem* item;
  };
  std::string paths;
  std::u16string full;
  std::u16string relative;
  std::vector<Row> rows;
  rows.reserve(items.size());
  // Reserved at once, as a buffer grown by doubling holds up to twice what
  // it needs while it moves (for a million entries, a hundred megabytes
  // more at the peak): enough for paths of one byte a unit, since a
  // relative path is shorter than the full one. Other scripts grow it.
  size_t full_units = 0;
  for (const auto& item : items) full_units += item.PathLength();
  paths.reserve(full_units);
  for (const auto& item : items) {
    full.clear();
    item.AppendPath(full);
    relative.clear();
    app::AppendRelativePath(relative, full);
    const size_t start = paths.size();
    text::append_utf8(paths, relative);
    rows.push_back({start, paths.size() - start, &item});
  }
  auto path_of = [&paths](const Row& row) { return std::string_view(paths).substr(row.start, row.length); };
  std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) { return path_of(a) < path_of(b); });
  LineWriter out(stdout);
  if (!json) {
    out.buffer() += TableHeader();
    out.EndLine();
  }
  for (const Row& row : rows) {
    if (json) {
      AppendItemJson(out.buffer(), *row.item, path_of(row));
    } else {
      AppendItemRow(out.buffer(), *row.item, path_of(row));
    }
    out.EndLine();
  }
}

}  // namespace

int RunScan(const Arguments& arguments) {
  const auto options = ParseScanOptions(arguments);
  if (!options) return kExitUsage;

  app::EngineBinding engine;
  std::optional<PreparedSource> prepared;
  if (const int failed = PrepareSource(options->source, options->file_system, options->volume, options->unformat,
                                       /*recover=*/false, engine, prepared)) {
    return failed;
  }
  if (!ApplyCodePage(engine, options->code_page)) return kExitUsage;
  const Source* source = &prepared->source;
  const app::FileSystemInfo* file_system = &prepared->file_system;
  std::u16string error;

  app::ScanRequest request;
  request.file_system = file_system->name;
  request.kind = file_system->kind;
  request.root = source->root;
  request.total_bytes = source->size_bytes;
  request.mode = options->unformat ? app::ScanMode::kUnformat : app::ScanMode::kQuick;
  // The plain listing of a Quick Scan shows the deleted files only.
  request.keep_present = options->unformat || options->all || options->tree;
  app::ScanRun run(engine);
  // An Unformatting Scan's plain listing is written as the scan goes on,
  // unless the status line shares the terminal with it.
  std::optional<UnformattedListing> listing;
  std::function<void()> between_waits;
  if (options->unformat && !options->tree) {
    listing.emplace(options->json, file_system->kind == kVolumeNtfs);
    if (!platform::stdout_is_terminal() || !platform::stderr_is_terminal()) {
      between_waits = [&] { listing->ListNew(run); };
    }
  }
  if (!RunScanWithProgress(run, request, error, between_waits)) {
    PrintError(options->source + u": " + error);
    if (!run.done()) ExitNow(kExitInterrupted);
    return run.stopped() ? kExitInterrupted : kExitSource;
  }

  if (options->tree) {
    // The folder tree the results page shows: deleted items (every item with
    // --all after a Quick Scan); after an Unformatting Scan, the items
    // re-homed into their folders.
    app::ResultsModel model;
    model.items() = std::move(run.items());
    // NTFS records carry their paths; only the FAT family is re-homed.
    if (options->unformat && file_system->kind != kVolumeNtfs) model.RehomeDeletedItems(source->root.substr(0, 2));
    model.BuildTrees(options->unformat ? app::ScanKind::kUnformat : app::ScanKind::kQuick);
    const bool all_tree = options->all && !options->unformat;
    model.SetOnlyDeleted(!all_tree);
    PrintFolderTree(stdout, model, all_tree ? app::TreeKind::kAll : app::TreeKind::kDeleted);
  } else if (listing) {
    listing->ListNew(run);
  } else {
    ListQuick(options->all ? run.all_items() : run.deleted_items(), options->json);
  }
  std::fflush(stdout);

  if (!run.engine_ok()) {
    PrintError(options->source + u": the volume could not be read completely; the list may be incomplete");
    return kExitSource;
  }
  return kExitOk;
}

}  // namespace salvor::cli
