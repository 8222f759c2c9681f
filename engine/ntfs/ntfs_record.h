// Pure decoding of NTFS structures: the boot sector's geometry, the
// update-sequence fixup, the attribute walk of a FILE record, $FILE_NAME
// values, data runs and VCN mapping, directory index entries. Nothing here
// reads the volume; CNtfs (ntfs.h) fetches the bytes and delegates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_reader.h"
#include "engine/ntfs/ntfs_layout.h"

namespace salvor::engine::ntfs {

struct NtfsGeometry {
  uint32_t bytes_per_sector = 0;
  uint32_t cluster_size_bytes = 0;
  uint32_t file_record_bytes = 0;
  uint32_t index_record_bytes = 0;
  uint64_t mft_cluster = 0;
  uint64_t total_clusters = 0;  // from the boot sector's sector count
  uint64_t volume_size_bytes = 0;

  uint64_t cluster_offset_bytes(uint64_t cluster) const { return cluster * cluster_size_bytes; }
};

// A record size from its boot-sector code (see boot::kNegativeSizeCode), or
// 0 when the code gives no size between 256 bytes and 64 KiB.
uint32_t RecordSizeFromCode(uint32_t code, uint32_t cluster_size_bytes);

// True for the sizes a FILE record can have (1 KiB to 64 KiB, a power of two).
bool IsSoundRecordSize(uint32_t bytes);

// Decodes the boot sector; nothing when its sizes are not those of NTFS or
// the $MFT lies outside the volume.
std::optional<NtfsGeometry> ParseBootSector(Bytes boot);

// Applies the update-sequence fixup to a FILE or INDX record in place, over
// every 512-byte stretch the record has. A stretch whose last two bytes do
// not carry the check value is left as it is (a torn write: the record is
// still used as it stands). kBadHeader: the array does not fit the record,
// nothing was changed.
enum class FixupResult { kApplied, kMismatch, kBadHeader };
FixupResult ApplyFixup(MutableBytes record);

// One attribute of a record: its whole bytes (header and value) as a slice
// of the record.
struct Attribute {
  uint32_t type = 0;
  Bytes bytes;
  bool non_resident = false;
  uint16_t flags = 0;
  uint8_t name_length = 0;
};

// Calls `visit(const Attribute&)` for each attribute of a FILE record, in
// order, until it returns false. The walk ends at the end marker, at an
// attribute whose length is below a header's or runs past the record, and
// always within the record's size (each step moves on by at least 16 bytes).
template <typename Visit>
void ForEachAttribute(Bytes record, Visit&& visit) {
  ByteReader header(record);
  uint64_t offset = header.u16(record::kFirstAttribute);
  if (!header.ok()) return;
  while (true) {
    auto head = slice(record, offset, 16);
    if (!head) return;
    ByteReader reader(*head);
    const uint32_t type = reader.u32(attr::kType);
    if (type == attr::kEnd) return;
    const uint32_t length = reader.u32(attr::kLength);
    if (length < 16) return;
    auto whole = slice(record, offset, length);
    if (!whole) return;
    Attribute attribute;
    attribute.type = type;
    attribute.bytes = *whole;
    attribute.non_resident = reader.u8(attr::kNonResident) != 0;
    attribute.name_length = reader.u8(attr::kNameLength);
    attribute.flags = reader.u16(attr::kFlags);
    if (!visit(static_cast<const Attribute&>(attribute))) return;
    offset += length;
  }
}

// One entry of an $ATTRIBUTE_LIST: which attribute lies in which record.
struct AttributeListEntry {
  uint32_t type = 0;
  uint8_t name_length = 0;
  uint64_t first_vcn = 0;  // where the piece of a non-resident attribute starts
  uint64_t record = 0;     // the record holding it (48-bit number)
};

// Calls `visit(const AttributeListEntry&)` for each entry of an
// $ATTRIBUTE_LIST value, in order, until it returns false. The walk ends at
// an entry shorter than the smallest one or past the value, so it takes at
// most value.size() / kMinEntryBytes steps.
template <typename Visit>
void ForEachListEntry(Bytes list, Visit&& visit) {
  for (uint64_t at = 0;;) {
    auto head = slice(list, at, attr_list::kMinEntryBytes);
    if (!head) return;
    ByteReader reader(*head);
    const uint16_t length = reader.u16(attr_list::kLength);
    if (length < attr_list::kMinEntryBytes) return;
    AttributeListEntry entry;
    entry.type = reader.u32(attr_list::kType);
    entry.name_length = reader.u8(attr_list::kNameLength);
    entry.first_vcn = reader.u64(attr_list::kFirstVcn);
    entry.record = reader.u64(attr_list::kRecord) & kRecordNumberMask;
    if (!visit(static_cast<const AttributeListEntry&>(entry))) return;
    at += length;
  }
}

// The first attribute of `type`; with `unnamed_only`, the first one without
// a name (a file's main $DATA rather than a named stream).
std::optional<Attribute> FindAttribute(Bytes record, uint32_t type, bool unnamed_only = false);

// The value of a resident attribute, or nothing (non-resident, or out of bounds).
std::optional<Bytes> ResidentValue(const Attribute& attribute);

// The header fields of a non-resident attribute.
struct NonResidentInfo {
  uint64_t first_vcn = 0;
  uint64_t last_vcn = 0;
  uint64_t allocated_size = 0;
  uint64_t data_size = 0;
  Bytes run_list;
};
std::optional<NonResidentInfo> NonResident(const Attribute& attribute);

// Data size of an attribute: the non-resident data size or the value length.
uint64_t DataSizeOf(const Attribute& attribute);

struct FileName {
  uint64_t parent = 0;  // 48-bit record number
  uint64_t modified_time = 0;
  uint64_t changed_time = 0;
  uint64_t data_size = 0;
  uint32_t file_attributes = 0;
  uint8_t name_space = 0;
  std::u16string name;

