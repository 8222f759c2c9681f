// ReadAligned against a fake volume that, like a Windows raw volume handle,
// refuses any read whose offset, length or buffer address is not a multiple
// of the sector size, or that reaches past the end of the volume.
#include "platform/aligned_read.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace salvor::platform {
namespace {

struct Request {
  uint64_t offset;
  size_t length;
};

class StrictVolume {
 public:
  StrictVolume(uint32_t sector, size_t size, bool size_known = true)
      : sector_(sector), size_known_(size_known), bytes_(size) {
    for (size_t i = 0; i < size; ++i) bytes_[i] = static_cast<std::byte>((i * 131 + (i >> 8)) & 0xFF);
  }

  AlignedReadLimits limits(size_t bounce_bytes = 1u << 20) const {
    AlignedReadLimits limits;
    limits.alignment = sector_;
    if (size_known_) limits.volume_size = bytes_.size();
    limits.bounce_bytes = bounce_bytes;
    return limits;
  }

  // The read callable handed to ReadAligned.
  auto reader() {
    return [this](uint64_t offset, std::byte* buffer, size_t length) -> int64_t {
      requests_.push_back({offset, length});
      std::string fault;
      if (length == 0) fault = "zero length";
      if (offset % sector_ != 0) fault = "unaligned offset " + std::to_string(offset);
      if (length % sector_ != 0) fault = "unaligned length " + std::to_string(length);
      if (reinterpret_cast<uintptr_t>(buffer) % sector_ != 0) fault = "unaligned buffer";
      // A volume of known size refuses reads past its end; one of unknown
      // size (a file) gives a short read.
      if (size_known_ && offset + length > bytes_.size()) fault = "past the end";
      if (fail_at_ && offset <= *fail_at_ && *fail_at_ < offset + length) fault = "I/O error";
      if (!fault.empty()) {
        faults_.push_back(fault);
        return -1;
      }
      if (offset >= bytes_.size()) return 0;
      const size_t got = std::min<size_t>(length, bytes_.size() - offset);
      std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), got, buffer);
      return static_cast<int64_t>(got);
    };
  }

  std::vector<std::byte> expected(uint64_t offset, size_t length) const {
    if (offset >= bytes_.size()) return {};
    const size_t n = std::min<size_t>(length, bytes_.size() - offset);
    return {bytes_.begin() + static_cast<std::ptrdiff_t>(offset),
            bytes_.begin() + static_cast<std::ptrdiff_t>(offset + n)};
  }

  void fail_at(uint64_t offset) { fail_at_ = offset; }
  const std::vector<Request>& requests() const { return requests_; }
  const std::vector<std::string>& faults() const { return faults_; }
  void clear() {
    requests_.clear();
    faults_.clear();
  }

 private:
  uint32_t sector_;
  bool size_known_;
  std::vector<std::byte> bytes_;
  std::optional<uint64_t> fail_at_;
  std::vector<Request> requests_;
  std::vector<std::string> faults_;
};

// A destination whose first byte sits `misalign` bytes past a 4096 boundary.
class Destination {
 public:
  Destination(size_t length, size_t misalign) : storage_(length + misalign + 8192) {
    const auto base = reinterpret_cast<uintptr_t>(storage_.data());
    start_ = (4096 - base % 4096) % 4096 + misalign;
    length_ = length;
  }
  std::span<std::byte> span() { return {storage_.data() + start_, length_}; }
  std::vector<std::byte> first(size_t n) const {
    return {storage_.begin() + static_cast<std::ptrdiff_t>(start_),
            storage_.begin() + static_cast<std::ptrdiff_t>(start_ + n)};
  }

 private:
  std::vector<std::byte> storage_;
  size_t start_ = 0;
  size_t length_ = 0;
};

TEST(ReadAligned, AlignedRequestIsOneDirectRead) {
  StrictVolume volume(512, 64 * 512);
  Destination out(4 * 512, 0);
  const auto got = ReadAligned(volume.limits(), 8 * 512, out.span(), volume.reader());
  ASSERT_EQ(got, std::optional<size_t>(4 * 512));
  EXPECT_EQ(out.first(4 * 512), volume.expected(8 * 512, 4 * 512));
  ASSERT_EQ(volume.requests().size(), 1u);
  EXPECT_EQ(volume.requests()[0].offset, 8u * 512);
  EXPECT_TRUE(volume.faults().empty());
}

TEST(ReadAligned, UnalignedOffsetLengthAndBuffer) {
  StrictVolume volume(512, 64 * 512);
  struct Case {
    uint64_t offset;
    size_t length;
    size_t misalign;
  } cases[] = {
      {3, 10, 0},          // inside one sector
      {510, 4, 0},         // across a sector boundary
      {512, 700, 0},       // aligned start, unaligned length
      {100, 3 * 512, 0},   // unaligned start, whole-sector length
      {1024, 1024, 1},     // aligned request into an unaligned buffer
      {7, 20 * 512, 13},   // everything unaligned, many sectors
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "offset " << c.offset << " length " << c.length << " misalign "
                                    << c.misalign);
    volume.clear();
    Destination out(c.length, c.misalign);
    const auto got = ReadAligned(volume.limits(), c.offset, out.span(), volume.reader());
    ASSERT_EQ(got, std::optional<size_t>(c.length));
    EXPECT_EQ(out.first(c.length), volume.expected(c.offset, c.length));
    EXPECT_TRUE(volume.faults().empty()) << volume.faults().front();
  }
}

