// The exFAT scanner against real volumes that mkfs.exfat and exfat-fuse make
// at test time (tests/fixtures/make_exfat_image.sh), with small and large
// clusters: the quick scan finds what the fixture wrote and deleted, files
// come back byte for byte, and the unformat sweep of a quick-formatted copy
// finds the old files again. Skipped where loop devices or FUSE are missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/gleaner.h"
#include "engine/volume_access.h"
#include "tests/fixtures/script_volume.h"

namespace salvor {
namespace {

struct ManifestItem {
  bool folder = false;
  std::string path;  // "/"-separated, relative to the root
  bool deleted = false;
  uint64_t size = 0;
  std::string sha256;
  bool fragmented = false;
  bool intact = true;

  std::string name() const { return path.substr(path.rfind('/') + 1); }
  bool in_root() const { return path.find('/') == std::string::npos; }
};

struct Fixture : testing::ScriptVolume {
  std::vector<ManifestItem> items;
};

// Manifest rows: kind, path, deleted, size, sha256, fragmented, intact.
std::vector<ManifestItem> ManifestItems(const std::vector<std::vector<std::string>>& rows) {
  std::vector<ManifestItem> items;
  for (const auto& fields : rows) {
    if (fields.size() != 7) continue;
    ManifestItem item;
    item.folder = fields[0] == "folder";
    item.path = fields[1];
    item.deleted = fields[2] == "1";
    item.size = std::stoull(fields[3]);
    item.sha256 = fields[4];
    item.fragmented = fields[5] == "1";
    item.intact = fields[6] == "1";
    items.push_back(item);
  }
  return items;
}

// Builds the images for one set of mkfs.exfat options, once per process.
const Fixture& GetFixture(const std::string& mkfs_options) {
  static std::map<std::string, Fixture> fixtures;
  auto found = fixtures.find(mkfs_options);
  if (found != fixtures.end()) return found->second;
  Fixture& f = fixtures[mkfs_options];
  static_cast<testing::ScriptVolume&>(f) = testing::MakeScriptVolume(SALVOR_EXFAT_FIXTURE, mkfs_options);
  f.items = ManifestItems(f.manifest_rows);
  return f;
}

// "E:\\Docs\\a.txt" (as the engine joins paths) -> "Docs/a.txt".
std::string RelativePath(std::u16string_view full_path) {
  std::string out;
  bool drive_skipped = false;
  size_t start = 0;
  while (start <= full_path.size()) {
    size_t end = full_path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = full_path.size();
    const std::u16string_view part = full_path.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    if (!drive_skipped && part.size() == 2 && part[1] == u':') {
      drive_skipped = true;
      continue;
    }
    drive_skipped = true;
    if (!out.empty()) out += '/';
    out += text::to_utf8(part);
  }
  return out;
}

// The quick scan as the program runs it: every folder record is entered
// from inside the callback (exFAT folders always), except one that is
// already being scanned.
struct QuickScan {
  engine::CGleaner* engine = nullptr;
  std::vector<_FileInfoFat> records;
  std::vector<uint32_t> open_folders;

  static uint32_t OnItem(_FileInfoFat record, void* user) {
    auto* self = static_cast<QuickScan*>(user);
    const uint32_t cluster = record.FirstCluster;
    if (record.EntryType == kEntryFolder &&
        std::find(self->open_folders.begin(), self->open_folders.end(), cluster) == self->open_folders.end()) {
      self->open_folders.push_back(cluster);
      self->engine->SearchCluster(record.FullPath, nullptr, cluster, nullptr, &QuickScan::OnItem, self);
      self->open_folders.pop_back();
    }
    self->records.push_back(record);
    return 1;
  }
};

uint32_t CollectRecord(_FileInfoFat record, void* user) {
  static_cast<std::vector<_FileInfoFat>*>(user)->push_back(record);
  return 1;
}

class ExFatRealVolume : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    fixture_ = &GetFixture(GetParam());
    if (fixture_->skipped) GTEST_SKIP() << "loop devices, FUSE or exFAT tools are not available";
    ASSERT_TRUE(fixture_->failure.empty()) << fixture_->failure;
    ASSERT_FALSE(fixture_->items.empty());
  }

  // Recovers into a new file and returns its SHA-256 ("" when it failed).
  std::string RecoverSha(uint32_t first_cluster, uint64_t size) {
    const std::string out = fixture_->dir + "/out-" + std::to_string(counter_++);
    if (!engine_.FatRecoverData(text::from_utf8(out).c_str(), first_cluster, size, nullptr, nullptr)) return {};
    return testing::Sha256OfFile(out);
  }

