// FAT directory entries: decoding one 32-byte entry, assembling long names,
// turning entries into _FileInfoFat records, and the directory scan that
// walks a folder's cluster chain. Shared by the FAT32 and FAT16 scanners, the
// quick scans and the unformat sweeps.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/byte_reader.h"
#include "engine/fat/fat_geometry.h"
#include "engine/gleaner_api.h"
#include "engine/lost_clusters.h"

namespace salvor::engine::fat {

// Long-name parts seen since the last reported entry. A quick scan keeps one
// per directory scan; an unformat sweep keeps one for the whole sweep.
//
// Parts are stored last part first, so each one goes in front of the name
// built so far. The parts are kept as they arrive and joined only when the
// name is asked for, so a run of parts that never ends costs the same per
// part however long it gets; only the newest parts (the start of the name)
// are kept, as many as the longest name needs.
class LongNameState {
 public:
  static constexpr size_t kMaxNameUnits = 255;
  static constexpr size_t kUnitsPerPart = 13;
  static constexpr size_t kMaxParts = (kMaxNameUnits + kUnitsPerPart - 1) / kUnitsPerPart;  // 20

  // Puts a part (up to 13 units) in front of the name.
  void add_part(std::u16string_view part);
  bool empty() const { return stored_units_ == 0; }
  // The name: the parts newest first, at most kMaxNameUnits units.
  std::u16string name() const;
  void clear();

  bool complete = false;  // the part with sequence number 1 was seen

 private:
  struct Part {
    std::array<char16_t, kUnitsPerPart> units{};
    uint8_t length = 0;
  };
  std::array<Part, kMaxParts> parts_{};  // a ring of the newest parts
  size_t next_ = 0;                      // slot of the next part
  size_t count_ = 0;                     // parts held, at most kMaxParts
  size_t stored_units_ = 0;
};

// Folder numbers carried by every record a directory cluster yields.
struct FolderPair {
  uint32_t parent_folder = 0;
  uint32_t folder = 0;
};

enum class EntryResult { kEndOfDirectory = -1, kContinue = 0, kFound = 1 };

// What ParseEntry does with the entries it decodes: look a name up (nothing
// is reported), or report every entry through the callback.
struct EntryTarget {
  std::optional<std::u16string_view> lookup_name;  // set: lookup mode
  std::u16string_view parent_path;                 // empty: records carry the bare name
  ScanCallback callback = nullptr;
  void* user = nullptr;
  // The volume, when known: a file whose size runs past its end is marked
  // damaged (kRecordDamaged).
  const FatGeometry* geometry = nullptr;
};

// Decoded fields of a 32-byte short entry.
struct ShortEntry {
  uint8_t first_byte = 0;
  uint8_t attributes = 0;
  uint16_t create_time = 0;
  uint16_t create_date = 0;
  uint32_t first_cluster = 0;  // high half * 65536 + low half
  uint32_t size_bytes = 0;
  bool is_long_name_part() const { return (attributes & 0x0F) == 0x0F; }
  bool is_deleted() const { return first_byte == 0xE5; }
};

ShortEntry DecodeShortEntry(Bytes entry);

// True when the 32-byte-aligned data begins with the "." and ".." entries
// of a subdirectory.
bool HasDotPair(Bytes cluster_start);
// First cluster named by the second entry (".."), high half included.
uint32_t DotDotCluster(Bytes cluster_start);

// Puts the characters of a long-name part in front of the pending name;
// returns true when the part is the one with sequence number 1 (first byte
// 0x41 or 0x01). Neither the checksum nor the order of parts is checked.
bool AppendNamePart(Bytes entry, LongNameState& long_name);

// The two parts of an 8.3 name as bytes of the OEM code page: trailing
// spaces removed, a deleted entry's lost first byte shown as "_".
struct ShortNameParts {
  std::string base;
  std::string extension;
};
ShortNameParts SplitShortName(Bytes entry);

// The 8.3 text of an entry as bytes: base, and "." and the extension when
// the extension is not empty.
std::string MakeShortName(Bytes entry);

// The 8.3 name as Windows shows it: each part decoded through the OEM code
// page and lower-cased where the entry's case flags say so.
std::u16string ShortNameText(Bytes entry);

// The OEM code page through which 8.3 names are decoded, for the whole
// process (437 until set). Setting one that is neither built in nor known to
// the system gives false and keeps the one before.
bool SetOemCodePage(unsigned code_page);
unsigned OemCodePage();

// Handles one entry of a directory. `found_cluster` receives the first
// cluster of each entry that is considered (for lookups: of the match).
EntryResult ParseEntry(Bytes entry, const EntryTarget& target, LongNameState& long_name,
                       const FolderPair& folders, uint32_t& found_cluster);

// Builds the record of an entry under `name` and hands a copy to the
// callback; with the volume's geometry, a file whose size runs past the
// volume's end is marked damaged.
void ReportEntry(const FolderPair& folders, std::u16string_view name, std::u16string_view parent_path,
                 const ShortEntry& entry, ScanCallback callback, void* user, const FatGeometry* geometry = nullptr);

// Scans (or, with a lookup name, searches) the folder whose directory data
// starts at `first_cluster`, following its FAT chain. For FAT32 the dot pair
// of each cluster sets the records' folder numbers; FAT16 records carry none.
// With `claims`, a folder whose first cluster is free (deleted, its chain
// freed) goes on in the later clusters that FindNextLostCluster finds, and
// takes them from the claims. False only when the buffer cannot be had or a
// cluster cannot be read.
bool ScanDirectory(const platform::RawVolume& volume, const FatGeometry& geometry, const EntryTarget& target,
                   uint32_t first_cluster, uint32_t* found_cluster_out, LostClusterClaims* claims = nullptr);

// Reports the entries of the directory clusters that searches looked at and
// no deleted folder took, each with the later clusters it goes on in, under
// LostEntriesPath(`root_path`). Called once a whole Quick Scan is done.
void ReportLostClusters(const platform::RawVolume& volume, const FatGeometry& geometry, std::u16string_view root_path,
                        LostClusterClaims& claims, ScanCallback callback, void* user);

// Scans the folder that starts at `cluster` (reporting its entries under
// `parent_path`), or with a name, looks the name up in it and stores its
// first cluster in `found_cluster` (0: not found).
bool SearchFolder(const platform::RawVolume& volume, const FatGeometry& geometry, std::u16string_view parent_path,
                  const char16_t* name, uint32_t cluster, uint32_t* found_cluster, ScanCallback callback, void* user,
                  LostClusterClaims* claims = nullptr);

}  // namespace salvor::engine::fat
