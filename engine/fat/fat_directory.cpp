#include "engine/fat/fat_directory.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <unordered_set>

#include "common/oem_codepage.h"
#include "common/text.h"
#include "engine/fat/fat_layout.h"
#include "engine/fat/fat_lost_chain.h"
#include "platform/platform.h"

namespace salvor::engine::fat {
namespace {

std::atomic<unsigned> oem_code_page{text::kDefaultOemCodePage};

std::u16string decode_oem(std::string_view bytes, unsigned code_page) {
  const auto raw = std::as_bytes(std::span(bytes.data(), bytes.size()));
  if (auto built_in = text::decode_oem(code_page, raw)) return std::move(*built_in);
  if (auto converted = platform::codepage_to_utf16(code_page, raw)) return std::move(*converted);
  return *text::decode_oem(text::kDefaultOemCodePage, raw);
}

std::u16string lowered(std::u16string part) {
  for (char16_t& c : part) c = text::lower_case(c);
  return part;
}

bool names_match(std::u16string_view wanted, std::u16string_view name) {
  return text::equals_ignore_case(wanted, name);
}

}  // namespace

ShortEntry DecodeShortEntry(Bytes entry) {
  ByteReader reader(entry);
  ShortEntry e;
  e.first_byte = reader.u8(entry::kName);
  e.attributes = reader.u8(entry::kAttributes);
  e.create_time = reader.u16(entry::kCreateTime);
  e.create_date = reader.u16(entry::kCreateDate);
  e.first_cluster = (static_cast<uint32_t>(reader.u16(entry::kClusterHigh)) << 16) | reader.u16(entry::kClusterLow);
  e.size_bytes = reader.u32(entry::kFileSize);
  return e;
}

bool HasDotPair(Bytes cluster_start) {
  ByteReader reader(cluster_start);
  const bool pair = reader.u32(0) == kDotName[0] && reader.u32(4) == kDotName[1] &&
                    reader.u32(entry::kSize) == kDotDotName[0] && reader.u32(entry::kSize + 4) == kDotDotName[1];
  return reader.ok() && pair;
}

uint32_t DotDotCluster(Bytes cluster_start) {
  const auto second = slice(cluster_start, entry::kSize, entry::kSize);
  return second ? DecodeShortEntry(*second).first_cluster : 0;
}

void LongNameState::add_part(std::u16string_view part) {
  Part& slot = parts_[next_];
  if (count_ == kMaxParts) {
    stored_units_ -= slot.length;  // the oldest part: the end of a name too long to keep
  } else {
    ++count_;
  }
  slot.length = static_cast<uint8_t>(std::min(part.size(), kUnitsPerPart));
  std::copy_n(part.begin(), slot.length, slot.units.begin());
  stored_units_ += slot.length;
  next_ = (next_ + 1) % kMaxParts;
}

std::u16string LongNameState::name() const {
  std::u16string text;
  text.reserve(std::min(stored_units_, kMaxNameUnits));
  for (size_t i = 0; i < count_ && text.size() < kMaxNameUnits; ++i) {
    const Part& part = parts_[(next_ + kMaxParts - 1 - i) % kMaxParts];
    const size_t take = std::min<size_t>(part.length, kMaxNameUnits - text.size());
    text.append(part.units.data(), take);
  }
  return text;
}

void LongNameState::clear() {
  next_ = 0;
  count_ = 0;
  stored_units_ = 0;
  complete = false;
}

bool AppendNamePart(Bytes entry, LongNameState& long_name) {
  ByteReader reader(entry);
  char16_t part[long_name::kUnitsPerPart + 1] = {};
  size_t count = 0;
  for (const auto& piece : long_name::kPieces) {
    for (size_t i = 0; i < piece[1]; ++i) {
      char16_t unit = reader.u16(piece[0] + 2 * i);
      // 0xFFFF pads the last part; any unit whose low byte is 0xFF ends it.
      if ((unit & 0xFF) == 0xFF) unit = 0;
      part[count++] = unit;
    }
  }
  long_name.add_part(std::u16string_view(part));  // up to the first zero unit
  const uint8_t sequence = reader.u8(long_name::kSequence);
  return sequence == 0x41 || sequence == 0x01;
}

ShortNameParts SplitShortName(Bytes entry) {
  ShortNameParts parts;
  for (size_t i = 0; i < 8 && i < entry.size(); ++i) parts.base.push_back(static_cast<char>(entry[entry::kName + i]));
  for (size_t i = 0; i < 3 && entry::kExtension + i < entry.size(); ++i) {
    parts.extension.push_back(static_cast<char>(entry[entry::kExtension + i]));
  }
  while (!parts.base.empty() && parts.base.back() == ' ') parts.base.pop_back();
  while (!parts.extension.empty() && parts.extension.back() == ' ') parts.extension.pop_back();
  if (!parts.base.empty() && static_cast<uint8_t>(parts.base[0]) == entry::kDeletedMark) parts.base[0] = '_';
  return parts;
}

std::string MakeShortName(Bytes entry) {
  const ShortNameParts parts = SplitShortName(entry);
  std::string text = parts.base;
  if (!parts.extension.empty()) text += "." + parts.extension;
  return text;
}

std::u16string ShortNameText(Bytes entry) {
  const ShortNameParts parts = SplitShortName(entry);
  const unsigned code_page = OemCodePage();
  const uint8_t flags = ByteReader(entry).u8(entry::kCaseFlags);
  std::u16string text = decode_oem(parts.base, code_page);
  if (flags & entry::kLowerCaseBase) text = lowered(std::move(text));
  if (!parts.extension.empty()) {
    std::u16string extension = decode_oem(parts.extension, code_page);
    if (flags & entry::kLowerCaseExtension) extension = lowered(std::move(extension));
    text += u'.';
    text += extension;
  }
  return text;
}

bool SetOemCodePage(unsigned code_page) {
  const std::byte probe[1] = {std::byte{0x80}};
  if (!text::has_oem_table(code_page) && !platform::codepage_to_utf16(code_page, probe)) return false;
  oem_code_page.store(code_page);
  return true;
}

unsigned OemCodePage() { return oem_code_page.load(); }

void ReportEntry(const FolderPair& folders, std::u16string_view name, std::u16string_view parent_path,
                 const ShortEntry& entry, ScanCallback callback, void* user, const FatGeometry* geometry) {
  _FileInfoFat record;
  record.ParentFolder = folders.parent_folder;
  record.Folder = folders.folder;
  record.FirstCluster = entry.first_cluster;
  record.DeleteState = (entry.is_deleted() || entry.is_long_name_part()) ? kDeleted : kPresent;
  record.EntryType = (entry.attributes & entry::kTypeBits) == entry::kAttrDirectory ? kEntryFolder : kEntryFile;
  record.Attributes = entry.attributes;
  record.Reserved = 0;
  record.FileSize = entry.size_bytes;
  if (geometry && record.EntryType == kEntryFile && entry.size_bytes > geometry->max_file_bytes_from(entry.first_cluster)) {
    record.Reserved |= kRecordDamaged;
  }
  record.Hour = static_cast<uint8_t>(entry.create_time >> 11);
  record.Minute = static_cast<uint8_t>((entry.create_time >> 5) & 0x3F);
  record.Second = static_cast<uint8_t>((entry.create_time & 0x1F) * 2);
  record.Year = static_cast<uint16_t>((entry.create_date >> 9) + 1980);
  record.Month = static_cast<uint8_t>((entry.create_date >> 5) & 0x0F);
  record.Day = static_cast<uint8_t>(entry.create_date & 0x1F);
  if (parent_path.empty()) {
    record.FullPath = RcWString(name);
  } else {
    std::u16string path(parent_path);
    path += u'\\';
    path += name;
    record.FullPath = RcWString(path);
  }
  if (callback) callback(record, user);
}

EntryResult ParseEntry(Bytes entry, const EntryTarget& target, LongNameState& long_name,
                       const FolderPair& folders, uint32_t& found_cluster) {
  const ShortEntry e = DecodeShortEntry(entry);
  if (e.first_byte == entry::kEndOfDirectory) return EntryResult::kEndOfDirectory;

  if (e.is_long_name_part()) {
    long_name.complete = AppendNamePart(entry, long_name);
    return EntryResult::kContinue;
  }

  const uint8_t type = e.attributes & entry::kTypeBits;
  const bool file_or_folder = type == 0 || type == entry::kAttrDirectory;
  const bool lookup = target.lookup_name.has_value();

  // Reports or compares under the assembled long name, then forgets it.
  auto use_long_name = [&]() {
    if (lookup) {
      if (names_match(*target.lookup_name, long_name.name())) return EntryResult::kFound;
    } else {
      ReportEntry(folders, long_name.name(), target.parent_path, e, target.callback, target.user, target.geometry);
    }
    long_name.clear();
    return EntryResult::kContinue;
  };
  // Reports or compares under the 8.3 text.
  auto use_short_name = [&](bool skip_dot_entries) {
    const std::string short_bytes = MakeShortName(entry);
    const std::u16string name = ShortNameText(entry);
    if (lookup) return names_match(*target.lookup_name, name) ? EntryResult::kFound : EntryResult::kContinue;
    if (skip_dot_entries && type == entry::kAttrDirectory && (short_bytes == "." || short_bytes == "..")) {
      return EntryResult::kContinue;
    }
    ReportEntry(folders, name, target.parent_path, e, target.callback, target.user, target.geometry);
    return EntryResult::kContinue;
  };

  if (long_name.complete) {
    found_cluster = e.first_cluster;
    return use_long_name();
  }
  if (!file_or_folder) return EntryResult::kContinue;  // volume label without a long name
  found_cluster = e.first_cluster;
  if (!e.is_deleted()) return use_short_name(/*skip_dot_entries=*/true);
  // Deleted long-name parts never set the complete flag; a pending name was
  // assembled from them.
  if (!long_name.empty()) return use_long_name();
  return use_short_name(/*skip_dot_entries=*/false);
}

bool ScanDirectory(const platform::RawVolume& volume, const FatGeometry& geometry, const EntryTarget& target,
                   uint32_t first_cluster, uint32_t* found_cluster_out, LostClusterClaims* claims) {
  if (found_cluster_out) *found_cluster_out = 0;
  if (!geometry.is_data_cluster(first_cluster)) return false;
  EntryTarget on_volume = target;
  on_volume.geometry = &geometry;
  const size_t cluster_bytes = geometry.cluster_size_bytes;
  std::unique_ptr<std::byte[]> buffer(new (std::nothrow) std::byte[cluster_bytes]());
  if (!buffer) return false;
  const MutableBytes cluster_data(buffer.get(), cluster_bytes);

  FatCache fat(volume, geometry);
  const ClusterSpace space = FatClusterSpace(geometry, fat);
  // A folder whose first cluster is free was deleted, and its chain freed
  // with it: its later clusters are searched for instead.
  const auto first_value = fat.entry(first_cluster);
  const bool chain_lost = claims && first_value && *first_value == 0;

  LongNameState long_name;
  FolderPair folders;
  uint32_t found_cluster = 0;
  bool result = true;
  bool matched = false;
  // A chain that comes back to a cluster it has visited is damaged; ending
  // there reports each entry once.
  std::unordered_set<uint32_t> visited;
  uint32_t cluster = first_cluster;
  for (uint32_t walked = 0; walked < geometry.max_directory_clusters(); ++walked) {
    if (!visited.insert(cluster).second) break;
    if (!volume.read_at(geometry.cluster_offset_bytes(cluster), cluster_data)) {
      result = false;
      break;
    }
    if (chain_lost) claims->claim(cluster);
    if (geometry.width == FatWidth::k32 && HasDotPair(cluster_data)) {
      folders.parent_folder = DotDotCluster(cluster_data);
      folders.folder = cluster;
    }
    bool stop = false;
    for (size_t at = 0; at + entry::kSize <= cluster_bytes && !stop; at += entry::kSize) {
      const Bytes one = Bytes(cluster_data).subspan(at, entry::kSize);
      const EntryResult parsed = ParseEntry(one, on_volume, long_name, folders, found_cluster);
      if (parsed == EntryResult::kFound) matched = true;
      stop = parsed != EntryResult::kContinue;
    }
    if (stop) break;
    std::optional<uint32_t> next;
    if (chain_lost) {
      next = FindNextLostCluster(volume, space, cluster, SummarizeDirectoryCluster(cluster_data, geometry).following,
                                 visited, *claims);
    } else if (const auto value = fat.entry(cluster);
               value && !geometry.ends_chain(*value) && geometry.is_data_cluster(*value)) {
      next = *value;
    }
    if (!next) break;
    cluster = *next;
  }
  if (found_cluster_out) {
    *found_cluster_out = (target.lookup_name && !matched) ? 0 : found_cluster;
  }
  return result;
}

void ReportLostClusters(const platform::RawVolume& volume, const FatGeometry& geometry, std::u16string_view root_path,
                        LostClusterClaims& claims, ScanCallback callback, void* user) {
  const std::u16string parent = LostEntriesPath(root_path);
  EntryTarget target;
  target.parent_path = parent;
  target.callback = callback;
  target.user = user;
  for (const uint32_t cluster : claims.unclaimed()) {
    // One lost cluster may go on in another that was seen too.
    if (claims.claimed(cluster)) continue;
    ScanDirectory(volume, geometry, target, cluster, nullptr, &claims);
  }
}

bool SearchFolder(const platform::RawVolume& volume, const FatGeometry& geometry, std::u16string_view parent_path,
                  const char16_t* name, uint32_t cluster, uint32_t* found_cluster, ScanCallback callback, void* user,
                  LostClusterClaims* claims) {
  EntryTarget target;
  if (name) target.lookup_name = std::u16string_view(name);
  target.parent_path = parent_path;
  target.callback = callback;
  target.user = user;
  return ScanDirectory(volume, geometry, target, cluster, found_cluster, claims);
}

}  // namespace salvor::engine::fat
