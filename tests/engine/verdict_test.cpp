// Recoverability verdicts over small images built in code: which clusters a
// deleted file's recovery would read, and how many of them the FAT or the
// exFAT allocation bitmap gives to something else now.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "engine/gleaner.h"
#include "engine/recovery/verdict.h"
#include "engine/volume_access.h"
#include "tests/fixtures/exfat_image_builder.h"
#include "tests/fixtures/fat_image_builder.h"
#include "tests/fixtures/temp_files.h"

namespace salvor {
namespace {

using engine::CGleaner;
using engine::recovery::BlockCache;
using engine::recovery::CountSetBits;
using engine::recovery::VerdictTally;

TEST(VerdictTally, FirstClusterAndShareDecide) {
  struct Case {
    const char* what;
    std::vector<std::vector<uint64_t>> runs;  // {count, claimed, first claimed}
    uint32_t verdict;
  };
  const Case cases[] = {
      {"nothing to read (empty, or held in its record)", {}, kVerdictIntact},
      {"every cluster free", {{8, 0, 0}, {4, 0, 0}}, kVerdictIntact},
      {"a later cluster taken", {{8, 1, 0}}, kVerdictPartlyOverwritten},
      {"a later run taken, first of it included", {{8, 0, 0}, {4, 4, 1}}, kVerdictPartlyOverwritten},
      {"the first cluster taken", {{8, 1, 1}}, kVerdictOverwritten},
      {"every cluster taken", {{2, 2, 0}, {3, 3, 1}}, kVerdictOverwritten},
      {"empty runs do not count as the first", {{0, 0, 1}, {4, 0, 0}}, kVerdictIntact},
  };
  for (const Case& c : cases) {
    VerdictTally tally;
    for (const auto& run : c.runs) tally.add_run(run[0], run[1], run[2] != 0);
    EXPECT_EQ(tally.verdict(), c.verdict) << c.what;
  }
}

TEST(CountSetBits, RaggedEdgesBlocksAndTheEnd) {
  std::vector<std::byte> bits(3 * BlockCache::kBlockBytes + 100, std::byte{0});
  // Bits 3..12, the last bit of the first block and the first of the
  // second, and the last bit of the table.
  bits[0] = std::byte{0xF8};
  bits[1] = std::byte{0x1F};
  bits[BlockCache::kBlockBytes - 1] = std::byte{0x80};
  bits[BlockCache::kBlockBytes] = std::byte{0x01};
  bits.back() = std::byte{0x80};
  EXPECT_EQ(CountSetBits(bits, 0, 16), 10u);
  EXPECT_EQ(CountSetBits(bits, 4, 5), 5u);
  EXPECT_EQ(CountSetBits(bits, 13, 3), 0u);
  EXPECT_EQ(CountSetBits(bits, bits.size() * 8 - 1, 1000), 1u) << "bits past the end count as clear";
  EXPECT_EQ(CountSetBits(bits, bits.size() * 8, 10), 0u);

  int reads = 0;
  BlockCache cache(bits.size(), [&](uint64_t offset, MutableBytes out) {
    ++reads;
    std::copy_n(bits.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
  });
  EXPECT_EQ(CountSetBits(cache, 0, bits.size() * 8), 13u);
  EXPECT_EQ(CountSetBits(cache, BlockCache::kBlockBytes * 8 - 1, 2), 2u) << "across a block boundary";
  EXPECT_EQ(reads, 4) << "each block read once";

  BlockCache failing(bits.size(), [](uint64_t, MutableBytes) { return false; });
  EXPECT_FALSE(CountSetBits(failing, 0, 8).has_value());
}

std::vector<std::byte> Pattern(size_t size) {
  std::vector<std::byte> data(size);
  for (size_t i = 0; i < size; ++i) data[i] = std::byte(i * 7 + 1);
  return data;
}

class VerdictEngine : public ::testing::Test {
 protected:
  template <typename Builder>
  bool Open(const Builder& image, int kind) {
    const std::string path = testing::TempPath("verdict-" + std::to_string(counter_++) + ".img");
    image.save(path);
    engine::MountImage(u'V', text::from_utf8(path));
    return engine_.InitEngine(kind, u"V:\\");
  }
  // The verdict, or -1 when the engine could not tell.
  int Judge(uint64_t cluster, uint64_t size) {
    ReRecoverItemRequest request;
    request.Method = kReRecoverFatCluster;
    request.Position = cluster;
    request.FileSize = size;
    uint32_t verdict = 99;
    const bool told = engine_.JudgeItem(request, &verdict);
    EXPECT_EQ(told, verdict != kVerdictUnknown);
    return told ? static_cast<int>(verdict) : -1;
  }

  CGleaner engine_;
  int counter_ = 0;
};

TEST_F(VerdictEngine, Fat32DeletedFilesAgainstTheFat) {
  testing::Fat32Options options;
  options.sectors_per_cluster = 8;  // 4 KiB clusters
  options.cluster_count = 256;
  testing::Fat32ImageBuilder image(options);
  const uint32_t cluster = image.cluster_size();
  image.chain({40, 41});        // a present file over 40..41
  image.set_fat(60, 0x0FFFFFF7);  // a bad cluster
  image.set_fat(70, 0xF0000000);  // the reserved top bits alone: free
  ASSERT_TRUE(Open(image, kVolumeFat32));

  struct Case {
    const char* what;
    uint64_t first, size;
    int verdict;
  };
  const Case cases[] = {
      {"free clusters", 10, 5 * cluster, kVerdictIntact},
      {"an empty file", 0, 0, kVerdictIntact},
      {"runs into the present file", 37, 4 * cluster + 1, kVerdictPartlyOverwritten},
      {"starts in the present file", 41, 3 * cluster, kVerdictOverwritten},
      {"wholly inside it", 40, 2 * cluster, kVerdictOverwritten},
      {"over a bad cluster", 58, 3 * cluster, kVerdictPartlyOverwritten},
      {"high FAT32 bits are not an allocation", 70, cluster, kVerdictIntact},
      {"no data cluster", 1, cluster, -1},
      {"past the end of the volume", 5000, cluster, -1},
      {"a size past the end is judged up to the end", 250, 4000u * cluster, kVerdictIntact},
  };
  for (const Case& c : cases) EXPECT_EQ(Judge(c.first, c.size), c.verdict) << c.what;
}

TEST_F(VerdictEngine, ExFatAgainstTheBitmapAlongWhatRecoveryReads) {
  testing::ExFatImageBuilder image;
  const uint32_t cluster = image.cluster_size();
  const uint32_t base = image.first_free_cluster() + 10;
  image.set_allocated(base + 3);  // taken by a later file
  // A deleted fragmented file whose chain stayed: base+20, base+30, base+40.
  image.chain({base + 20, base + 30, base + 40});
  image.set_allocated(base + 21);  // next to the chain, not on it
  // Another whose chain stayed, with one cluster of it taken since.
  image.chain({base + 50, base + 60});
  image.set_allocated(base + 60);
  const auto data = Pattern(3 * cluster);
  image.put_bytes(image.cluster_offset(base + 20), data.data(), cluster);
  ASSERT_TRUE(Open(image, kVolumeExFat));

  EXPECT_EQ(Judge(base, 3 * cluster), kVerdictIntact) << "a free run";
  EXPECT_EQ(Judge(base, 5 * cluster), kVerdictPartlyOverwritten) << "a run over a taken cluster";
  EXPECT_EQ(Judge(base + 3, cluster), kVerdictOverwritten) << "its first cluster taken";
  EXPECT_EQ(Judge(base + 20, 3 * cluster), kVerdictIntact) << "along its chain, not the clusters after it";
  EXPECT_EQ(Judge(base + 50, 2 * cluster), kVerdictPartlyOverwritten) << "a chain cluster taken";
  EXPECT_EQ(Judge(1, cluster), -1) << "no cluster of the heap";
}

}  // namespace
}  // namespace salvor
