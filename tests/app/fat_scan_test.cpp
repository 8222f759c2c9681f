// The program's FAT Quick Scan with the real engine library: a deleted
// FAT32 folder whose entry lost the high half of its cluster is still
// entered, through the engine's search for its directory.
#include <gtest/gtest.h>

#include <string>

#include "app/core/fat_scan.h"
#include "common/text.h"
#include "tests/fixtures/fat_image_builder.h"
#include "tests/fixtures/temp_files.h"

namespace salvor {
namespace {

using testing::DirectoryWriter;
using testing::DotEntry;
using testing::Fat32ImageBuilder;
using testing::ShortEntry;

bool Listed(const std::vector<_FileInfoFat>& items, std::u16string_view path) {
  for (const auto& item : items) {
    if (item.FullPath.view() == path) return true;
  }
  return false;
}

TEST(FatQuickScanDescent, DeletedFolderAboveCluster65535IsFound) {
  testing::Fat32Options options;
  options.cluster_count = 70000;
  Fat32ImageBuilder image(options);
  // The deleted folder's directory is at 65541; its entry says 5, and
  // cluster 5 holds no directory.
  const uint32_t real_cluster = 5 + 0x10000;
  DirectoryWriter(image, 2)
      .add(testing::Deleted(ShortEntry("OLDDIR     ", 0x10, 5)))
      .add(ShortEntry("LIVE       ", 0x10, 7));
  image.chain({7});
  DirectoryWriter(image, 7).add(DotEntry(false, 7)).add(DotEntry(true, 0)).add(ShortEntry("KEPT    TXT", 0x20, 0));
  DirectoryWriter(image, real_cluster)
      .add(DotEntry(false, real_cluster))
      .add(DotEntry(true, 0))
      .add(ShortEntry("INNER   TXT", 0x20, 900, 10));
  const std::string path = testing::TempPath("descent.img");
  image.save(path);

  app::EngineBinding engine;
  ASSERT_TRUE(engine.bind());
  ASSERT_TRUE(engine.ReMountImage && engine.ReIsDirectory32);
  ASSERT_TRUE(engine.ReMountImage(u'W', text::from_utf8(path).c_str()));

  app::FatQuickScan scan(engine, u"FAT32", kVolumeFat32, u"W:\\");
  scan.volume_size_bytes = image.image().size();
  ASSERT_TRUE(scan.run());
  EXPECT_TRUE(Listed(scan.all_items(), u"W:\\\\LIVE\\KEPT.TXT"));
  EXPECT_TRUE(Listed(scan.all_items(), u"W:\\\\_LDDIR\\INNER.TXT"));
  EXPECT_TRUE(Listed(scan.deleted_items(), u"W:\\\\_LDDIR"));

  // Without the volume's size the search has nowhere to look.
  app::FatQuickScan unsized(engine, u"FAT32", kVolumeFat32, u"W:\\");
  ASSERT_TRUE(unsized.run());
  EXPECT_FALSE(Listed(unsized.all_items(), u"W:\\\\_LDDIR\\INNER.TXT"));
  // FAT16 entries never lose half of their cluster: no search.
  app::FatQuickScan fat16_named(engine, u"FAT", kVolumeFat32, u"W:\\");
  fat16_named.volume_size_bytes = image.image().size();
  ASSERT_TRUE(fat16_named.run());
  EXPECT_FALSE(Listed(fat16_named.all_items(), u"W:\\\\_LDDIR\\INNER.TXT"));
}

}  // namespace
}  // namespace salvor
