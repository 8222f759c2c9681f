#include "engine/fat/fat_sweep.h"

#include <algorithm>
#include <cstring>

#include "engine/fat/fat_layout.h"
#include "engine/volume_access.h"

namespace salvor::engine::fat {
bool SweepWindows(const platform::RawVolume& volume, uint64_t volume_size_bytes,
                  const std::function<void(const SweepWindow&)>& visit) {
  platform::AnonymousBuffer buffer;
  if (!buffer.allocate(static_cast<size_t>(kSweepWindowBytes))) return false;
  const MutableBytes window_bytes = buffer.bytes();

  bool result = true;
  // The count is fixed before the first read, so the walk ends whatever the
  // reads return.
  const uint64_t window_count = volume_size_bytes / kSweepWindowBytes + 1;
  for (uint64_t i = 0; i < window_count; ++i) {
    const uint64_t offset = i * kSweepWindowBytes;
    const uint64_t left = volume_size_bytes - offset;
    const uint64_t wanted = i + 1 < window_count ? kSweepWindowBytes : left - left % kSweepUnitBytes;
    SweepWindow window;
    window.offset_bytes = offset;
    if (wanted > 0) {
      const auto got = volume.read_some_at(offset, window_bytes.first(static_cast<size_t>(wanted)));
      if (!got || *got < wanted) {
        platform::debug_output(u"read faile");
        result = false;
      }
      // A volume shorter than the size given still has its last bytes
      // looked at; an I/O error leaves nothing to look at.
      const size_t usable = got ? *got - *got % kSweepUnitBytes : 0;
      window.data = Bytes(window_bytes.first(usable));
    }
    visit(window);
    ReportSweepPosition(offset + wanted, volume_size_bytes);
  }
  return result;
}

bool ReadSweepCluster(const platform::RawVolume& volume, const SweepWindow& window, uint64_t offset,
                      MutableBytes cluster) {
  const uint64_t window_end = window.offset_bytes + window.data.size();
  if (offset >= window.offset_bytes && offset <= window_end && cluster.size() <= window_end - offset) {
    std::memcpy(cluster.data(), window.data.data() + (offset - window.offset_bytes), cluster.size());
    return true;
  }
  const auto got = volume.read_some_at(offset, cluster);
  if (!got) {
    std::fill(cluster.begin(), cluster.end(), std::byte{0});
    return false;
  }
  // A cluster cut short by the end of the volume: zeros end its directory.
  std::fill(cluster.begin() + static_cast<ptrdiff_t>(*got), cluster.end(), std::byte{0});
  return true;
}

bool BeginsWithLongName(Bytes unit) {
  ByteReader reader(unit);
  const bool long_name = reader.u8(entry::kAttributes) == 0x0F && reader.u16(long_name::kZeroCluster) == 0 &&
                         reader.u8(long_name::kType) == 0;
  return reader.ok() && long_name;
}

void ReportSweepCluster(Bytes cluster, bool first_of_folder, LongNameState& long_name, const FolderPair& folders,
                        ScanCallback callback, void* user, const FatGeometry* geometry) {
  // Parts left over from another folder would otherwise name this folder's
  // first entry.
  if (first_of_folder) long_name.clear();
  EntryTarget target;
  target.callback = callback;
  target.user = user;
  target.geometry = geometry;
  uint32_t found_cluster = 0;
  for (size_t at = 0; at + entry::kSize <= cluster.size(); at += entry::kSize) {
    if (ParseEntry(cluster.subspan(at, entry::kSize), target, long_name, folders, found_cluster) ==
        EntryResult::kEndOfDirectory) {
      break;
    }
  }
}

}  // namespace salvor::engine::fat
