// The volumes a SOURCE holds, as salvor-cli sees them: its partition table
// (or the one volume of a disk without one) and the lost partitions the
// search finds, both as the engine lists them (ReListPartitionsEx), and the
// choice of one of them for scan and recover (--partition N,
// --search[=deep]). Shared by the partitions, scan and recover commands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/core/disk_partitions.h"
#include "app/core/engine_binding.h"
#include "cli/commands.h"
#include "platform/platform.h"

namespace salvor::cli {

enum class SearchDepth {
  kAligned,  // the first MiB sector by sector, then the sectors at and around each MiB boundary
  kDeep,     // every 512-byte sector of the disk
};

struct VolumeChoice {
  std::optional<uint32_t> partition;    // --partition N
  std::optional<SearchDepth> search;    // --search, --search=deep
};

// Takes --partition N (or =N), --search and --search=deep at arguments[i]
// (moving i past a value). 1: taken; 0: not one of these; -1: a usage error
// was printed.
int TakeVolumeChoiceArgument(const Arguments& arguments, size_t& i, VolumeChoice& choice);

// True (with `error` for the user) when the source is an image of a format
// this build does not read (the Windows build reads raw images only).
bool IsUnreadableImage(const platform::RawVolume& volume, uint64_t size_bytes, const std::u16string& argument,
                       std::u16string& error);

// The volumes of an open source (the one named `argument`), as the bound
// engine lists them, with the search run when asked or when no table and no
// volume were found (progress on stderr when it is a terminal). Nothing,
// with `error` set, when the engine cannot list them; `stopped` is set when
// Ctrl-C ended the search.
std::optional<app::DiskVolumes> ReadSourceVolumes(const app::EngineBinding& engine, const platform::RawVolume& volume,
                                                  const std::u16string& argument, std::optional<SearchDepth> search,
                                                  bool& stopped, std::u16string& error);

// The table rows of a disk's volumes, for the partitions command and for
// the error that asks for --partition.
std::string PartitionTable(const app::DiskVolumes& volumes);
std::string PartitionsJson(const app::DiskVolumes& volumes, uint64_t size_bytes);

// The partition that scan and recover work on: the one --partition names,
// else the only scannable one. Nothing with `error` set when the number is
// not listed, or when several could be meant (the error lists them).
// `whole_source` is set when the source is to be taken whole (a disk
// without a table, or nothing scannable found: the file-system checks that
// follow say why).
std::optional<app::DiskVolume> ChoosePartition(const app::DiskVolumes& volumes, const VolumeChoice& choice,
                                               const std::u16string& argument, bool& whole_source,
                                               std::u16string& error);

}  // namespace salvor::cli
