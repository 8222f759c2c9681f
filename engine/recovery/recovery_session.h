// A recovery run inside the engine: the destination opened once, the one
// writer every file goes through, the folder times to apply once the files
// are in, and durability once at the end. Outside a run (the plain exports
// given a full output path) each file is a run of its own, whose folder is
// its destination.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/recovery/recovery_writer.h"
#include "platform/destination.h"

namespace salvor::engine::recovery {

class RecoverySession {
 public:
  // Opens `root` (made when missing). Nothing, with `error` set, when it
  // cannot be opened.
  static std::unique_ptr<RecoverySession> Open(std::u16string_view root, const platform::DestinationOptions& options,
                                               std::function<bool()> stop, platform::DestinationError& error);
  RecoverySession(std::unique_ptr<platform::Destination> destination, std::u16string root, std::function<bool()> stop);

  // A job for the file at `relative` below the destination. False when the
  // path names no file.
  bool MakeJob(std::u16string_view relative, const platform::FileTimes& times, ProgressCallback progress, void* user,
               std::unique_ptr<FileJob>& job);
  // The path of an output below the root, relative to it, when `path` lies
  // under the root.
  bool RelativeToRoot(std::u16string_view path, std::u16string& relative) const;

  // Times for a folder below the destination (made by this run), set when
  // the run ends, after everything inside it.
  void RememberFolderTimes(std::u16string_view relative, const platform::FileTimes& times);
  // Folder times, deepest first, then everything made durable. False with
  // error() when something failed.
  bool Finish();
  const platform::DestinationError& error() const { return error_; }

  RecoveryWriter& writer() { return writer_; }

 private:
  std::unique_ptr<platform::Destination> destination_;
  std::u16string root_;
  RecoveryWriter writer_;
  std::vector<std::pair<std::vector<std::u16string>, platform::FileTimes>> folder_times_;
  platform::DestinationError error_;
};

// One file written to `output_path` outside any run: its folder is the
// destination (made when missing); the file is made durable before this
// returns. `recover` hands the file system's extents to the job.
bool RecoverToPath(std::u16string_view output_path, ProgressCallback progress, void* user,
                   const std::function<bool(FileJob&)>& recover);

}  // namespace salvor::engine::recovery
