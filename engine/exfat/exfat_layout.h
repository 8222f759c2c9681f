// On-disk layout of exFAT: boot-sector fields, directory entries and FAT
// values. Offsets in bytes, all integers little-endian. This header only
// names the format; parsing lives in exfat_geometry.cpp and
// exfat_directory.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace salvor::engine::exfat {

namespace boot {
inline constexpr size_t kFileSystemName = 3;         // 8 bytes, "EXFAT   "
inline constexpr size_t kVolumeLength = 72;          // u64, in sectors
inline constexpr size_t kFatOffset = 80;             // u32, in sectors from the volume start
inline constexpr size_t kFatLength = 84;             // u32, in sectors (one FAT)
inline constexpr size_t kClusterHeapOffset = 88;     // u32, in sectors: where cluster 2 starts
inline constexpr size_t kClusterCount = 92;          // u32, clusters in the heap
inline constexpr size_t kRootCluster = 96;           // u32, first cluster of the root directory
inline constexpr size_t kBytesPerSectorShift = 108;  // u8, 9..12
inline constexpr size_t kSectorsPerClusterShift = 109;  // u8; bytes-per-sector shift + this <= 25
inline constexpr size_t kNumberOfFats = 110;         // u8, 1 or 2

inline constexpr uint32_t kMinSectorShift = 9;     // 512-byte sectors
inline constexpr uint32_t kMaxSectorShift = 12;    // 4096-byte sectors
inline constexpr uint32_t kMaxClusterShift = 25;   // 32 MiB clusters
}  // namespace boot

// Every directory entry is 32 bytes; its first byte is the entry type. Bit 7
// (in use) is cleared when an entry set is deleted; bit 6 marks a secondary
// entry, which belongs to the primary entry before it.
namespace entry {
inline constexpr size_t kSize = 32;
inline constexpr size_t kType = 0;  // u8

inline constexpr uint8_t kInUseBit = 0x80;
inline constexpr uint8_t kSecondaryBit = 0x40;

inline constexpr uint8_t kAllocationBitmap = 0x81;
inline constexpr uint8_t kUpcaseTable = 0x82;
inline constexpr uint8_t kVolumeLabel = 0x83;
inline constexpr uint8_t kFile = 0x85;
inline constexpr uint8_t kFileDeleted = 0x05;
inline constexpr uint8_t kStream = 0xC0;
inline constexpr uint8_t kStreamDeleted = 0x40;
inline constexpr uint8_t kFileName = 0xC1;
inline constexpr uint8_t kFileNameDeleted = 0x41;
}  // namespace entry

// File entry (0x85): the primary entry of a file or folder's set.
namespace file {
inline constexpr size_t kSecondaryCount = 1;   // u8: entries after this one in the set
inline constexpr size_t kSetChecksum = 2;      // u16 (not checked)
inline constexpr size_t kAttributes = 4;       // u16
inline constexpr size_t kCreateTimestamp = 8;  // u32: year-1980 31-25, month 24-21, day 20-16,
                                               //      hour 15-11, minute 10-5, seconds/2 4-0
inline constexpr size_t kModifyTimestamp = 12; // u32, same layout

inline constexpr uint16_t kAttrDirectory = 0x10;
inline constexpr uint8_t kMinSecondaryCount = 2;  // a stream extension and one name entry
}  // namespace file

// Stream extension (0xC0): the second entry of every set.
namespace stream {
inline constexpr size_t kFlags = 1;             // u8, GeneralSecondaryFlags
inline constexpr size_t kNameLength = 3;        // u8, characters
inline constexpr size_t kNameHash = 4;          // u16, hash of the up-cased name
inline constexpr size_t kValidDataLength = 8;   // u64, bytes written so far
inline constexpr size_t kFirstCluster = 20;     // u32
inline constexpr size_t kDataLength = 24;       // u64, bytes

inline constexpr uint8_t kFlagAllocationPossible = 0x01;
// The data occupies consecutive clusters and its FAT entries are not kept.
inline constexpr uint8_t kFlagNoFatChain = 0x02;
}  // namespace stream

// File name entry (0xC1): 15 UTF-16 code units of the name each.
namespace name {
inline constexpr size_t kCharacters = 2;  // 15 x u16
inline constexpr size_t kCharsPerEntry = 15;
inline constexpr size_t kMaxLength = 255;
}  // namespace name

// Allocation bitmap entry (0x81) in the root directory; the up-case table
// entry (0x82) names its table at the same offsets.
namespace bitmap {
inline constexpr size_t kFlags = 1;         // u8, bit 0: which FAT it belongs to
inline constexpr size_t kFirstCluster = 20;  // u32
inline constexpr size_t kDataLength = 24;    // u64, bytes; one bit per heap cluster, bit 0 = cluster 2
}  // namespace bitmap

// The longest possible entry set: a File entry, its stream extension and 17
// name entries for a 255-character name.
inline constexpr size_t kMaxSetEntries = 2 + (name::kMaxLength + name::kCharsPerEntry - 1) / name::kCharsPerEntry;
static_assert(kMaxSetEntries == 19);
inline constexpr size_t kMaxSetBytes = kMaxSetEntries * entry::kSize;

// A directory is at most 256 MiB long.
inline constexpr uint64_t kMaxDirectoryBytes = 256ull << 20;

// FAT values: 32-bit entries. Cluster numbers start at 2; 0xFFFFFFF7 marks
// a bad cluster and 0xFFFFFFF8 and more end a chain.
inline constexpr uint32_t kFirstDataCluster = 2;
inline constexpr uint32_t kBadCluster = 0xFFFFFFF7;
inline constexpr uint32_t kEndOfChainMin = 0xFFFFFFF8;
inline constexpr uint32_t kMaxClusterCount = 0xFFFFFFF5;

}  // namespace salvor::engine::exfat
