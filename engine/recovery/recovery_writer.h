// The one writer of recovered files. A file system only says what a file
// holds, as a sequence of extents (bytes of the volume, ranges that read as
// zeros, bytes it decoded itself); the writer creates the file through the
// destination, copies in large batches, leaves zero ranges as holes, sets
// the final size and times, keeps the run within its budget, checks the
// stop request between batches and removes only a file it created itself
// when that file cannot be completed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/byte_reader.h"
#include "engine/gleaner_api.h"
#include "platform/destination.h"
#include "platform/platform.h"

namespace salvor::engine::recovery {

// A batch of up to 32 MiB is read and written in one go.
inline constexpr uint64_t kBatchBytes = 32ull << 20;
// Progress is reported once per 64 KiB (or per cluster when clusters are
// larger), the bytes still to write, then 0 when the file is complete.
inline constexpr uint32_t kProgressChunkBytes = 64 * 1024;
// No file is longer than this, whatever a volume says.
inline constexpr uint64_t kMaxFileBytes = uint64_t{1} << 63;
// A run writes at most this many times the size of the volume it reads:
// data beyond that can only be the same clusters claimed again and again
// by damaged entries.
inline constexpr uint64_t kMaxRunOutputVolumes = 4;

// One piece of a file's content, in file order.
struct Extent {
  enum class Kind {
    kVolume,  // `length_bytes` bytes of the volume from `volume_offset_bytes`
    kZeros,   // reads as zeros: a sparse range, or bytes past the valid length
    kBytes,   // `bytes`, decoded by the file system (valid until the next call)
  };
  Kind kind = Kind::kZeros;
  uint64_t length_bytes = 0;
  uint64_t volume_offset_bytes = 0;
  Bytes bytes;
};

enum class ExtentStatus { kExtent, kEnd, kFailed };

class ExtentSource {
 public:
  virtual ~ExtentSource() = default;
  // The next extent (never empty), the end, or a failure (a read of the
  // file system's own structures, damaged data).
  virtual ExtentStatus next(Extent& extent) = 0;
  // Why the last kFailed, for the user.
  virtual std::u16string failure() const { return u"the file's data is damaged or cannot be read"; }
};

// What the caller knows of the file before its content.
struct FileRequest {
  std::vector<std::u16string> folders;  // safe components below the destination
  std::u16string name;                  // safe name
  platform::FileTimes times;
  ProgressCallback progress = nullptr;
  void* user = nullptr;

  // Filled by the file system:
  uint64_t size_bytes = 0;           // logical size; no more is written
  uint64_t data_bytes_at_most = 0;   // bytes that are not zeros, at most (the budget check)
  uint64_t output_bytes_at_most = UINT64_MAX;  // the output's length at most (where the volume ends)
  uint64_t volume_bytes = 0;         // size of the volume read (the run's output bound); 0 unknown
  uint32_t chunk_bytes = kProgressChunkBytes;
  // True when a file whose extents end early is no file at all (NTFS run
  // lists); false when what the volume holds is kept (a FAT-family file
  // read as one run that reaches past the volume's end).
  bool whole_or_nothing = false;
  std::u16string damage;  // set when the file system already knows the file is cut short
};

enum class FileStatus {
  kWritten,            // all of it
  kTruncated,          // the volume or the clusters ended first: what they hold is kept
  kSourceFailed,       // nothing kept: the volume could not be read, or the data is damaged
  kDestinationFailed,  // nothing kept: creating or writing the file failed (the run should stop)
  kNoRoom,             // not written: it does not fit what the run may still write (the run should stop)
  kStopped,            // stopped within the file; nothing kept
};

struct FileOutcome {
  FileStatus status = FileStatus::kSourceFailed;
  std::u16string relative_path;  // the name written ("Docs/a (1).txt"); empty when nothing was created
  uint64_t bytes_written = 0;    // the output's size
  uint64_t allocated_bytes = 0;  // what it takes on the destination
  bool modified_time_set = false;
  bool created_time_set = false;
  uint32_t system_code = 0;  // errno / GetLastError of a destination failure
  std::u16string message;    // why, when not kWritten (also the damage of a kTruncated file)

