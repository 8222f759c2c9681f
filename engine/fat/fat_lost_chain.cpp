#include "engine/fat/fat_lost_chain.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/fat/fat_directory.h"
#include "engine/fat/fat_layout.h"
#include "common/text.h"

namespace salvor::engine::fat {
namespace {

// Long-name entries hold at most 20 parts; a deleted one has lost its
// sequence byte.
bool plausible_long_name_part(Bytes slot) {
  ByteReader reader(slot);
  const uint8_t sequence = reader.u8(long_name::kSequence);
  if (reader.u8(entry::kAttributes) != 0x0F || reader.u8(long_name::kType) != 0 ||
      reader.u16(long_name::kZeroCluster) != 0) {
    return false;
  }
  if (sequence == entry::kDeletedMark) return true;
  const unsigned number = sequence & 0x1F;
  return (sequence & 0xA0) == 0 && number >= 1 && number <= 20;
}

bool valid_short_name_byte(uint8_t b, size_t index) {
  if (index == 0 && (b == entry::kDeletedMark || b == 0x05)) return true;
  if (index == 0 && b == ' ') return false;
  if (b < 0x20) return false;
  if (b >= 'a' && b <= 'z') return false;  // stored upper case; the case flags say how to show them
  static constexpr char kInvalid[] = "\"*+,./:;<=>?[\\]|";
  return std::memchr(kInvalid, b, sizeof kInvalid - 1) == nullptr;
}

uint64_t data_bytes(const FatGeometry& geometry) {
  return static_cast<uint64_t>(geometry.fat_entry_count) * geometry.cluster_size_bytes;
}

bool plausible_short_entry(Bytes slot, const FatGeometry& geometry) {
  const ShortEntry e = DecodeShortEntry(slot);
  if ((e.attributes & 0xC0) != 0 || (e.attributes & entry::kAttrVolumeLabel) != 0) return false;
  for (size_t i = 0; i < 11; ++i) {
    if (!valid_short_name_byte(std::to_integer<uint8_t>(slot[i]), i)) return false;
  }
  if ((e.attributes & entry::kAttrDirectory) != 0) return e.size_bytes == 0 && geometry.is_data_cluster(e.first_cluster);
  if (e.size_bytes > data_bytes(geometry)) return false;
  return e.first_cluster == 0 ? e.size_bytes == 0 : geometry.is_data_cluster(e.first_cluster);
}

}  // namespace

uint8_t ShortNameChecksum(Bytes entry) {
  uint8_t sum = 0;
  for (size_t i = 0; i < 11 && i < entry.size(); ++i) {
    sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + std::to_integer<uint8_t>(entry[i]));
  }
  return sum;
}

namespace {

bool is_long_name_slot(Bytes slot) { return (std::to_integer<uint8_t>(slot[entry::kAttributes]) & 0x0F) == 0x0F; }

// Whether the short entry `slot` can be the one that the long name `name`
// (parts with `checksum`) names. A deleted entry lost its first byte; the
// checksum then tells which byte it was (each first byte gives another
// checksum), and that byte must be the upper-cased first letter of the name,
// as a short name made from a long one begins (a non-ASCII letter: any byte
// of the code page's upper half).
bool short_entry_matches(Bytes slot, uint8_t checksum, std::u16string_view name) {
  if (ShortNameChecksum(slot) == checksum) return true;
  if (std::to_integer<uint8_t>(slot[0]) != entry::kDeletedMark) return false;
  std::array<std::byte, 11> short_name{};
  std::copy_n(slot.begin(), 11, short_name.begin());
  for (unsigned b = 0x21; b < 0x100; ++b) {
    short_name[0] = std::byte{static_cast<uint8_t>(b)};
    if (ShortNameChecksum(short_name) != checksum) continue;
    if (!valid_short_name_byte(static_cast<uint8_t>(b), 1)) return false;
    // Leading dots and spaces are dropped, and a character no 8.3 name
    // holds becomes "_".
    if (name.empty() || name[0] == u'.' || name[0] == u' ' || b == '_') return true;
    return name[0] >= 0x80 ? b >= 0x80 : text::fold_case(name[0]) == b;
  }
  return false;
}

// Whether the long-name parts that open a cluster (if any) can be a whole
// name rather than the start of one whose end lies in the cluster before:
// the start holds no extension, while the short entry after the parts keeps
// the upper-cased start of the name's extension.
bool opens_whole_name(Bytes cluster) {
  LongNameState parts;
  size_t at = 0;
  for (; at + entry::kSize <= cluster.size(); at += entry::kSize) {
    const Bytes slot = cluster.subspan(at, entry::kSize);
    if (!is_long_name_slot(slot)) break;
    AppendNamePart(slot, parts);
  }
  if (at == 0 || at + entry::kSize > cluster.size()) return true;
  const ShortNameParts short_name = SplitShortName(cluster.subspan(at, entry::kSize));
  if (short_name.extension.empty()) return true;
  const std::u16string name = parts.name();
  const size_t dot = name.rfind(u'.');
  if (dot == std::u16string::npos) return false;
  for (size_t i = 0; i < short_name.extension.size(); ++i) {
    if (dot + 1 + i >= name.size()) return false;
    const char16_t c = name[dot + 1 + i];
    const auto stored = static_cast<uint8_t>(short_name.extension[i]);
    if (c >= 0x80 || stored >= 0x80) return true;  // not compared outside ASCII
    if (text::fold_case(c) != stored) return false;
  }
  return true;
}

}  // namespace

