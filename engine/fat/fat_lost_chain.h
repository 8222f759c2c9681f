// The FAT side of the search for a deleted folder's later clusters
// (engine/lost_clusters.h): what a directory cluster says about where its
// folder went on, and what a later directory cluster looks like.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_set>

#include "common/byte_reader.h"
#include "engine/fat/fat_geometry.h"
#include "engine/lost_clusters.h"
#include "platform/platform.h"

namespace salvor::engine::fat {

// What a directory cluster tells about where its folder went on.
struct DirectoryClusterEnd {
  bool ends_directory = false;  // an entry with first byte 0: no later cluster
  // For the search: the cluster after the data of the last entry that has
  // data (files: as many clusters as their size needs; folders: their first
  // cluster), and what the next cluster must begin with. Long-name parts at
  // the end belong to an entry in the next cluster: it begins with more
  // parts of the same checksum, or the short entry they name. Otherwise it
  // begins with no part of a name begun elsewhere.
  ClusterFollowing following;
};

DirectoryClusterEnd SummarizeDirectoryCluster(Bytes cluster, const FatGeometry& geometry);

// The checksum that long-name parts keep of their short entry's 11 name
// bytes.
uint8_t ShortNameChecksum(Bytes entry);

// True when a cluster reads as a later cluster of a directory: no dot pair,
// a first entry in use or deleted, and every entry up to the first end one
// a valid short entry (8.3 name characters, attributes, a cluster inside
// the volume for anything with data, folders of size 0) or long-name part.
bool LooksLikeLaterDirectoryCluster(Bytes cluster, const FatGeometry& geometry);

// The clusters of a FAT volume for the search: free means 0 in the FAT.
ClusterSpace FatClusterSpace(const FatGeometry& geometry, FatCache& fat);

// The bytes of the data region, for the search budget.
uint64_t DataRegionBytes(const FatGeometry& geometry);

}  // namespace salvor::engine::fat
