#include "engine/exfat/exfat_upcase.h"

#include <algorithm>

#include "engine/exfat/exfat_layout.h"

namespace salvor::engine::exfat {
namespace {

// The standard table is under 6 KiB compressed and 128 KiB in full; more is
// not a table.
constexpr uint64_t kMaxTableBytes = 128 * 1024;

}  // namespace

char16_t UpcaseTable::upcase(char16_t c) const {
  if (!loaded_) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
  const auto found = std::lower_bound(changes_.begin(), changes_.end(), c,
                                      [](const auto& change, char16_t wanted) { return change.first < wanted; });
  return found != changes_.end() && found->first == c ? found->second : c;
}

void UpcaseTable::Decode(Bytes table) {
  changes_.clear();
  ByteReader reader(table);
  uint32_t next = 0;  // the character the next value maps
  for (size_t at = 0; at + 2 <= table.size() && next <= 0xFFFF; at += 2) {
    const uint16_t value = reader.u16(at);
    if (value == 0xFFFF && at + 4 <= table.size()) {
      next += reader.u16(at + 2);  // identity run
      at += 2;
      continue;
    }
    if (value != next) changes_.emplace_back(static_cast<char16_t>(next), static_cast<char16_t>(value));
    ++next;
  }
  loaded_ = true;
}

bool UpcaseTable::Load(const platform::RawVolume& volume, const ExFatGeometry& geometry) {
  if (!geometry.is_data_cluster(geometry.root_cluster)) return false;
  ByteBuffer root;
  if (!root.allocate(geometry.cluster_size_bytes) ||
      !volume.read_at(geometry.cluster_offset_bytes(geometry.root_cluster), root.bytes())) {
    return false;
  }
  for (size_t at = 0; at + entry::kSize <= root.size(); at += entry::kSize) {
    ByteReader reader(Bytes(root.bytes()).subspan(at, entry::kSize));
    if (reader.u8(entry::kType) != entry::kUpcaseTable) continue;
    const uint32_t first_cluster = reader.u32(bitmap::kFirstCluster);  // same place in both entries
    const uint64_t length = reader.u64(bitmap::kDataLength);
    if (!geometry.is_data_cluster(first_cluster) || length == 0 || length > kMaxTableBytes) return false;
    std::vector<std::byte> table(static_cast<size_t>(length));
    if (!volume.read_at(geometry.cluster_offset_bytes(first_cluster), table)) return false;
    Decode(table);
    return true;
  }
  return false;
}

uint16_t NameHash(std::u16string_view name, const UpcaseTable& upcase) {
  uint16_t hash = 0;
  for (char16_t c : name) {
    const char16_t u = upcase.upcase(c);
    for (const uint8_t byte : {static_cast<uint8_t>(u & 0xFF), static_cast<uint8_t>(u >> 8)}) {
      hash = static_cast<uint16_t>(((hash & 1) ? 0x8000 : 0) + (hash >> 1) + byte);
    }
  }
  return hash;
}

}  // namespace salvor::engine::exfat
