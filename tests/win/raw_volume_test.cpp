// The Windows platform layer on a raw volume device (\\.\X:): size, and
// reads at any offset and length served from whole sectors.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/platform.h"
#include "tests/fixtures/temp_files.h"
#include "tests/win/sample_volume.h"
#include "tests/win/win_test_paths.h"

namespace salvor::platform {
namespace {

std::vector<std::byte> Bytes(const std::string& file) {
  const std::string content = testing::ReadFileBytes(file);
  std::vector<std::byte> bytes(content.size());
  for (size_t i = 0; i < content.size(); ++i) bytes[i] = static_cast<std::byte>(content[i]);
  return bytes;
}

void ExpectReadsMatch(const RawVolume& volume, const std::vector<std::byte>& truth) {
  ASSERT_EQ(volume.size_bytes(), std::optional<uint64_t>(truth.size()));
  const uint64_t size = truth.size();
  struct Case {
    uint64_t offset;
    size_t length;
  } cases[] = {
      {0, 512}, {0, 3}, {1, 1}, {511, 2}, {100, 5000}, {4095, 4098}, {512 * 33 + 7, 512 * 20},
      {size - 700, 700}, {size - 10, 100}, {size - 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "offset " << c.offset << " length " << c.length);
    std::vector<std::byte> buffer(c.length + 1);
    // One byte in, so the buffer address is odd as well.
    const auto got = volume.read_some_at(c.offset, std::span(buffer).subspan(1));
    const size_t expected = static_cast<size_t>(std::min<uint64_t>(c.length, size - c.offset));
    ASSERT_EQ(got, std::optional<size_t>(expected));
    EXPECT_TRUE(std::equal(buffer.begin() + 1, buffer.begin() + 1 + static_cast<std::ptrdiff_t>(expected),
                           truth.begin() + static_cast<std::ptrdiff_t>(c.offset)));
  }
  std::vector<std::byte> beyond(16);
  EXPECT_EQ(volume.read_some_at(size, beyond), std::optional<size_t>(0));
  EXPECT_FALSE(volume.read_at(size - 8, beyond)) << "a read that cannot be completed fails";
}

TEST(WinRawVolume, ImageFileReadsAtAnyOffset) {
  const std::string file = testing::TempPath("raw-volume-file.img");
  testing::SampleVolume().save(file);
  RawVolume volume;
  ASSERT_TRUE(volume.open(text::from_utf8(file)));
  ExpectReadsMatch(volume, Bytes(file));
}

// Drive X of the Wine prefix reads the sample volume (see
// GleanerDll.QuickScanOfARawVolume).
TEST(WinRawVolume, DeviceReadsAtAnyOffset) {
  if (!testing::RawVolumeImage()) GTEST_SKIP() << "no raw volume: SALVOR_RAW_VOLUME_IMAGE is not set";
  RawVolume volume;
  ASSERT_TRUE(volume.open(u"\\\\.\\X:"));
  ExpectReadsMatch(volume, testing::SampleVolume().image());
}

}  // namespace
}  // namespace salvor::platform
