// On-disk layout of FAT16 and FAT32: boot-sector fields and directory
// entries. Offsets in bytes, all integers little-endian. This header only
// names the format; parsing lives in fat_geometry.cpp and fat_directory.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace salvor::engine::fat {

namespace boot {
inline constexpr size_t kBytesPerSector = 11;     // u16
inline constexpr size_t kSectorsPerCluster = 13;  // u8
inline constexpr size_t kReservedSectors = 14;    // u16
inline constexpr size_t kFatCount = 16;           // u8
inline constexpr size_t kRootEntryCount = 17;     // u16, FAT16 only
inline constexpr size_t kTotalSectors16 = 19;     // u16, 0 when the 32-bit field is used
inline constexpr size_t kMedia = 21;              // u8, media descriptor: 0xF0 or 0xF8..0xFF; FAT[0]'s low byte
inline constexpr size_t kSectorsPerFat16 = 22;    // u16, FAT16
inline constexpr size_t kTotalSectors32 = 32;     // u32
inline constexpr size_t kSectorsPerFat32 = 36;    // u32, FAT32
inline constexpr size_t kRootCluster32 = 44;      // u32, FAT32: first cluster of the root directory
inline constexpr size_t kFileSystemType16 = 54;   // 8 bytes of text, FAT12/16 ("FAT16   ")
inline constexpr size_t kFileSystemType32 = 82;   // 8 bytes of text, FAT32 ("FAT32   ")
}  // namespace boot

namespace entry {
inline constexpr size_t kSize = 32;
inline constexpr size_t kName = 0;           // 8 bytes, space padded
inline constexpr size_t kExtension = 8;      // 3 bytes, space padded
inline constexpr size_t kAttributes = 11;    // u8
inline constexpr size_t kCaseFlags = 12;     // u8, Windows NT: letters of the 8.3 name stored upper, shown lower
inline constexpr size_t kCreateTime = 14;    // u16: hour 15-11, minute 10-5, seconds/2 4-0
inline constexpr size_t kCreateDate = 16;    // u16: year-1980 15-9, month 8-5, day 4-0
inline constexpr size_t kClusterHigh = 20;   // u16
inline constexpr size_t kClusterLow = 26;    // u16
inline constexpr size_t kFileSize = 28;      // u32

inline constexpr uint8_t kEndOfDirectory = 0x00;  // first name byte
inline constexpr uint8_t kDeletedMark = 0xE5;     // first name byte

inline constexpr uint8_t kLowerCaseBase = 0x08;       // in kCaseFlags
inline constexpr uint8_t kLowerCaseExtension = 0x10;  // in kCaseFlags

inline constexpr uint8_t kAttrVolumeLabel = 0x08;
inline constexpr uint8_t kAttrDirectory = 0x10;
inline constexpr uint8_t kTypeBits = kAttrVolumeLabel | kAttrDirectory;
inline constexpr uint8_t kLongNameLowBits = 0x0F;  // low four attribute bits of a long-name entry
}  // namespace entry

namespace long_name {
inline constexpr size_t kSequence = 0;  // u8; 0x40 marks the last part, 1 the first
inline constexpr size_t kType = 12;     // u8, 0
inline constexpr size_t kChecksum = 13; // u8
inline constexpr size_t kZeroCluster = 26;  // u16, 0
// The 13 UTF-16 code units of a part: (offset, count) pairs.
inline constexpr size_t kPieces[3][2] = {{1, 5}, {14, 6}, {28, 2}};
inline constexpr size_t kUnitsPerPart = 13;
}  // namespace long_name

// The dot pair that begins every subdirectory cluster: "." then ".." as
// space-padded 8-byte names, read as little-endian 32-bit words.
inline constexpr uint32_t kDotName[2] = {0x2020202E, 0x20202020};
inline constexpr uint32_t kDotDotName[2] = {0x20202E2E, 0x20202020};

inline constexpr uint32_t kFat32EndOfChain = 0x0FFFFFF7;  // this or more ends a chain (value taken unmasked)
inline constexpr uint32_t kFat16EndOfChain = 0xFFF7;

}  // namespace salvor::engine::fat
