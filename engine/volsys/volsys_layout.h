// On-disk layout of the volume systems a disk can carry: the MBR (with the
// extended boot records of logical partitions) and the GPT (its protective
// MBR, header and entry array). Offsets in bytes, all integers
// little-endian; sector numbers (LBA) count logical sectors of the disk.
// This header only names the format; parsing lives in partition_table.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace salvor::engine::volsys {

// Logical sector sizes a disk can have.
inline constexpr uint32_t kSmallSectorBytes = 512;
inline constexpr uint32_t kLargeSectorBytes = 4096;

// The master boot record, in the first sector, and every extended boot
// record of the logical-partition chain: boot code, four 16-byte entries,
// the signature. An EBR uses the first entry for its logical partition and
// the second for the link to the next EBR.
namespace mbr {
inline constexpr size_t kFirstEntry = 446;       // 4 entries of kEntryBytes
inline constexpr size_t kEntryBytes = 16;
inline constexpr size_t kEntryCount = 4;
inline constexpr size_t kSignature = 510;        // u16, kSignatureValue
inline constexpr uint16_t kSignatureValue = 0xAA55;  // bytes 0x55 0xAA

// One entry.
inline constexpr size_t kStatus = 0;             // u8: 0x80 active, 0x00 inactive; other values are no entry
inline constexpr size_t kChsFirst = 1;           // 3 bytes, CHS of the first sector (ignored: LBA is used)
inline constexpr size_t kType = 4;               // u8, partition type code; 0 = unused entry
inline constexpr size_t kChsLast = 5;            // 3 bytes, CHS of the last sector (ignored)
inline constexpr size_t kStartLba = 8;           // u32, first sector: from the disk's start (MBR), from
                                                 // this EBR (logical) or from the extended partition (link)
inline constexpr size_t kSectorCount = 12;       // u32, sectors in the partition

inline constexpr uint8_t kStatusActive = 0x80;
inline constexpr uint8_t kStatusInactive = 0x00;
inline constexpr uint8_t kTypeEmpty = 0x00;
inline constexpr uint8_t kTypeGptProtective = 0xEE;
// Containers of the logical-partition chain (CHS, LBA, Linux).
inline constexpr uint8_t kTypeExtendedChs = 0x05;
inline constexpr uint8_t kTypeExtendedLba = 0x0F;
inline constexpr uint8_t kTypeExtendedLinux = 0x85;

// Numbers of the logical partitions start after the four primary slots.
inline constexpr uint32_t kFirstLogicalIndex = 5;
// A chain longer than this is damage: no tool writes more logical
// partitions (Linux stops at 256 minor numbers per disk).
inline constexpr uint32_t kMaxLogicalPartitions = 256;
}  // namespace mbr

// The GPT header: at LBA 1 (primary) and at the disk's last LBA (backup).
namespace gpt {
inline constexpr size_t kSignature = 0;          // 8 bytes, "EFI PART"
inline constexpr size_t kRevision = 8;           // u32, 0x00010000
inline constexpr size_t kHeaderSize = 12;        // u32, bytes covered by the header CRC: 92..sector size
inline constexpr size_t kHeaderCrc = 16;         // u32, CRC32 of the header with this field zero
inline constexpr size_t kReserved = 20;          // u32, zero
inline constexpr size_t kMyLba = 24;             // u64, where this header lies
inline constexpr size_t kAlternateLba = 32;      // u64, where the other header lies
inline constexpr size_t kFirstUsableLba = 40;    // u64, first sector partitions may use
inline constexpr size_t kLastUsableLba = 48;     // u64, last sector partitions may use (inclusive)
inline constexpr size_t kDiskGuid = 56;          // 16 bytes
inline constexpr size_t kEntriesLba = 72;        // u64, first sector of the entry array
inline constexpr size_t kEntryCount = 80;        // u32, entries in the array
inline constexpr size_t kEntrySize = 84;         // u32, bytes per entry: 128 times a power of two
inline constexpr size_t kEntriesCrc = 88;        // u32, CRC32 of the whole entry array
inline constexpr size_t kMinHeaderBytes = 92;

inline constexpr char kSignatureText[] = "EFI PART";
inline constexpr uint32_t kMinEntryBytes = 128;
// The entry array read at most: 1 MiB (8192 entries of 128 bytes; tools
// write 128). A header that claims more is treated as damaged.
inline constexpr uint64_t kMaxEntryArrayBytes = 1024 * 1024;

// One entry of the array.
namespace entry {
inline constexpr size_t kTypeGuid = 0;           // 16 bytes; all zero = unused entry
inline constexpr size_t kUniqueGuid = 16;        // 16 bytes
inline constexpr size_t kFirstLba = 32;          // u64
inline constexpr size_t kLastLba = 40;           // u64, inclusive
inline constexpr size_t kAttributes = 48;        // u64
inline constexpr size_t kName = 56;              // 36 UTF-16LE units, NUL padded
inline constexpr size_t kNameUnits = 36;
inline constexpr size_t kGuidBytes = 16;
}  // namespace entry
}  // namespace gpt

}  // namespace salvor::engine::volsys
