#include "engine/sweep_windows.h"

#include <algorithm>

#include "engine/volume_access.h"

namespace salvor::engine {

bool SweepWindows(const platform::RawVolume& volume, uint64_t volume_size_bytes, size_t tail_bytes,
                  const std::function<void(const SweepWindow&)>& visit) {
  platform::AnonymousBuffer buffer;
  if (!buffer.allocate(static_cast<size_t>(kSweepWindowBytes) + tail_bytes)) return false;
  const MutableBytes buffer_bytes = buffer.bytes();

  bool result = true;
  // The count is fixed before the first read, so the walk ends whatever the
  // reads return.
  const uint64_t window_count = volume_size_bytes / kSweepWindowBytes + 1;
  for (uint64_t i = 0; i < window_count; ++i) {
    const uint64_t offset = i * kSweepWindowBytes;
    const uint64_t left = volume_size_bytes - offset;
    const uint64_t wanted = i + 1 < window_count ? kSweepWindowBytes : left - left % kSweepUnitBytes;
    const uint64_t tail = std::min<uint64_t>(tail_bytes, left - wanted);
    SweepWindow window;
    window.offset_bytes = offset;
    bool ended = false;
    if (wanted > 0) {
      const auto got = volume.read_some_at(offset, buffer_bytes.first(static_cast<size_t>(wanted + tail)));
      if (!got) {
        platform::debug_output(u"read faile");
        result = false;
        ReportSweepPosition(offset + wanted, volume_size_bytes);
        continue;
      }
      if (*got < wanted) {  // the device ended before the size given
        platform::debug_output(u"read faile");
        result = false;
        ended = true;
      }
      const size_t own = static_cast<size_t>(std::min<uint64_t>(*got, wanted));
      window.data = Bytes(buffer_bytes.first(own - own % kSweepUnitBytes));
      window.with_tail = Bytes(buffer_bytes.first(ended ? window.data.size() : *got));
    }
    visit(window);
    ReportSweepPosition(offset + wanted, volume_size_bytes);
    if (ended) break;
  }
  return result;
}

}  // namespace salvor::engine