  bool is_directory() const { return (file_attributes & file_name::kDirectoryFlag) != 0; }
  // Every name but a DOS-only short name: Win32, Win32-and-DOS and POSIX
  // (the namespace of case-sensitive names, and the one ntfs-3g writes).
  bool is_long_name() const { return name_space != file_name::kDos; }
};
// Decodes a $FILE_NAME value (or an index entry's key); nothing when the
// name runs past the value.
std::optional<FileName> ParseFileName(Bytes value);

// The first resident $FILE_NAME of the record that is not a DOS-only short
// name (see FileName::is_long_name).
std::optional<FileName> FindLongName(Bytes record);

// The "Date Modified" of a file: the data-modified time of its
// $STANDARD_INFORMATION (the time Windows shows and updates on every
// write), or, for a record without that attribute, the one of `name` (its
// $FILE_NAME, set when the name was made or last changed).
uint64_t ModifiedTime(Bytes record, const FileName& name);
// The $STANDARD_INFORMATION data-modified time, when the record has one.
std::optional<uint64_t> StandardInfoModifiedTime(Bytes record);

// One run of a run list: `length` clusters from `first_vcn`; a sparse run has
// no clusters on the volume.
struct DataRun {
  uint64_t first_vcn = 0;
  uint64_t length = 0;
  uint64_t lcn = 0;
  bool sparse = false;
};

// The length and offset fields of the run that starts at `run[0]`, or
// nothing when the header's field sizes do not fit the bytes or exceed 8.
struct RunFields {
  uint64_t length = 0;
  int64_t offset = 0;
  bool has_offset = false;
  size_t encoded_bytes = 0;
};
std::optional<RunFields> DecodeRun(Bytes run);

// No stream maps more than this many bytes (the largest file NTFS can
// describe is 2^64 - 1 bytes; a run list beyond 2^63 is damage), so VCN
// arithmetic in bytes never overflows.
inline constexpr uint64_t kMaxStreamBytes = uint64_t{1} << 63;

// Decodes a whole run list starting at `first_vcn` on a volume of
// `total_clusters` clusters of `cluster_size_bytes`. Nothing when the list is
// damaged: a field size above 8, a zero-length run, bytes missing, a cluster
// number below 0, a run on disk reaching beyond the volume, runs on disk
// that together hold more clusters than the volume, or runs (sparse ones
// included) that map more than kMaxStreamBytes.
std::optional<std::vector<DataRun>> DecodeRuns(Bytes run_list, uint64_t first_vcn, uint64_t total_clusters,
                                               uint32_t cluster_size_bytes);

// Maps `vcn` through `runs`: the cluster (0 and sparse for a hole) and the
// clusters left in that run from there on.
struct MappedVcn {
  uint64_t lcn = 0;
  bool sparse = false;
  uint64_t clusters_left = 0;
};
std::optional<MappedVcn> MapVcn(const std::vector<DataRun>& runs, uint64_t vcn);

// One entry of a directory index.
struct IndexEntry {
  uint64_t record = 0;     // 48-bit
  uint16_t sequence = 0;   // the record's sequence number when the entry was made
  uint16_t flags = 0;
  std::optional<FileName> key;
};
// Calls `visit(const IndexEntry&)` for the entries that follow the index
// header at `header_offset` of `block`, until it returns false, the last
// entry, an entry shorter than its header or one that runs past the block.
template <typename Visit>
void ForEachIndexEntry(Bytes block, size_t header_offset, Visit&& visit) {
  ByteReader header(block);
  const uint32_t first = header.u32(header_offset + index::kFirstEntry);
  if (!header.ok()) return;
  uint64_t offset = static_cast<uint64_t>(header_offset) + first;
  while (true) {
    auto head = slice(block, offset, index::kMinEntryBytes);
    if (!head) return;
    ByteReader reader(*head);
    const uint16_t length = reader.u16(index::kEntryLength);
    if (length < index::kMinEntryBytes) return;
    auto whole = slice(block, offset, length);
    if (!whole) return;
    IndexEntry entry;
    const uint64_t reference = reader.u64(index::kEntryRecord);
    entry.record = reference & kRecordNumberMask;
    entry.sequence = static_cast<uint16_t>(reference >> 48);
    entry.flags = reader.u16(index::kEntryFlags);
    const uint16_t key_length = reader.u16(index::kEntryKeyLength);
    if (key_length != 0) {
      if (auto key = slice(*whole, index::kEntryKey, key_length)) entry.key = ParseFileName(*key);
    }
    if (!visit(static_cast<const IndexEntry&>(entry))) return;
    if (entry.flags & index::kEntryLast) return;
    offset += length;
  }
}

// Equal when the two names differ at most in the case of the letters A to Z.
bool EqualIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

// False for the names an unformat sweep leaves out: the root's "." and the
// system files' names.
bool IsReportableName(std::u16string_view name);

}  // namespace salvor::engine::ntfs
