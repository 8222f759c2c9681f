// What the program tells around a recovery: the room a selection needs on
// the destination, the time left, and the files that did not come back.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/core/recovery_report.h"

namespace salvor::app {
namespace {

const FoundItem* Stored(FoundItems& store, std::u16string_view path, uint64_t size, int type = kEntryFile) {
  FoundItem item;
  item.type = type;
  item.state = kDeleted;
  item.size = size;
  return &store.Add(item, path);
}

TEST(RecoverySpace, EachFileOnceInWholeClustersFoldersLeftOut) {
  FoundItems store;
  const FoundItem* small = Stored(store, u"E:\\a.txt", 1);
  const FoundItem* exact = Stored(store, u"E:\\b.bin", 8192);
  const FoundItem* empty = Stored(store, u"E:\\empty.dat", 0);
  const FoundItem* folder = Stored(store, u"E:\\Docs", 4096, kEntryFolder);
  // A checked node and a checked row give the same item twice.
  const std::vector<const FoundItem*> selection{small, exact, small, empty, folder, nullptr};
  EXPECT_EQ(SpaceNeeded(selection, 4096), 4096u + 8192u);
  EXPECT_EQ(SpaceNeeded(selection, 0), 1u + 8192u);

  // Sizes read from a damaged volume do not wrap the sum round.
  const FoundItem* huge = Stored(store, u"E:\\huge.bin", UINT64_MAX - 10);
  EXPECT_EQ(SpaceNeeded({huge, exact}, 4096), UINT64_MAX);
  EXPECT_FALSE(CheckSpace(SpaceNeeded({huge}, 4096), UINT64_MAX - 1).enough);
}

TEST(RecoverySpace, TheUserIsToldWhatIsFreeAndWhatIsNeeded) {
  EXPECT_TRUE(CheckSpace(4096, 4096).enough);
  EXPECT_TRUE(CheckSpace(4096, 4096).text.empty());
  const SpaceCheck full = CheckSpace(3 * 1048576, 1048576);
  EXPECT_FALSE(full.enough);
  EXPECT_NE(full.text.find(u"1.00 MB free"), std::u16string::npos);
  EXPECT_NE(full.text.find(u"need 3.00 MB"), std::u16string::npos);
}

TEST(RecoveryProgressTexts, TimeLeftAndBytesWritten) {
  EXPECT_EQ(TimeLeftText(-1), u"");
  EXPECT_EQ(TimeLeftText(0.2), u"0:00 left");
  EXPECT_EQ(TimeLeftText(65), u"1:05 left");
  EXPECT_EQ(TimeLeftText(3723), u"1:02:03 left");
  EXPECT_EQ(BytesOfText(0, 3 * 1048576), u"0 B of 3.00 MB");
  EXPECT_EQ(BytesOfText(1536, 2048), u"1.50 KB of 2.00 KB");
}

TEST(RecoveryFailures, FailedAndCutShortFilesAreListedWithTheirReason) {
  std::vector<RecoveryResult> results(4);
  results[0] = {u"Docs/a.txt", u"/d/Docs/a.txt", 10, 10, 4096, true, u"", 0, false, false};
  results[1] = {u"Docs/b.txt", u"/d/Docs/b.txt", 10, 0, 0, false, u"cluster 7 lies beyond the volume", 0, false, false};
  results[2] = {u"c.bin", u"/d/c.bin", 100, 40, 4096, true, u"the volume ends", 0, false, false};
  results[3] = {u"d.bin", u"/d/d.bin", 5, 0, 0, false, u"", 0, false, false};
  const std::vector<FailedFile> failed = FailedFiles(results);
  ASSERT_EQ(failed.size(), 3u);
  EXPECT_EQ(failed[0].relative, u"Docs\\b.txt");
  EXPECT_EQ(failed[0].reason, u"cluster 7 lies beyond the volume");
  EXPECT_EQ(failed[1].reason, u"cut short: 40 of 100 bytes (the volume ends)");
  EXPECT_EQ(failed[2].reason, u"not recovered");
}

TEST(RecoveryFailures, TheStatusLineCountsWhatDidNotComeBack) {
  EXPECT_EQ(RecoveryStatusText({true, u"", 9, 9, 0}), kAllRecoveredText);
  // A run that went through yet lost files does not say all came back.
  EXPECT_EQ(RecoveryStatusText({true, u"", 9, 6, 3}), u"3 of 9 files selected could not be recovered whole.");
  EXPECT_EQ(RecoveryStatusText({false, u"", 9, 3, 0}), u"Recovery stopped: 3 of 9 files recovered.");
  EXPECT_EQ(RecoveryStatusText({false, u"Disk full (writing a.txt)", 9, 3, 1}),
            u"Recovery stopped: 3 of 9 files recovered, 1 failed. Disk full (writing a.txt).");
}

}  // namespace
}  // namespace salvor::app
