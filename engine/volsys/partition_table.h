// The volume system of a disk: what its MBR or GPT lists, or the one volume
// a disk without a table holds ("superfloppy"). Each partition is a byte
// range of the disk with the file system its boot sector starts. The
// parsers are pure decoders of sectors; ReadVolumeSystem fetches the
// sectors they need through a DiskReader, each read bounded by the disk.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_reader.h"
#include "engine/volsys/disk_reader.h"
#include "engine/volsys/fs_probe.h"

namespace salvor::engine::volsys {

enum class TableType {
  kNone,    // no table and no volume at the start: nothing recognised
  kVolume,  // the disk is one volume, no table
  kMbr,
  kGpt,
};

enum class PartitionOrigin {
  kTable,        // the (primary) table lists it; for kVolume, the whole disk
  kBackupTable,  // the GPT's backup header and array list it
  kSearch,       // a boot sector found by the search
};

using Guid = std::array<std::byte, 16>;

struct Partition {
  uint32_t index = 0;  // MBR: 1-4 primary slots, 5 on logicals; GPT: entry number + 1; search: after those
  uint64_t start_bytes = 0;
  uint64_t length_bytes = 0;
  uint8_t mbr_type = 0;  // MBR type code (0 for GPT)
  Guid type_guid{};      // GPT type GUID (zero for MBR)
  std::u16string name;   // GPT partition name
  bool extended = false;  // the MBR container of the logical partitions: never scanned
  bool past_end = false;  // the table puts (part of) it past the disk's end; length cut to the disk
  PartitionOrigin origin = PartitionOrigin::kTable;
  DetectedFileSystem file_system;
  // Search only: the boot sector was a backup copy (FAT32 sector 6, exFAT
  // sector 12, NTFS last sector), and the indexes of the table partitions
  // this one overlaps.
  bool from_backup_boot_sector = false;
  std::vector<uint32_t> overlaps;

  bool scannable() const { return !extended && file_system.scannable(); }
};

struct VolumeSystem {
  TableType table = TableType::kNone;
  uint32_t sector_bytes = 512;  // logical sector size the table is read with
  std::vector<Partition> partitions;
  // What was damaged or suspicious, in words for the user ("the primary
  // GPT header is damaged: the backup at the disk's end is used").
  std::vector<std::u16string> notes;
  bool table_valid() const { return table == TableType::kMbr || table == TableType::kGpt; }
};

// Pure decoders (also used by the fuzz harness).

// One MBR or EBR entry, as written.
struct MbrEntry {
  uint8_t status = 0;
  uint8_t type = 0;
  uint32_t start_lba = 0;
  uint32_t sector_count = 0;
  bool used() const { return type != 0 && sector_count != 0; }
  bool is_extended() const;
};

// The four entries of an MBR or EBR sector; nothing without the 0x55AA
// signature or when a used entry's status byte is neither 0x00 nor 0x80.
std::optional<std::array<MbrEntry, 4>> ParseMbrSector(Bytes sector);

struct GptHeader {
  uint32_t header_bytes = 0;
  uint64_t my_lba = 0;
  uint64_t alternate_lba = 0;
  uint64_t first_usable_lba = 0;
  uint64_t last_usable_lba = 0;
  uint64_t entries_lba = 0;
  uint32_t entry_count = 0;
  uint32_t entry_bytes = 0;
  uint32_t entries_crc = 0;
  uint64_t entry_array_bytes() const { return uint64_t{entry_count} * entry_bytes; }
};

enum class GptHeaderProblem { kNone, kNoSignature, kBadSize, kBadCrc, kBadArray };
// Decodes and checks a GPT header sector: signature, header size, header
// CRC32, entry size and an entry array of at most kMaxEntryArrayBytes.
GptHeaderProblem ParseGptHeader(Bytes sector, GptHeader& header);

// The used entries of a GPT entry array whose CRC32 matched; partitions get
// index entry number + 1, and are checked against `disk_sectors`.
std::vector<Partition> ParseGptEntries(Bytes array, const GptHeader& header, uint32_t sector_bytes,
                                       uint64_t disk_sectors, std::vector<std::u16string>& notes);

// Reading a disk.

// Finds and reads the disk's table (GPT first, then MBR, then one volume at
// sector 0), with the file system of each partition from its first sector.
// Every read lies inside the disk; every loop is bounded by the table's own
// limits (4 primaries, kMaxLogicalPartitions, kMaxEntryArrayBytes).
VolumeSystem ReadVolumeSystem(const DiskReader& disk);

// The partition with number `index`, if listed.
const Partition* FindPartition(const VolumeSystem& system, uint32_t index);

// "MBR", "GPT", "none" (one volume) or "unknown".
std::u16string_view TableName(TableType type);
std::u16string_view OriginName(PartitionOrigin origin);
// The GPT type GUID in its usual text form (mixed-endian, upper case).
std::u16string GuidText(const Guid& guid);

}  // namespace salvor::engine::volsys
