// The up-case table of an exFAT volume and the name hash that stream
// extensions carry. The sweep uses the hash to tell whether entries found
// in another cluster really continue a name that a cluster's end cut off.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/exfat/exfat_geometry.h"

namespace salvor::engine::exfat {

class UpcaseTable {
 public:
  // Without a table, ASCII letters are up-cased.
  UpcaseTable() = default;

  // Reads the table that the up-case entry of the root directory's first
  // cluster names (compressed or not). False, keeping the ASCII mapping,
  // when there is none or it cannot be read.
  bool Load(const platform::RawVolume& volume, const ExFatGeometry& geometry);
  // Decodes a table from its bytes: 16-bit values, where 0xFFFF and a count
  // stand for that many characters that map to themselves.
  void Decode(Bytes table);

  char16_t upcase(char16_t c) const;

 private:
  bool loaded_ = false;
  // The characters that do not map to themselves, in ascending order.
  std::vector<std::pair<char16_t, char16_t>> changes_;
};

// The 16-bit hash of the up-cased name (stream extension, bytes 4-5).
uint16_t NameHash(std::u16string_view name, const UpcaseTable& upcase);

}  // namespace salvor::engine::exfat
