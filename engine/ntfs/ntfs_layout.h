// On-disk layout of NTFS: boot-sector fields, FILE records, attribute
// headers, $FILE_NAME and $STANDARD_INFORMATION values, directory indexes
// and $ATTRIBUTE_LIST entries. Offsets in bytes, all integers little-endian.
// This header only names the format; parsing lives in ntfs_record.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace salvor::engine::ntfs {

namespace boot {
inline constexpr size_t kOemName = 3;                 // 8 bytes, "NTFS    "
inline constexpr size_t kBytesPerSector = 0x0B;       // u16, 512..4096
inline constexpr size_t kSectorsPerCluster = 0x0D;    // u8; 128 or more: 2^(256 - v) sectors
inline constexpr size_t kTotalSectors = 0x28;         // u64, sectors in the volume
inline constexpr size_t kMftCluster = 0x30;           // u64, first cluster of the $MFT
inline constexpr size_t kClustersPerFileRecord = 0x40;   // u32 (low byte used), size code below
inline constexpr size_t kClustersPerIndexRecord = 0x44;  // u32 (low byte used), size code below

// A size code below 128 counts clusters; 128 or more is a negative power of
// two in bytes: 2^(256 - v) (0xF6 = 1024 bytes, 0xF4 = 4096 bytes).
inline constexpr uint32_t kNegativeSizeCode = 128;
inline constexpr uint32_t kMinRecordBytes = 256;
inline constexpr uint32_t kMaxRecordBytes = 64 * 1024;
inline constexpr uint32_t kMaxClusterBytes = 2u * 1024 * 1024;
}  // namespace boot

// The update-sequence fixup: the last two bytes of every 512-byte stretch of
// a multi-sector record are replaced on disk by a check value; the originals
// sit in the update sequence array after it.
inline constexpr uint32_t kFixupStrideBytes = 512;

namespace record {
inline constexpr size_t kSignature = 0x00;        // 4 bytes, "FILE"
inline constexpr size_t kUsaOffset = 0x04;        // u16, from the record start
inline constexpr size_t kUsaCount = 0x06;         // u16, entries incl. the check value
inline constexpr size_t kSequence = 0x10;         // u16
inline constexpr size_t kFirstAttribute = 0x14;   // u16, from the record start
inline constexpr size_t kFlags = 0x16;            // u16, bit 0 in use, bit 1 directory
inline constexpr size_t kBytesInUse = 0x18;       // u32
inline constexpr size_t kBytesAllocated = 0x1C;   // u32: the record's own size
inline constexpr size_t kBaseRecord = 0x20;       // u64 reference; 0 in a base record
inline constexpr size_t kRecordNumber = 0x2C;     // u32, the record's own number (NTFS 3.1)
inline constexpr size_t kHeaderBytes = 0x30;

inline constexpr uint32_t kFileMagic = 0x454C4946;   // "FILE"
inline constexpr uint32_t kIndexMagic = 0x58444E49;  // "INDX"
inline constexpr uint16_t kFlagInUse = 0x0001;
inline constexpr uint16_t kFlagDirectory = 0x0002;
}  // namespace record

namespace attr {
inline constexpr size_t kType = 0x00;          // u32; 0xFFFFFFFF ends the list
inline constexpr size_t kLength = 0x04;        // u32, whole attribute, multiple of 8
inline constexpr size_t kNonResident = 0x08;   // u8
inline constexpr size_t kNameLength = 0x09;    // u8, UTF-16 units
inline constexpr size_t kNameOffset = 0x0A;    // u16
inline constexpr size_t kFlags = 0x0C;         // u16: 0x0001 compressed, 0x4000 encrypted, 0x8000 sparse
// Resident form.
inline constexpr size_t kValueLength = 0x10;   // u32
inline constexpr size_t kValueOffset = 0x14;   // u16
inline constexpr size_t kResidentHeaderBytes = 0x18;
// Non-resident form.
inline constexpr size_t kFirstVcn = 0x10;       // u64
inline constexpr size_t kLastVcn = 0x18;        // u64
inline constexpr size_t kRunListOffset = 0x20;  // u16
inline constexpr size_t kCompressionUnit = 0x22;  // u16, log2 clusters
inline constexpr size_t kAllocatedSize = 0x28;  // u64 bytes
inline constexpr size_t kDataSize = 0x30;       // u64 bytes
inline constexpr size_t kInitializedSize = 0x38;  // u64 bytes
inline constexpr size_t kNonResidentHeaderBytes = 0x40;

inline constexpr uint32_t kEnd = 0xFFFFFFFF;
inline constexpr uint32_t kStandardInformation = 0x10;
inline constexpr uint32_t kAttributeList = 0x20;
inline constexpr uint32_t kFileName = 0x30;
inline constexpr uint32_t kData = 0x80;
inline constexpr uint32_t kIndexRoot = 0x90;
inline constexpr uint32_t kIndexAllocation = 0xA0;
inline constexpr uint32_t kBitmap = 0xB0;

inline constexpr uint16_t kFlagCompressed = 0x0001;
inline constexpr uint16_t kFlagEncrypted = 0x4000;
}  // namespace attr