  bool kept() const { return status == FileStatus::kWritten || status == FileStatus::kTruncated; }
  // The run cannot go on: the destination is full or failing, or stopped.
  bool ends_run() const {
    return status == FileStatus::kDestinationFailed || status == FileStatus::kNoRoom ||
           status == FileStatus::kStopped;
  }
};

class RecoveryWriter {
 public:
  // `stop` is asked between batches; true stops the file and the run.
  RecoveryWriter(platform::Destination& destination, std::function<bool()> stop);

  FileOutcome write(const platform::RawVolume& volume, ExtentSource& source, const FileRequest& request);

  // Data bytes (not holes) written by this writer so far.
  uint64_t data_written() const { return data_written_; }
  // The free space at the destination when the first file was written
  // bounds every later file (0: not known yet).
  platform::Destination& destination() { return destination_; }

 private:
  class FileCopy;

  platform::Destination& destination_;
  std::function<bool()> stop_;
  std::vector<std::byte> batch_;
  uint64_t data_written_ = 0;
  uint64_t largest_volume_ = 0;
};

// A request's folders and name from a relative path below the destination
// ("Docs\a.txt" or "Docs/a.txt"); empty components are skipped. False when
// no name is left.
bool SplitRelativePath(std::u16string_view relative, std::vector<std::u16string>& folders, std::u16string& name);

}  // namespace salvor::engine::recovery

namespace salvor::engine::recovery {

// One file on its way out: the writer, what the caller asked, and the
// outcome once the file system has run it with its extents.
struct FileJob {
  RecoveryWriter& writer;
  FileRequest request;
  FileOutcome outcome;

  bool run(const platform::RawVolume& volume, ExtentSource& source) {
    outcome = writer.write(volume, source, request);
    return outcome.kept();
  }
  // The file system refuses the file before any byte (no file is made).
  bool refuse(std::u16string why) {
    outcome = {};
    outcome.message = std::move(why);
    return false;
  }
};

// Extents known in advance (a handful: resident data, one run and its
// zeros), handed out in order; empty ones are skipped.
class ExtentList final : public ExtentSource {
 public:
  ExtentList() = default;
  void add(const Extent& extent) {
    if (extent.length_bytes != 0) extents_.push_back(extent);
  }
  void add_volume(uint64_t offset, uint64_t length) { add({Extent::Kind::kVolume, length, offset, {}}); }
  void add_zeros(uint64_t length) { add({Extent::Kind::kZeros, length, 0, {}}); }
  void add_bytes(Bytes bytes) { add({Extent::Kind::kBytes, bytes.size(), 0, bytes}); }
  ExtentStatus next(Extent& extent) override {
    if (next_ == extents_.size()) return ExtentStatus::kEnd;
    extent = extents_[next_++];
    return ExtentStatus::kExtent;
  }

 private:
  std::vector<Extent> extents_;
  size_t next_ = 0;
};

// Bytes from `valid_bytes` on read as zeros whatever the volume holds (the
// valid or initialised length of exFAT and NTFS streams).
class ValidLength final : public ExtentSource {
 public:
  ValidLength(ExtentSource& inner, uint64_t valid_bytes) : inner_(inner), valid_(valid_bytes) {}
  ExtentStatus next(Extent& extent) override {
    if (left_.length_bytes == 0) {
      const ExtentStatus status = inner_.next(left_);
      if (status != ExtentStatus::kExtent) return status;
    }
    extent = left_;
    if (position_ >= valid_) {
      extent.kind = Extent::Kind::kZeros;
    } else if (extent.length_bytes > valid_ - position_) {
      extent.length_bytes = valid_ - position_;  // the rest comes next time, as zeros
      if (extent.kind == Extent::Kind::kBytes) {
        extent.bytes = extent.bytes.first(std::min<size_t>(extent.bytes.size(), static_cast<size_t>(extent.length_bytes)));
      }
    }
    left_.length_bytes -= extent.length_bytes;
    left_.volume_offset_bytes += extent.length_bytes;
    if (left_.kind == Extent::Kind::kBytes) {
      left_.bytes = left_.bytes.subspan(std::min<size_t>(left_.bytes.size(), static_cast<size_t>(extent.length_bytes)));
    }
    position_ += extent.length_bytes;
    return ExtentStatus::kExtent;
  }
  std::u16string failure() const override { return inner_.failure(); }

 private:
  ExtentSource& inner_;
  uint64_t valid_;
  uint64_t position_ = 0;
  Extent left_;
};

}  // namespace salvor::engine::recovery
