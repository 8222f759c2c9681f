// The destination of a recovery run: a folder that may already hold files,
// folders and links put there by anyone. It is opened once; every folder
// below it is reached component by component from that handle without
// following a link (or, on Windows, a reparse point), and every file is
// created new: a name that exists on disk is never opened for writing, the
// file takes the next free numbered name instead ("a (1).txt"). Names are
// fitted to the destination's limits first. Only files created through a
// DestinationFile are ever removed, and only while they are still the file
// that was created.
//
// One implementation per OS (destination_posix.cpp, destination_win32.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace salvor::platform {

// Why an operation on the destination failed: the system's code and its
// text ("No space left on device"), and whether the destination is full.
struct DestinationError {
  uint32_t code = 0;
  std::u16string text;
  bool full = false;

  explicit operator bool() const { return code != 0 || !text.empty(); }
};

// Times to give a recovered file or folder, as FILETIME values (100 ns since
// 1601-01-01 UTC); 0 leaves a time as the system sets it.
struct FileTimes {
  uint64_t modified = 0;
  uint64_t created = 0;  // Windows only; POSIX has no creation time to set
};
// The times a system can set: both on Windows, the modification time
// elsewhere.
bool can_set_creation_time();

struct DestinationOptions {
  uint32_t file_mode = 0600;    // POSIX permission bits of new files
  uint32_t folder_mode = 0700;  // and of new folders
  bool create_root = true;      // make the destination folder and its parents when missing
};

// One file created by the destination, open for writing.
class DestinationFile {
 public:
  virtual ~DestinationFile() = default;
  // The path written, relative to the destination ("Docs/a (1).txt").
  virtual const std::u16string& relative_path() const = 0;
  // Writes `data` at byte `offset`; ranges never written read as zeros and,
  // where the file system can, take no space (holes).
  virtual bool write_at(uint64_t offset, std::span<const std::byte> data) = 0;
  // Marks the file sparse before its first hole (Windows); nothing elsewhere.
  virtual bool make_sparse() = 0;
  virtual bool set_size(uint64_t size_bytes) = 0;
  virtual bool set_times(const FileTimes& times) = 0;
  // Bytes the file takes on the destination, when the system tells.
  virtual std::optional<uint64_t> allocated_bytes() = 0;
  // Closes the file and hands it over to be made durable with the run.
  virtual bool finish() = 0;
  // Closes and removes the file, if the name still names the file created.
  virtual void discard() = 0;
  virtual const DestinationError& error() const = 0;
};

class Destination {
 public:
  virtual ~Destination() = default;
  // Creates a new file `name` in the folder `folders` (components below the
  // destination), making missing folders. A component that exists as
  // anything but a real folder, and a file name that exists at all, is
  // replaced by its next free numbered name. Nothing on failure (error()).
  virtual std::unique_ptr<DestinationFile> create_file(std::span<const std::u16string> folders,
                                                       std::u16string_view name) = 0;
  // Free bytes for this process at the destination, when the system tells.
  virtual std::optional<uint64_t> free_bytes() = 0;
  // True when ranges never written take no space (sparse files).
  virtual bool supports_holes() = 0;
  // Sets the times of a folder this destination created in this run; the
  // folders that were there before are left as they are. `folders` as for
  // create_file (the requested names, not the numbered ones).
  virtual bool set_folder_times(std::span<const std::u16string> folders, const FileTimes& times) = 0;
  // Makes everything written so far durable. False when that failed.
  virtual bool sync() = 0;
  virtual const DestinationError& error() const = 0;
};

// Opens the destination folder `root` (after creating it and any missing
// parents, as the user named it, unless options.create_root is false).
std::unique_ptr<Destination> OpenDestination(std::u16string_view root, const DestinationOptions& options,
                                             DestinationError& error);

// Attempts at a free numbered name before a create gives up.
inline constexpr unsigned kMaxNameNumber = 100000;

}  // namespace salvor::platform