DirectoryClusterEnd SummarizeDirectoryCluster(Bytes cluster, const FatGeometry& geometry) {
  DirectoryClusterEnd end;
  std::optional<uint8_t> trailing_checksum;  // of long-name parts after the last short entry
  LongNameState trailing;
  for (size_t at = 0; at + entry::kSize <= cluster.size(); at += entry::kSize) {
    const Bytes slot = cluster.subspan(at, entry::kSize);
    const ShortEntry e = DecodeShortEntry(slot);
    if (e.first_byte == entry::kEndOfDirectory) {
      end.ends_directory = true;
      break;
    }
    if (e.is_long_name_part()) {
      trailing_checksum = std::to_integer<uint8_t>(slot[long_name::kChecksum]);
      AppendNamePart(slot, trailing);
      continue;
    }
    trailing_checksum.reset();
    trailing.clear();
    if ((e.attributes & entry::kAttrVolumeLabel) != 0) continue;
    if (!geometry.is_data_cluster(e.first_cluster)) continue;
    uint64_t clusters = 1;
    if ((e.attributes & entry::kAttrDirectory) == 0) {
      if (e.size_bytes == 0) continue;
      clusters = (static_cast<uint64_t>(e.size_bytes) + geometry.cluster_size_bytes - 1) / geometry.cluster_size_bytes;
    }
    const uint64_t after = e.first_cluster + clusters;
    end.following.after_last_data =
        after < geometry.fat_entry_count ? static_cast<uint32_t>(after) : geometry.fat_entry_count;
  }
  if (end.ends_directory) return end;
  end.following.continues = [trailing_checksum, name = trailing.name()](Bytes next) {
    const Bytes first = next.first(entry::kSize);
    const uint8_t sequence = std::to_integer<uint8_t>(first[long_name::kSequence]);
    if (trailing_checksum) {
      if (is_long_name_slot(first)) return std::to_integer<uint8_t>(first[long_name::kChecksum]) == *trailing_checksum;
      return short_entry_matches(first, *trailing_checksum, name);
    }
    // A part in use says where it stands: only the last part (0x40) can
    // begin a name; a deleted one lost that, but its name shows it.
    if (!is_long_name_slot(first)) return true;
    if (sequence != entry::kDeletedMark) return (sequence & 0x40) != 0;
    return opens_whole_name(next);
  };
  return end;
}

bool LooksLikeLaterDirectoryCluster(Bytes cluster, const FatGeometry& geometry) {
  if (cluster.size() < entry::kSize || HasDotPair(cluster)) return false;
  for (size_t at = 0; at + entry::kSize <= cluster.size(); at += entry::kSize) {
    const Bytes slot = cluster.subspan(at, entry::kSize);
    const uint8_t first = std::to_integer<uint8_t>(slot[0]);
    if (first == entry::kEndOfDirectory) return at > 0;
    const bool long_name = (std::to_integer<uint8_t>(slot[entry::kAttributes]) & 0x0F) == 0x0F;
    if (long_name ? !plausible_long_name_part(slot) : !plausible_short_entry(slot, geometry)) return false;
  }
  return true;
}

ClusterSpace FatClusterSpace(const FatGeometry& geometry, FatCache& fat) {
  ClusterSpace space;
  space.cluster_bytes = geometry.cluster_size_bytes;
  space.end_cluster = geometry.fat_entry_count;
  space.is_data_cluster = [&geometry](uint32_t c) { return geometry.is_data_cluster(c); };
  space.offset_bytes = [&geometry](uint32_t c) { return geometry.cluster_offset_bytes(c); };
  space.is_free = [&fat](uint32_t c) {
    const auto value = fat.entry(c);
    return value && *value == 0;
  };
  space.looks_like_directory = [&geometry](Bytes data) { return LooksLikeLaterDirectoryCluster(data, geometry); };
  return space;
}

uint64_t DataRegionBytes(const FatGeometry& geometry) { return data_bytes(geometry); }

}  // namespace salvor::engine::fat