  const Fixture* fixture_ = nullptr;
  engine::CGleaner engine_;
  int counter_ = 0;
};

TEST_P(ExFatRealVolume, QuickScanFindsAndRecoversWhatWasWritten) {
  engine::MountImage(u'E', text::from_utf8(fixture_->image));
  ASSERT_TRUE(engine_.InitEngine(kVolumeExFat, u"E:\\"));
  QuickScan scan;
  scan.engine = &engine_;
  ASSERT_TRUE(engine_.ScanFatDisk(&QuickScan::OnItem, &scan, 0, nullptr));

  std::map<std::string, _FileInfoFat> by_path;
  for (const auto& record : scan.records) {
    EXPECT_TRUE(by_path.emplace(RelativePath(record.FullPath.view()), record).second)
        << "reported twice: " << text::to_utf8(record.FullPath.view());
  }
  EXPECT_EQ(by_path.size(), fixture_->items.size());

  int recovered_deleted = 0;
  int recovered_fragmented = 0;
  for (const ManifestItem& item : fixture_->items) {
    SCOPED_TRACE(item.path);
    const auto found = by_path.find(item.path);
    ASSERT_NE(found, by_path.end()) << "not found by the quick scan";
    const _FileInfoFat& record = found->second;
    EXPECT_EQ(+record.DeleteState, item.deleted ? kDeleted : kPresent);
    EXPECT_EQ(+record.EntryType, item.folder ? kEntryFolder : kEntryFile);
    EXPECT_EQ(+record.ParentFolder, 0u);
    EXPECT_EQ(+record.Folder, 0u);
    if (item.folder) continue;
    EXPECT_EQ(+record.FileSize, item.size);

    const std::string sha = RecoverSha(record.FirstCluster, record.FileSize);
    if (!item.deleted || (!item.fragmented && item.intact)) {
      EXPECT_EQ(sha, item.sha256) << "not recovered byte for byte";
      recovered_deleted += item.deleted;
      recovered_fragmented += item.fragmented;
    } else if (item.fragmented) {
      // A deleted fragmented file comes back as the clusters after its
      // first: proof that the fixture really fragmented it.
      EXPECT_NE(sha, item.sha256);
    }
  }
  EXPECT_GT(recovered_deleted, 5);
  EXPECT_GE(recovered_fragmented, 1);
}

TEST_P(ExFatRealVolume, UnformatSweepFindsTheOldFiles) {
  engine::MountImage(u'F', text::from_utf8(fixture_->formatted));
  ASSERT_TRUE(engine_.InitEngine(kVolumeExFat, u"F:\\"));
  // The formatted copy's new root has nothing of the old one.
  std::vector<_FileInfoFat> root;
  ASSERT_TRUE(engine_.ScanFatDisk(&CollectRecord, &root, 0, nullptr));
  EXPECT_TRUE(root.empty());

  std::ifstream image(fixture_->formatted, std::ios::binary | std::ios::ate);
  const uint64_t size = static_cast<uint64_t>(image.tellg());
  std::vector<_FileInfoFat> records;
  ASSERT_TRUE(engine_.ScanFatFormatDisk(size, &CollectRecord, &records));

  // The old root directory's cluster was written over by the new one; every
  // item below a folder lay in a cluster that is free again.
  int recovered = 0;
  for (const ManifestItem& item : fixture_->items) {
    if (item.in_root()) continue;
    SCOPED_TRACE(item.path);
    std::vector<const _FileInfoFat*> named;
    for (const auto& record : records) {
      if (text::to_utf8(record.FullPath.view()) == item.name() &&
          record.EntryType == (item.folder ? kEntryFolder : kEntryFile) &&
          (item.folder || record.FileSize == item.size)) {
        named.push_back(&record);
      }
    }
    ASSERT_EQ(named.size(), 1u) << "not found (or found more than once) by the sweep";
    EXPECT_EQ(+named[0]->DeleteState, item.deleted ? kDeleted : kPresent);
    EXPECT_EQ(+named[0]->ParentFolder, 0u);
    EXPECT_NE(+named[0]->Folder, 0u);
    if (item.folder || item.fragmented || !item.intact) continue;
    EXPECT_EQ(RecoverSha(named[0]->FirstCluster, named[0]->FileSize), item.sha256) << "not recovered byte for byte";
    ++recovered;
  }
  EXPECT_GT(recovered, 40);
}

INSTANTIATE_TEST_SUITE_P(Clusters, ExFatRealVolume, ::testing::Values("-c 4K", "-c 128K"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param == "-c 4K" ? std::string("Cluster4K") : std::string("Cluster128K");
                         });

}  // namespace
}  // namespace salvor