// $STANDARD_INFORMATION value: the times Windows shows (the data-modified
// time is the file's "Date Modified").
namespace std_info {
inline constexpr size_t kCreated = 0x00;        // FILETIME
inline constexpr size_t kModified = 0x08;       // FILETIME
inline constexpr size_t kFileAttributes = 0x20;  // u32
}  // namespace std_info

// $FILE_NAME value; also the key of a directory index entry.
namespace file_name {
inline constexpr size_t kParent = 0x00;         // 48-bit record number, then a u16 sequence
inline constexpr size_t kModified = 0x10;       // FILETIME, data modified
inline constexpr size_t kRecordChanged = 0x18;  // FILETIME, MFT record changed
inline constexpr size_t kDataSize = 0x30;       // u64 bytes
inline constexpr size_t kFileAttributes = 0x38;  // u32
inline constexpr size_t kNameLength = 0x40;     // u8, UTF-16 units
inline constexpr size_t kNamespace = 0x41;      // u8
inline constexpr size_t kName = 0x42;           // UTF-16, not terminated

inline constexpr uint32_t kDirectoryFlag = 0x10000000;
inline constexpr uint8_t kPosix = 0;
inline constexpr uint8_t kWin32 = 1;
inline constexpr uint8_t kDos = 2;
inline constexpr uint8_t kWin32AndDos = 3;
}  // namespace file_name

// A directory index: the header (in the $INDEX_ROOT value at 16, in an INDX
// block at 0x18), then entries.
namespace index {
inline constexpr size_t kRootHeader = 0x10;      // index header inside the $INDEX_ROOT value
inline constexpr size_t kBlockHeader = 0x18;     // index header inside an INDX block
inline constexpr size_t kFirstEntry = 0x00;      // u32, from the index header
inline constexpr size_t kEntriesEnd = 0x04;      // u32, from the index header
// Index entry.
inline constexpr size_t kEntryRecord = 0x00;     // 48-bit record number, then a u16 sequence
inline constexpr size_t kEntryLength = 0x08;     // u16
inline constexpr size_t kEntryKeyLength = 0x0A;  // u16; 0 = no key
inline constexpr size_t kEntryFlags = 0x0C;      // u16
inline constexpr size_t kEntryKey = 0x10;        // the $FILE_NAME value
inline constexpr uint16_t kEntryHasSubNode = 0x0001;
inline constexpr uint16_t kEntryLast = 0x0002;
inline constexpr size_t kMinEntryBytes = 0x10;
}  // namespace index

namespace attr_list {
inline constexpr size_t kType = 0x00;         // u32
inline constexpr size_t kLength = 0x04;       // u16
inline constexpr size_t kNameLength = 0x06;   // u8
inline constexpr size_t kFirstVcn = 0x08;     // u64
inline constexpr size_t kRecord = 0x10;       // 48-bit record number, then a u16 sequence
inline constexpr size_t kMinEntryBytes = 0x1A;
}  // namespace attr_list

inline constexpr uint64_t kRecordNumberMask = 0x0000FFFFFFFFFFFFull;
inline constexpr uint64_t kMftRecord = 0;
inline constexpr uint64_t kRootRecord = 5;
inline constexpr uint64_t kBitmapRecord = 6;  // $Bitmap: one bit per cluster, set when allocated
inline constexpr uint64_t kLastSystemRecord = 15;

}  // namespace salvor::engine::ntfs