TEST(ReadAligned, RequestCrossingTheEndStopsAtTheEnd) {
  StrictVolume volume(512, 16 * 512);
  Destination out(2000, 0);
  const uint64_t offset = 15 * 512 + 100;
  const auto got = ReadAligned(volume.limits(), offset, out.span(), volume.reader());
  ASSERT_EQ(got, std::optional<size_t>(412));
  EXPECT_EQ(out.first(412), volume.expected(offset, 412));
  EXPECT_TRUE(volume.faults().empty()) << volume.faults().front();

  // Aligned start and buffer, crossing the end.
  volume.clear();
  Destination whole(4 * 512, 0);
  EXPECT_EQ(ReadAligned(volume.limits(), 14 * 512, whole.span(), volume.reader()), std::optional<size_t>(1024));
  EXPECT_EQ(whole.first(1024), volume.expected(14 * 512, 1024));
  EXPECT_TRUE(volume.faults().empty()) << volume.faults().front();
}

TEST(ReadAligned, NothingToReadMakesNoRequest) {
  StrictVolume volume(512, 16 * 512);
  Destination out(512, 0);
  EXPECT_EQ(ReadAligned(volume.limits(), 100, out.span().first(0), volume.reader()), std::optional<size_t>(0));
  EXPECT_EQ(ReadAligned(volume.limits(), 16 * 512, out.span(), volume.reader()), std::optional<size_t>(0));
  EXPECT_EQ(ReadAligned(volume.limits(), UINT64_MAX - 3, out.span(), volume.reader()), std::optional<size_t>(0));
  EXPECT_TRUE(volume.requests().empty());
}

TEST(ReadAligned, TailAfterTheLastWholeSectorCountsAsBeyondTheEnd) {
  StrictVolume volume(512, 16 * 512 + 200);
  Destination out(1024, 0);
  EXPECT_EQ(ReadAligned(volume.limits(), 15 * 512 + 12, out.span(), volume.reader()), std::optional<size_t>(500));
  EXPECT_TRUE(volume.faults().empty()) << volume.faults().front();
}

TEST(ReadAligned, LargeUnalignedReadUsesABoundedBounceBuffer) {
  StrictVolume volume(512, 256 * 512);
  Destination out(100 * 512, 3);
  const auto got = ReadAligned(volume.limits(4 * 512), 77, out.span(), volume.reader());
  ASSERT_EQ(got, std::optional<size_t>(100 * 512));
  EXPECT_EQ(out.first(100 * 512), volume.expected(77, 100 * 512));
  EXPECT_TRUE(volume.faults().empty()) << volume.faults().front();
  for (const Request& r : volume.requests()) EXPECT_LE(r.length, 4u * 512);
}

TEST(ReadAligned, ReadFailureIsReported) {
  StrictVolume volume(512, 64 * 512);
  volume.fail_at(20 * 512);
  Destination aligned(32 * 512, 0);
  EXPECT_EQ(ReadAligned(volume.limits(), 0, aligned.span(), volume.reader()), std::nullopt);
  Destination unaligned(32 * 512, 5);
  EXPECT_EQ(ReadAligned(volume.limits(1024), 9, unaligned.span(), volume.reader()), std::nullopt);
}

TEST(ReadAligned, UnusableAlignmentIsRefused) {
  StrictVolume volume(512, 4 * 512);
  Destination out(16, 0);
  for (uint32_t alignment : {0u, 3u, 768u}) {
    AlignedReadLimits limits = volume.limits();
    limits.alignment = alignment;
    EXPECT_EQ(ReadAligned(limits, 0, out.span(), volume.reader()), std::nullopt) << alignment;
  }
  EXPECT_TRUE(volume.requests().empty());
}

// Every offset and length over a small volume, with the size known (reads
// must stop short of the end) and unknown (the volume gives short reads).
TEST(ReadAligned, EveryOffsetAndLengthOverASmallVolume) {
  constexpr uint32_t kSector = 16;
  constexpr size_t kSize = 10 * kSector;
  for (bool size_known : {true, false}) {
    StrictVolume volume(kSector, kSize, size_known);
    for (uint64_t offset = 0; offset <= kSize + kSector; ++offset) {
      for (size_t length = 0; length <= kSize + kSector; length += (length < 3 * kSector ? 1 : 7)) {
        for (size_t misalign : {0, 1}) {
          volume.clear();
          Destination out(length, misalign);
          const auto got = ReadAligned(volume.limits(3 * kSector), offset, out.span(), volume.reader());
          const auto expected = volume.expected(offset, length);
          ASSERT_EQ(got, std::optional<size_t>(expected.size()))
              << "offset " << offset << " length " << length << " size known " << size_known;
          ASSERT_EQ(out.first(expected.size()), expected) << "offset " << offset << " length " << length;
          ASSERT_TRUE(volume.faults().empty())
              << volume.faults().front() << " at offset " << offset << " length " << length;
        }
      }
    }
  }
}

}  // namespace
}  // namespace salvor::platform
