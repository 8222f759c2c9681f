// exFAT directory entry sets: decoding a set (File entry, stream extension,
// name entries) into a native struct and a _FileInfoFat record, and the
// directory scan that walks a folder's clusters and reports or looks up its
// sets. Used by the quick scan, the name lookup and the unformat sweep.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/byte_reader.h"
#include "engine/exfat/exfat_geometry.h"
#include "engine/gleaner_api.h"
#include "engine/lost_clusters.h"

namespace salvor::engine::exfat {

struct StreamInfo {
  uint8_t flags = 0;
  uint8_t name_length = 0;  // characters
  uint16_t name_hash = 0;
  uint32_t first_cluster = 0;
  uint64_t valid_data_length = 0;
  uint64_t data_length = 0;
  bool no_fat_chain() const;
};

// One decoded entry set.
struct EntrySet {
  uint8_t file_type = 0;  // 0x85 present, 0x05 deleted
  uint8_t secondary_count = 0;
  uint16_t attributes = 0;
  uint32_t create_timestamp = 0;
  StreamInfo stream;
  std::u16string name;
  size_t entries = 0;  // slots the set was decoded from, File entry included

  bool is_deleted() const;
  bool is_folder() const;
  // Every character the stream extension announces was found.
  bool name_complete() const { return name.size() == stream.name_length; }
};

// Folder numbers carried by the records of one directory cluster.
struct FolderPair {
  uint32_t parent_folder = 0;
  uint32_t folder = 0;
};

bool IsFileEntry(uint8_t type);

// Decodes the set whose File entry opens `slots` (whole 32-byte entries: the
// set and whatever follows it). The secondary entries examined are the
// smaller of the secondary count and the entries present, and stop at the
// first entry that is not a secondary one. Nothing when fewer than three
// entries are present, the second is not a stream extension (either state),
// the secondary count is below two, or no name character is found.
std::optional<EntrySet> DecodeEntrySet(Bytes slots);

// The record of a set: parent path, "\", name (the bare name when the
// parent path is empty); times from the creation stamp. A file whose data
// length runs past the end of `geometry`'s heap is marked damaged.
_FileInfoFat MakeRecord(const EntrySet& set, const FolderPair& folders, std::u16string_view parent_path,
                        const ExFatGeometry& geometry);

// Where a directory's data lies.
struct DirectoryExtent {
  uint32_t first_cluster = 0;
  // Known length of the directory in bytes (from its stream extension).
  std::optional<uint64_t> length_bytes;
  // The stream extension says NoFatChain: consecutive clusters, FAT unused.
  bool contiguous = false;
};

// What a directory scan does with the sets it decodes.
struct SetTarget {
  std::optional<std::u16string_view> lookup_name;  // set: look the name up, report nothing
  std::u16string_view parent_path;
  ScanCallback callback = nullptr;
  void* user = nullptr;
  FolderPair folders;
  // Sees every decoded set before it is reported or compared.
  std::function<void(const EntrySet&)> observe;
  // Given the first cluster of every folder the directory names, before
  // any set is reported or the folder's later clusters are searched for: a
  // folder's search must not take a sibling's first cluster.
  std::function<void(uint32_t)> folder_named;
};

// For a deleted folder: its later clusters are searched for (the deletion
// freed them, and often shrank the folder's length and chain to its first
// cluster). `space.is_free` tells from the allocation bitmap.
struct LostFolderSearch {
  ClusterSpace space;
  LostClusterClaims* claims = nullptr;
};

// True when a cluster reads as a later cluster of a directory: from the
// first slot on up to the first end one (type 0), only File, stream
// extension, File name and vendor entries, in use or deleted, each File
// entry with a sound secondary count and stream extension.
bool LooksLikeLaterDirectoryCluster(Bytes cluster, const ExFatGeometry& geometry);

// Whether the cluster has an end entry, and for the search: the cluster
// after the data of the last set whose stream extension it holds, and what
// the next cluster must begin with: the secondary entries still due of a set
// cut off at its end, then a File entry (or the end); else a File entry.
struct DirectoryClusterEnd {
  bool ends_directory = false;
  ClusterFollowing following;
};
DirectoryClusterEnd SummarizeDirectoryCluster(Bytes cluster, const ExFatGeometry& geometry);

// For a directory cluster filled up to its last slot by a set with data:
// the cluster right after that data, where its folder went on when the next
// file written was its own. Nothing for any other cluster.
std::optional<uint32_t> FullClusterGoesOnAt(Bytes cluster, const ExFatGeometry& geometry);

// Scans (or with a lookup name, searches) the directory of `extent`. A set
// may run on into the directory's next cluster; one cut off by the end of
// the directory is not taken. With a lookup name, the first present set of
// that name (compared case-insensitively) ends the scan, else the first
// deleted one counts; `found` receives the matching set. False when a buffer
// cannot be had, or a cluster or FAT sector cannot be read; sets reported
// before stand.
// With `lost`, the directory goes on past its known clusters while its last
// one is full, in clusters FindNextLostCluster finds; every cluster of it is
// claimed.
bool ScanDirectory(const platform::RawVolume& volume, const ExFatGeometry& geometry, const DirectoryExtent& extent,
                   const SetTarget& target, std::optional<EntrySet>* found, const LostFolderSearch* lost = nullptr);

// The extent that a set's stream extension describes.
DirectoryExtent ExtentOf(const EntrySet& set);

}  // namespace salvor::engine::exfat
