// Sector-aligned reading, apart from any OS: a request at any offset and of
// any length is served by reads whose offset, length and buffer address are
// all multiples of the alignment, which is what Windows demands of raw volume
// handles. The Windows volume layer feeds it ReadFile; tests feed it a fake
// that refuses anything unaligned.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>

namespace salvor::platform {

struct AlignedReadLimits {
  // Power of two; 1 when the handle takes any offset and length.
  uint32_t alignment = 1;
  // Size of the volume when known. No request reaches past it: the volume is
  // taken to hold whole aligned units, so a stray tail after the last whole
  // unit counts as beyond the end.
  std::optional<uint64_t> volume_size;
  // Largest bounce buffer to allocate; requests that need bouncing go
  // through it piece by piece.
  size_t bounce_bytes = 1u << 20;
};

inline bool IsValidAlignment(uint64_t alignment) {
  return alignment != 0 && (alignment & (alignment - 1)) == 0 && alignment <= (1u << 20);
}

// Reads `out.size()` bytes at `offset` through `read` and returns how many
// were read before the end of the volume, or nothing when a read failed (or
// the limits are unusable).
//
// `read(uint64_t offset, std::byte* buffer, size_t length)` must return the
// bytes it read (fewer than `length` only at the end of the volume) or a
// negative value on failure. It is only called with offset, length and
// buffer address that are multiples of the alignment, and with length > 0.
template <typename ReadFn>
std::optional<size_t> ReadAligned(const AlignedReadLimits& limits, uint64_t offset, std::span<std::byte> out,
                                  ReadFn&& read) {
  const uint64_t align = limits.alignment;
  if (!IsValidAlignment(align)) return std::nullopt;
  if (out.empty()) return 0;

  // The readable end: the volume size rounded down to whole units, or no
  // limit. `want_end` saturates instead of wrapping.
  const uint64_t limit = limits.volume_size.value_or(UINT64_MAX) / align * align;
  if (offset >= limit) return 0;
  const uint64_t want_end = std::min<uint64_t>(limit, offset > UINT64_MAX - out.size() ? UINT64_MAX
                                                                                        : offset + out.size());
  const size_t wanted = static_cast<size_t>(want_end - offset);

  size_t done = 0;
  // Whole aligned units straight into the caller's buffer when its address
  // and the offset allow it.
  if (offset % align == 0 && reinterpret_cast<uintptr_t>(out.data()) % align == 0) {
    const size_t direct = wanted / align * align;
    if (direct > 0) {
      const int64_t got = read(offset, out.data(), direct);
      if (got < 0) return std::nullopt;
      done = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(got), direct));
      if (done < direct) return done;  // end of the volume
    }
  }
  if (done == wanted) return done;

  // The rest through an aligned bounce buffer, one piece at a time; the
  // buffer is no larger than the rest needs.
  const uint64_t rest_start = (offset + done) / align * align;
  const uint64_t rest_units = (want_end - rest_start + align - 1) / align * align;
  const size_t bounce_size = static_cast<size_t>(
      std::min<uint64_t>(rest_units, std::max<size_t>(limits.bounce_bytes / align * align, align)));
  const auto memory_alignment = std::align_val_t{std::max<size_t>(align, alignof(std::max_align_t))};
  struct Free {
    std::align_val_t alignment;
    void operator()(std::byte* p) const { ::operator delete[](p, alignment); }
  };
  std::unique_ptr<std::byte[], Free> bounce(
      static_cast<std::byte*>(::operator new[](bounce_size, memory_alignment, std::nothrow)), Free{memory_alignment});
  if (!bounce) return std::nullopt;

  while (done < wanted) {
    const uint64_t position = offset + done;
    const uint64_t start = position / align * align;
    const size_t skip = static_cast<size_t>(position - start);
    const uint64_t stop = start + std::min<uint64_t>(want_end - start, bounce_size);
    // Whole units; `limit` is whole units too, so this never passes it.
    const size_t length = static_cast<size_t>(((stop - start) + align - 1) / align * align);
    const int64_t got = read(start, bounce.get(), length);
    if (got < 0) return std::nullopt;
    const size_t got_bytes = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(got), length));
    const size_t usable = got_bytes > skip ? got_bytes - skip : 0;
    const size_t copy = std::min(usable, wanted - done);
    std::memcpy(out.data() + done, bounce.get() + skip, copy);
    done += copy;
    if (got_bytes < length) break;  // end of the volume
  }
  return done;
}

}  // namespace salvor::platform
