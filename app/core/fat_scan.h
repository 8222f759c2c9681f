// The Quick Scan of a FAT-family volume as the program runs it: the engine
// reports one folder's entries through OnFatItem, and OnFatItem descends into
// each folder record before storing it, so the engine re-enters it for the
// folder's contents. Below kMaxNestedFolders levels a folder waits in a work
// list instead, entered once the callbacks have returned, so the stack never
// grows with the volume's nesting.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/core/engine_binding.h"
#include "engine/gleaner_api.h"

namespace salvor::app {

class FatQuickScan {
 public:
  // `file_system` is the volume's name as reported ("FAT", "FAT32",
  // "EXFAT"); `root` the drive root ("E:\").
  FatQuickScan(const EngineBinding& engine, std::u16string file_system, int kind, std::u16string root);

  // Called first for every reported record, before any descent (on the
  // scanning thread); false drops the record: it is neither entered nor
  // stored. A scan run waits here while paused and stops here.
  std::function<bool(const _FileInfoFat&)> on_report;
  // Called for every stored record, after its folder was entered.
  std::function<void(const _FileInfoFat&)> on_record;
  // Whether all_items() and deleted_items() keep the records (a caller that
  // stores them itself through on_record turns this off).
  bool keep_records = true;
  // The volume's total size; the FAT32 search for a deleted folder's
  // directory needs it (0: that search is skipped).
  uint64_t volume_size_bytes = 0;

  // Opens the volume and scans it. False when the volume cannot be opened or
  // its root folder cannot be read; records found before a failure stay.
  bool run();

  const std::vector<_FileInfoFat>& all_items() const { return all_items_; }
  const std::vector<_FileInfoFat>& deleted_items() const { return deleted_items_; }

  // A folder is entered at most this often, however many entries name its
  // cluster; this bounds the work a volume whose folders name one another
  // can cause.
  static constexpr int kMaxEntriesPerFolder = 4;
  // Folders are entered from inside the callback (the engine re-entering it)
  // down to this many levels; a deeper folder is entered from the work list,
  // with a fresh stack. Each level costs a few KiB of stack, so the bound
  // holds on any OS (a Windows thread has 1 MiB).
  static constexpr size_t kMaxNestedFolders = 64;
  // A folder whose path is longer than the longest path Windows can create
  // (32767 UTF-16 units) is not entered: nothing below it could be
  // recovered, and it bounds the length of every path a scan makes.
  static constexpr size_t kMaxFolderPathUnits = 32767;

 private:
  // A folder left for the work list, with the clusters of the folders above
  // it (a folder that names one of them is not entered).
  struct PendingFolder {
    _FileInfoFat record;
    std::vector<uint32_t> ancestors;
  };

  static uint32_t OnFatItem(_FileInfoFat record, void* user);
  void descend(const _FileInfoFat& record);
  void store(const _FileInfoFat& record);

  const EngineBinding& engine_;
  std::u16string file_system_;
  int kind_;
  std::u16string root_;
  std::vector<_FileInfoFat> all_items_;
  std::vector<_FileInfoFat> deleted_items_;
  std::vector<uint32_t> open_folders_;        // clusters being scanned, outermost first
  std::map<uint32_t, int> folder_visits_;     // cluster -> times entered
  size_t nesting_ = 0;                        // folders entered on the stack right now
  std::deque<PendingFolder> pending_;         // folders too deep to enter from the callback
};

// The Unformatting Scan of a FAT-family volume: the engine sweeps
// `volume_size_bytes` of it and reports every entry of every old directory
// cluster, with bare names and folder numbers (ParentFolder, Folder) from
// which the caller rebuilds the tree. Appends the records to `records`,
// calling `on_record` for each. False when the engine lacks the exports, the
// volume cannot be opened, or part of it could not be read (records found
// stay).
bool RunFatUnformatScan(const EngineBinding& engine, int kind, const std::u16string& root,
                        uint64_t volume_size_bytes, std::vector<_FileInfoFat>& records,
                        const std::function<void(const _FileInfoFat&)>& on_record = {});

// The path of a record relative to the volume root, "/"-separated: the drive
// and empty components of FullPath are dropped.
std::u16string RelativePath(std::u16string_view full_path);
// The same, appended to `out`.
void AppendRelativePath(std::u16string& out, std::u16string_view full_path);

}  // namespace salvor::app
