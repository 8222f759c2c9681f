// SOURCE arguments of salvor-cli: an image file, a block device, or on
// Windows a drive ("E:"). The source is opened once, here; that one open
// volume serves the detection of its file system and, handed to the engine
// under a drive letter, every engine call of the run, so the engine's
// drive-path rules hold for all of them and nothing opens the path again.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/core/engine_binding.h"
#include "app/core/fs_detect.h"
#include "cli/volumes.h"
#include "platform/platform.h"

namespace salvor::cli {

struct Source {
  std::u16string argument;    // as the user gave it
  std::u16string root;        // the drive root the engine is given ("S:\")
  std::optional<app::FileSystemInfo> file_system;
  // Size in bytes as the OS tells it, else as the boot sector says (0 when
  // neither knows); the Unformatting Scan sweeps this much.
  uint64_t size_bytes = 0;
  // The partition of the source that is scanned (its byte range is what the
  // engine sees under the drive letter); nothing: the whole source.
  std::optional<app::DiskVolume> partition;
  std::shared_ptr<platform::RawVolume> volume;  // the one open volume
};

// The file systems that scan and recover handle.
bool IsSupportedFileSystem(int kind);
std::u16string SupportedFileSystemNames();
// Whether the bound engine has the exports a scan (or recovery) of a volume
// of engine kind `kind` needs.
bool EngineCanScan(const app::EngineBinding& engine, int kind, bool unformat);
bool EngineCanRecover(const app::EngineBinding& engine, int kind);

// Opens SOURCE (a regular file or a block device; Windows: a drive, volume
// or physical drive path; anything else is refused before any read), reads
// its partition table and chooses the volume `choice` names (see
// ChoosePartition), reads that volume's boot sector and has the bound
// engine decode it. On failure `error` says why, in words for the user.
std::optional<Source> OpenSource(const app::EngineBinding& engine, const std::u16string& argument,
                                 const VolumeChoice& choice, std::u16string& error);

// Makes the engine see the source's open volume under its drive letter.
bool MountSource(const app::EngineBinding& engine, const Source& source, std::u16string& error);

struct PreparedSource {
  Source source;
  app::FileSystemInfo file_system;
};

// What scan and recover do before they scan: the --fs name (if given),
// opening SOURCE and deciding its file system, binding the engine with the
// exports the work needs, and showing it the source. On failure prints why
// and gives the exit code; otherwise kExitOk with `engine` ready.
int PrepareSource(const std::u16string& argument, const std::optional<std::u16string>& file_system_name,
                  const VolumeChoice& choice, bool unformat, bool recover, app::EngineBinding& engine, std::optional<PreparedSource>& prepared);

}  // namespace salvor::cli
