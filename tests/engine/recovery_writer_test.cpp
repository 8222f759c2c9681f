// The recovery writer between a volume and a destination that counts what
// it is given: batches, holes, the stop request within a file, a
// destination that fills up, the run's budget, and a hostile FAT volume
// whose entries all claim the whole volume.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/text.h"
#include "engine/gleaner.h"
#include "engine/recovery/recovery_writer.h"
#include "engine/volume_access.h"
#include "tests/fixtures/fake_destination.h"
#include "tests/fixtures/fat_image_builder.h"
#include "tests/fixtures/temp_files.h"

namespace salvor::engine::recovery {
namespace {

constexpr uint64_t kMiB = 1 << 20;

class WriterTest : public ::testing::Test {
 protected:
  // A volume of `bytes` that reads as a counting pattern at its start.
  void MakeVolume(uint64_t bytes) {
    path_ = testing::TempPath("writer-volume.img");
    std::ofstream(path_, std::ios::binary | std::ios::trunc).close();
    std::filesystem::resize_file(path_, bytes);
    ASSERT_TRUE(volume_.open(text::from_utf8(path_)));
  }
  FileRequest Request(uint64_t size) {
    FileRequest request;
    request.name = u"out.bin";
    request.size_bytes = size;
    request.data_bytes_at_most = size;
    return request;
  }

  std::string path_;
  platform::RawVolume volume_;
};

TEST_F(WriterTest, ZeroRangesStayHolesAndNothingPassesTheSize) {
  MakeVolume(64 * 1024);
  testing::FakeDestination destination(UINT64_MAX);
  RecoveryWriter writer(destination, nullptr);
  ExtentList extents;
  extents.add_volume(0, 4096);
  extents.add_zeros(uint64_t{1} << 40);  // a sparse run far larger than the file
  extents.add_volume(4096, 4096);
  FileRequest request = Request((uint64_t{1} << 30) + 6000);
  request.data_bytes_at_most = 8192;
  const FileOutcome outcome = writer.write(volume_, extents, request);
  EXPECT_EQ(outcome.status, FileStatus::kWritten) << text::to_utf8(outcome.message);
  const auto& file = destination.files().at(u"out.bin");
  EXPECT_EQ(file.data_bytes, 4096u) << "the zeros are a hole; nothing past the size is written";
  EXPECT_EQ(file.size, (uint64_t{1} << 30) + 6000);
  EXPECT_TRUE(destination.broken().empty()) << destination.broken();
}

TEST_F(WriterTest, StopActsWithinALargeFileAndRemovesIt) {
  MakeVolume(80 * kMiB);
  testing::FakeDestination destination(UINT64_MAX);
  int asked = 0;
  RecoveryWriter writer(destination, [&] { return ++asked == 3; });  // after the first batch
  ExtentList extents;
  extents.add_volume(0, 80 * kMiB);
  const FileOutcome outcome = writer.write(volume_, extents, Request(80 * kMiB));
  EXPECT_EQ(outcome.status, FileStatus::kStopped);
  EXPECT_TRUE(outcome.ends_run());
  EXPECT_TRUE(destination.files().at(u"out.bin").discarded);
  EXPECT_LT(destination.written(), 80 * kMiB);
}

TEST_F(WriterTest, AFullDestinationEndsTheRunAndRemovesOnlyThePartialFile) {
  MakeVolume(80 * kMiB);
  testing::FakeDestination destination(UINT64_MAX, /*full_after=*/40 * kMiB);
  RecoveryWriter writer(destination, nullptr);
  ExtentList small;
  small.add_volume(0, kMiB);
  ASSERT_EQ(writer.write(volume_, small, Request(kMiB)).status, FileStatus::kWritten);
  ExtentList large;
  large.add_volume(0, 80 * kMiB);
  FileRequest request = Request(80 * kMiB);
  request.name = u"large.bin";
  const FileOutcome outcome = writer.write(volume_, large, request);
  EXPECT_EQ(outcome.status, FileStatus::kDestinationFailed);
  EXPECT_EQ(outcome.message, u"No space left on device");
  EXPECT_TRUE(outcome.ends_run());
  EXPECT_TRUE(destination.files().at(u"large.bin").discarded);
  EXPECT_FALSE(destination.files().at(u"out.bin").discarded) << "what was written stays";
}

TEST_F(WriterTest, AFileThatDoesNotFitIsNotStarted) {
  MakeVolume(4 * kMiB);
  testing::FakeDestination destination(kMiB);
  RecoveryWriter writer(destination, nullptr);
  ExtentList extents;
  extents.add_volume(0, 2 * kMiB);
  const FileOutcome outcome = writer.write(volume_, extents, Request(2 * kMiB));
  EXPECT_EQ(outcome.status, FileStatus::kNoRoom);
  EXPECT_EQ(outcome.message, u"the next file needs 2097152 bytes and the destination has 1048576 bytes free");
  EXPECT_TRUE(destination.files().empty());
}

// Forty deleted entries at cluster 2, each 0xFFFFFFF0 bytes long, on an
// 8 MiB volume: each is cut at the volume's end and reported damaged, and
// the run writes no more than 4 times the volume.
TEST(HostileFatRecovery, EntriesClaimingTheWholeVolumeCannotFloodTheDestination) {
  testing::Fat32Options options;
  options.cluster_count = 16384;  // 512-byte clusters: 8 MiB
  testing::Fat32ImageBuilder image(options);
  const std::string path = testing::TempPath("hostile-forty.img");
  image.save(path);
  const uint64_t volume_bytes = std::filesystem::file_size(path);
  ASSERT_TRUE(MountImage(u'W', text::from_utf8(path)));
  CGleaner engine;
  ASSERT_TRUE(engine.InitEngine(kVolumeFat32, u"W:\\"));
  auto fake = std::make_unique<testing::FakeDestination>(UINT64_MAX);
  testing::FakeDestination& destination = *fake;
  engine.BeginRecoveryInto(std::move(fake), nullptr);
  int written = 0, refused = 0;
  for (int i = 0; i < 40; ++i) {
    const std::u16string name = u"F" + text::from_utf8(std::to_string(i)) + u".BIN";
    ReRecoverItemRequest request;
    request.Method = kReRecoverFatCluster;
    request.Position = 2;
    request.FileSize = 0xFFFFFFF0;
    request.RelativePath = name.c_str();
    ReRecoverItemResult result;
    const bool kept = engine.RecoverItem(request, &result);
    if (kept) {
      ++written;
      EXPECT_EQ(result.Status, kReRecoverTruncated);
      EXPECT_LT(result.BytesWritten, volume_bytes);
    } else {
      ++refused;
      EXPECT_EQ(result.Status, kReRecoverNoRoom);
    }
  }
  // The session owns the destination and ends it with the run.
  EXPECT_LE(destination.written(), 4 * volume_bytes);
  EXPECT_TRUE(destination.broken().empty()) << destination.broken();
  EXPECT_TRUE(engine.EndRecovery(nullptr));
  EXPECT_EQ(written, 4);
  EXPECT_EQ(refused, 36);
}

}  // namespace
}  // namespace salvor::engine::recovery
