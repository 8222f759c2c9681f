// The program's FAT Quick Scan with the real engine library: a deleted
// FAT32 folder whose entry lost the high half of its cluster is still
// entered, through the engine's search for its directory; folders are
// stored after their contents; damaged sizes are marked; nesting far deeper
// than any stack is walked.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <pthread.h>
#endif

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "app/core/fat_scan.h"
#include "app/core/found_item.h"
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

class FatQuickScanOnImage : public ::testing::Test {
 protected:
  // Mounts `image` under W: and scans it as FAT32.
  app::FatQuickScan& Scan(Fat32ImageBuilder& image, const std::string& name) {
    const std::string path = testing::TempPath(name);
    image.save(path);
    EXPECT_TRUE(engine_.bind());
    EXPECT_TRUE(engine_.ReMountImage && engine_.ReMountImage(u'W', text::from_utf8(path).c_str()));
    scan_ = std::make_unique<app::FatQuickScan>(engine_, u"FAT32", kVolumeFat32, u"W:\\");
    scan_->volume_size_bytes = image.image().size();
    EXPECT_TRUE(scan_->run());
    return *scan_;
  }

  app::EngineBinding engine_;
  std::unique_ptr<app::FatQuickScan> scan_;
};

// Entries are stored after the contents of the folders they name, in the
// order the engine reports them.
TEST_F(FatQuickScanOnImage, FoldersAreStoredAfterTheirContents) {
  Fat32ImageBuilder image;
  DirectoryWriter(image, 2).add(ShortEntry("A          ", 0x10, 3)).add(ShortEntry("R1      TXT", 0x20, 0));
  image.chain({3});
  DirectoryWriter(image, 3)
      .add(DotEntry(false, 3))
      .add(DotEntry(true, 0))
      .add(ShortEntry("A1      TXT", 0x20, 0))
      .add(ShortEntry("B          ", 0x10, 4));
  image.chain({4});
  DirectoryWriter(image, 4).add(DotEntry(false, 4)).add(DotEntry(true, 3)).add(ShortEntry("B1      TXT", 0x20, 0));
  auto& scan = Scan(image, "order.img");
  std::vector<std::u16string> paths;
  for (const auto& item : scan.all_items()) paths.push_back(item.FullPath.str());
  EXPECT_EQ(paths, (std::vector<std::u16string>{u"W:\\\\A\\A1.TXT", u"W:\\\\A\\B\\B1.TXT",
                                                 u"W:\\\\A\\B", u"W:\\\\A", u"W:\\\\R1.TXT"}));
}

// A file whose size runs past the volume's end (2050 clusters of 512 bytes)
// is marked damaged, in the engine's record and in the found item.
TEST_F(FatQuickScanOnImage, FilesLargerThanTheRestOfTheVolumeAreDamaged) {
  Fat32ImageBuilder image;
  DirectoryWriter(image, 2)
      .add(ShortEntry("FITS    BIN", 0x20, 2048, 1024))
      .add(ShortEntry("OVER    BIN", 0x20, 2048, 1025))
      .add(testing::Deleted(ShortEntry("HUGE    BIN", 0x20, 2, 0xFFFFFFF0)))
      .add(ShortEntry("NOWHERE BIN", 0x20, 0, 1))
      .add(ShortEntry("EMPTY   TXT", 0x20, 0, 0))
      .add(ShortEntry("DIR        ", 0x10, 3));
  image.chain({3});
  DirectoryWriter(image, 3).add(DotEntry(false, 3)).add(DotEntry(true, 0));
  auto& scan = Scan(image, "damaged.img");
  std::map<std::u16string, bool> damaged;
  app::FoundItems store;
  for (const auto& item : scan.all_items()) {
    damaged[item.FullPath.str()] = (item.Reserved & kRecordDamaged) != 0;
    EXPECT_EQ(app::MakeFoundItem(store, item, u"FAT32").damaged, damaged[item.FullPath.str()]);
  }
  EXPECT_EQ(damaged, (std::map<std::u16string, bool>{{u"W:\\\\FITS.BIN", false},
                                                      {u"W:\\\\OVER.BIN", true},
                                                      {u"W:\\\\_UGE.BIN", true},
                                                      {u"W:\\\\NOWHERE.BIN", true},
                                                      {u"W:\\\\EMPTY.TXT", false},
                                                      {u"W:\\\\DIR", false}}));
}

// Runs `work` on a thread with a 1 MiB stack, as a Windows thread has.
void OnSmallStack(const std::function<void()>& work) {
#if defined(_WIN32)
  std::thread(work).join();  // 1 MiB is the default there
#else
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 1u << 20);
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
#endif
}

// 8000 nested one-cluster folders (a 4 MiB volume) on a 1 MiB stack: below
// a fixed depth folders are entered from a work list, so the stack does not
// grow with the nesting, and every level is still entered once.
TEST_F(FatQuickScanOnImage, EightThousandNestedFoldersAreAllEntered) {
  constexpr uint32_t kLevels = 8000;
  testing::Fat32Options options;
  options.cluster_count = kLevels + 100;
  Fat32ImageBuilder image(options);
  DirectoryWriter(image, 2).add(ShortEntry("A          ", 0x10, 3));
  for (uint32_t level = 1; level <= kLevels; ++level) {
    const uint32_t cluster = level + 2;
    image.chain({cluster});
    DirectoryWriter folder(image, cluster);
    folder.add(DotEntry(false, cluster)).add(DotEntry(true, level == 1 ? 0 : cluster - 1));
    if (level < kLevels) {
      folder.add(ShortEntry("A          ", 0x10, cluster + 1));
    } else {
      // The deepest folder names the first one again: entering it would
      // start over.
      folder.add(ShortEntry("DEEP    TXT", 0x20, 0, 5)).add(ShortEntry("LOOP       ", 0x10, 3));
    }
  }
  const std::string path = testing::TempPath("deep.img");
  image.save(path);
  ASSERT_TRUE(engine_.bind());
  ASSERT_TRUE(engine_.ReMountImage(u'W', text::from_utf8(path).c_str()));
  app::FatQuickScan scan(engine_, u"FAT32", kVolumeFat32, u"W:\\");
  bool ok = false;
  OnSmallStack([&] { ok = scan.run(); });
  ASSERT_TRUE(ok);

  std::set<std::u16string> paths;
  for (const auto& item : scan.all_items()) paths.insert(item.FullPath.str());
  EXPECT_EQ(paths.size(), scan.all_items().size()) << "a path listed twice";
  std::u16string folder = u"W:\\";
  for (uint32_t level = 1; level <= kLevels; ++level) {
    folder += u"\\A";
    ASSERT_TRUE(paths.count(folder)) << "level " << level << " missing";
  }
  EXPECT_TRUE(paths.count(folder + u"\\DEEP.TXT"));
  EXPECT_TRUE(paths.count(folder + u"\\LOOP"));
  EXPECT_EQ(scan.all_items().size(), kLevels + 2u) << "the loop back to level 1 was entered";
}

}  // namespace
}  // namespace salvor
