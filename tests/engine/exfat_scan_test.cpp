// The exFAT scanner over small images built in code: entry sets and names,
// sets at cluster ends, folder layouts, the unformat sweep with its bitmap,
// recovery of contiguous and chained data, and hostile volumes.
#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/exfat/exfat_directory.h"
#include "engine/exfat/exfat_geometry.h"
#include "engine/gleaner.h"
#include "engine/volume_access.h"
#include "tests/fixtures/exfat_image_builder.h"
#include "tests/fixtures/temp_files.h"

namespace salvor {
namespace {

using engine::CGleaner;
using testing::ExFatDeleted;
using testing::ExFatFileSet;
using testing::ExFatImageBuilder;
using testing::ExFatOptions;
using testing::ExFatSetOptions;

constexpr uint16_t kDir = testing::kExFatAttrDirectory;
constexpr uint8_t kChained = testing::kExFatAllocationPossible;  // NoFatChain clear

struct Found {
  std::string path;
  _FileInfoFat record;
};

uint32_t Collect(_FileInfoFat record, void* user) {
  static_cast<std::vector<Found>*>(user)->push_back({text::to_utf8(record.FullPath.view()), record});
  return 0;  // ignored by the engine
}

std::vector<uint64_t>* g_progress = nullptr;
uint32_t Progress(uint64_t left, void*) {
  if (g_progress) g_progress->push_back(left);
  return 1;
}

ExFatSetOptions File(uint32_t first_cluster, uint64_t size,
                     uint8_t flags = testing::kExFatAllocationPossible | testing::kExFatNoFatChain) {
  ExFatSetOptions o;
  o.first_cluster = first_cluster;
  o.data_length = size;
  o.flags = flags;
  return o;
}

ExFatSetOptions Folder(uint32_t first_cluster, uint64_t size,
                       uint8_t flags = testing::kExFatAllocationPossible | testing::kExFatNoFatChain) {
  ExFatSetOptions o = File(first_cluster, size, flags);
  o.attributes = kDir;
  return o;
}

class ExFatTest : public ::testing::Test {
 protected:
  bool Open(const ExFatImageBuilder& image) {
    image_path_ = testing::TempPath("exfat-" + std::to_string(counter_++) + ".img");
    image.save(image_path_);
    engine::MountImage(u'X', text::from_utf8(image_path_));
    return engine_.InitEngine(kVolumeExFat, u"X:\\");
  }
  std::vector<Found> ScanRoot() {
    std::vector<Found> found;
    result_ = engine_.ScanFatDisk(Collect, &found, 0, nullptr);
    return found;
  }
  std::vector<Found> ScanCluster(uint32_t cluster) {
    std::vector<Found> found;
    result_ = engine_.SearchCluster(RcWString(u"X:\\D"), nullptr, cluster, nullptr, Collect, &found);
    return found;
  }
  std::vector<Found> Sweep(uint64_t size) {
    std::vector<Found> found;
    result_ = engine_.ScanFatFormatDisk(size, Collect, &found);
    return found;
  }
  std::vector<std::byte> Recover(uint32_t first_cluster, uint64_t size) {
    out_path_ = testing::TempPath("exfat-out-" + std::to_string(counter_++));
    std::filesystem::remove(out_path_);  // an existing name would be kept and the output numbered
    recovered_ = engine_.FatRecoverData(text::from_utf8(out_path_).c_str(), first_cluster, size, Progress, nullptr);
    const std::string bytes = testing::ReadFileBytes(out_path_);
    return std::vector<std::byte>(reinterpret_cast<const std::byte*>(bytes.data()),
                                  reinterpret_cast<const std::byte*>(bytes.data()) + bytes.size());
  }
  static std::vector<std::string> Paths(const std::vector<Found>& found) {
    std::vector<std::string> paths;
    for (const auto& f : found) paths.push_back(f.path);
    std::sort(paths.begin(), paths.end());
    return paths;
  }
  static const Found* Find(const std::vector<Found>& found, const std::string& path) {
    for (const auto& f : found) {
      if (f.path == path) return &f;
    }
    return nullptr;
  }

  CGleaner engine_;
  std::string image_path_;
  std::string out_path_;
  bool result_ = false;
  bool recovered_ = false;
  int counter_ = 0;
};

// --- Entry sets and the quick scan ---

TEST_F(ExFatTest, EntrySetsBecomeRecords) {
  ExFatOptions options;
  options.sectors_per_cluster_shift = 3;  // room for every set in the root's one cluster
  ExFatImageBuilder image(options);
  const uint32_t r = image.root_cluster();
  ExFatSetOptions twenty = File(40, 5ull << 30);  // 64-bit size
  twenty.create_timestamp = testing::ExFatTimestamp(2011, 7, 4, 8, 9, 10);
  image.put_entries(r, 3, ExFatFileSet(u"ABCDEFGHIJKLMNOPQRST", twenty));  // 15 + 5 characters
  image.put_entries(r, 7, ExFatDeleted(ExFatFileSet(u"Gelöschte Datei.txt", File(50, 7))));
  image.put_entries(r, 11, ExFatFileSet(u"Folder", Folder(60, 512)));
  auto no_stream = ExFatFileSet(u"NoStream", File(70, 1));
  no_stream[1][0] = std::byte{0xC1};  // a name entry where the stream extension belongs
  image.put_entries(r, 14, no_stream);
  ASSERT_TRUE(Open(image));

  const auto found = ScanRoot();
  EXPECT_TRUE(result_);
  ASSERT_EQ(Paths(found),
            (std::vector<std::string>{"X:\\\\ABCDEFGHIJKLMNOPQRST", "X:\\\\Folder", "X:\\\\Gelöschte Datei.txt"}));
  const _FileInfoFat& a = Find(found, "X:\\\\ABCDEFGHIJKLMNOPQRST")->record;
  EXPECT_EQ(+a.DeleteState, kPresent);
  EXPECT_EQ(+a.EntryType, kEntryFile);
  EXPECT_EQ(+a.FirstCluster, 40u);
  EXPECT_EQ(+a.FileSize, 5ull << 30);
  EXPECT_EQ(+a.ParentFolder, 0u);
  EXPECT_EQ(+a.Folder, 0u);
  EXPECT_EQ(+a.Reserved, kRecordDamaged) << "5 GiB do not fit in the clusters from 40 to the volume's end";
  EXPECT_EQ(+Find(found, "X:\\\\Gelöschte Datei.txt")->record.Reserved, 0u) << "7 bytes fit";
  EXPECT_EQ(+a.Attributes, testing::kExFatAttrArchive);
  EXPECT_EQ(std::vector<int>({a.Year, a.Month, a.Day, a.Hour, a.Minute, a.Second}),
            std::vector<int>({2011, 7, 4, 8, 9, 10}));
  const _FileInfoFat& deleted = Find(found, "X:\\\\Gelöschte Datei.txt")->record;
  EXPECT_EQ(+deleted.DeleteState, kDeleted);
  EXPECT_EQ(+deleted.FileSize, 7u);
  EXPECT_EQ(+Find(found, "X:\\\\Folder")->record.EntryType, kEntryFolder);
}

TEST_F(ExFatTest, SetsAtTheEndOfAClusterRunOnIntoTheNext) {
  ExFatImageBuilder image;  // 512-byte clusters: 16 slots
  const uint32_t r = image.root_cluster();
  const uint32_t second = 30;
  const uint32_t third = 20;  // not consecutive: only the chain joins them
  image.chain({r, second, third});
  const auto across = ExFatFileSet(u"Across clusters.bin", File(40, 1));  // slots 14, 15 | 0, 1
  image.put_entries(r, 14, {across[0], across[1]});
  image.put_entries(second, 0, {across[2], across[3]});
  image.put_entries(second, 2, ExFatFileSet(u"In the second", File(41, 1)));
  // The directory's last cluster: a set in its last two slots has nothing
  // to run on into.
  image.put_entries(third, 11, ExFatFileSet(u"Whole", File(42, 1)));
  image.put_entry(third, 14, ExFatFileSet(u"Cut off", File(43, 1))[0]);
  image.put_entry(third, 15, ExFatFileSet(u"Cut off", File(43, 1))[1]);
  ASSERT_TRUE(Open(image));

  const auto found = ScanRoot();
  EXPECT_TRUE(result_);
  EXPECT_EQ(Paths(found),
            (std::vector<std::string>{"X:\\\\Across clusters.bin", "X:\\\\In the second", "X:\\\\Whole"}));
}

TEST_F(ExFatTest, FoldersAreReadWhereTheirStreamSaysTheyLie) {
  ExFatImageBuilder image;
  const uint32_t r = image.root_cluster();
  // "Flat": NoFatChain over clusters 40-41, FAT entries left 0.
  image.put_entries(r, 3, ExFatFileSet(u"Flat", Folder(40, 1024)));
  image.put_entries(40, 0, ExFatFileSet(u"first.txt", File(100, 1)));
  image.put_entries(41, 0, ExFatFileSet(u"second.txt", File(101, 1)));
  image.put_entries(42, 0, ExFatFileSet(u"beyond.txt", File(102, 1)));  // past the folder's length
  // "Chained": clusters 50 -> 52 through the FAT.
  image.put_entries(r, 6, ExFatFileSet(u"Chained", Folder(50, 1024, kChained)));
  image.chain({50, 52});
  image.put_entries(50, 0, ExFatFileSet(u"c1.txt", File(103, 1)));
  image.put_entries(51, 0, ExFatFileSet(u"not mine.txt", File(104, 1)));
  image.put_entries(52, 0, ExFatFileSet(u"c2.txt", File(105, 1)));
  ASSERT_TRUE(Open(image));

  ASSERT_EQ(ScanRoot().size(), 2u);  // the scan learns how both folders lie
  auto flat = ScanCluster(40);
  EXPECT_TRUE(result_);
  EXPECT_EQ(Paths(flat), (std::vector<std::string>{"X:\\D\\first.txt", "X:\\D\\second.txt"}));
  auto chained = ScanCluster(50);
  EXPECT_EQ(Paths(chained), (std::vector<std::string>{"X:\\D\\c1.txt", "X:\\D\\c2.txt"}));
}

TEST_F(ExFatTest, LoopingDirectoryChainEnds) {
  ExFatImageBuilder image;
  const uint32_t r = image.root_cluster();
  image.set_fat(r, 30);
  image.set_fat(30, r);  // loops back to the root
  image.put_entries(r, 3, ExFatFileSet(u"once.txt", File(40, 1)));
  image.put_entries(30, 0, ExFatFileSet(u"twice?.txt", File(41, 1)));
  ASSERT_TRUE(Open(image));
  const auto found = ScanRoot();
  EXPECT_EQ(Paths(found), (std::vector<std::string>{"X:\\\\once.txt", "X:\\\\twice?.txt"}));
}

TEST_F(ExFatTest, PathsAndNameLookups) {
  ExFatImageBuilder image;
  const uint32_t r = image.root_cluster();
  image.put_entries(r, 3, ExFatDeleted(ExFatFileSet(u"Docs", Folder(45, 512))));  // an older, deleted "Docs"
  image.put_entries(r, 6, ExFatFileSet(u"Docs", Folder(40, 512)));
  image.put_entries(40, 0, ExFatFileSet(u"Ünter", Folder(41, 512)));
  image.put_entries(41, 0, ExFatFileSet(u"deep.txt", File(100, 3)));
  image.put_entries(45, 0, ExFatFileSet(u"stale.txt", File(101, 3)));
  ASSERT_TRUE(Open(image));

  ASSERT_TRUE(engine_.InitEngine(kVolumeExFat, u"X:\\docs\\üNTER"));  // case-insensitive, present "Docs" first
  auto found = ScanRoot();
  EXPECT_TRUE(result_);
  EXPECT_EQ(Paths(found), std::vector<std::string>{"X:\\docs\\üNTER\\deep.txt"});

  ASSERT_TRUE(engine_.InitEngine(kVolumeExFat, u"X:\\Docs\\Missing"));
  found = ScanRoot();
  EXPECT_FALSE(result_);
  EXPECT_TRUE(found.empty());

  uint32_t cluster = 7;
  EXPECT_TRUE(engine_.SearchCluster(RcWString(u""), u"ÜNTER", 40, &cluster, nullptr, nullptr));
  EXPECT_EQ(cluster, 41u);
  EXPECT_TRUE(engine_.SearchCluster(RcWString(u""), u"nothing", 40, &cluster, nullptr, nullptr));
  EXPECT_EQ(cluster, 0u);
  EXPECT_FALSE(engine_.FatDirectory(40, nullptr));  // the dot-pair test has no meaning on exFAT
}

// --- The unformat sweep ---

TEST_F(ExFatTest, SweepReportsSetsOfFreeClustersOnly) {
  ExFatOptions options;
  options.system_first_cluster = 10;  // clusters 2-9 free for the test
  ExFatImageBuilder image(options);
  image.put_entries(2, 0, ExFatFileSet(u"in cluster two", File(100, 1)));
  image.put_entries(3, 0, ExFatFileSet(u"in cluster three", File(101, 1)));
  image.put_entries(5, 0, ExFatDeleted(ExFatFileSet(u"deleted one", Folder(102, 512))));
  image.put_entries(6, 0, ExFatFileSet(u"in use", File(103, 1)));
  image.set_allocated(2);
  image.set_allocated(6);
  // Sets that no 512-byte unit opens with: taken when the name hash holds.
  image.put_entries(7, 2, ExFatFileSet(u"off the unit start", File(104, 1)));
  auto bad_hash = ExFatFileSet(u"hash does not hold", File(105, 1));
  bad_hash[1][4] ^= std::byte{0x5A};
  image.put_entries(8, 2, bad_hash);
  ASSERT_TRUE(Open(image));

  const auto found = Sweep(image.image().size());
  EXPECT_TRUE(result_);
  ASSERT_EQ(Paths(found), (std::vector<std::string>{"deleted one", "in cluster three", "off the unit start"}));
  EXPECT_EQ(+Find(found, "off the unit start")->record.Folder, 7u);
  const _FileInfoFat& three = Find(found, "in cluster three")->record;
  EXPECT_EQ(+three.ParentFolder, 0u);
  EXPECT_EQ(+three.Folder, 3u);
  const _FileInfoFat& deleted = Find(found, "deleted one")->record;
  EXPECT_EQ(+deleted.DeleteState, kDeleted);
  EXPECT_EQ(+deleted.EntryType, kEntryFolder);
  EXPECT_EQ(+deleted.Folder, 5u);
}

TEST_F(ExFatTest, SweepReportsEachSetOnceAndJoinsSetsAcrossClusters) {
  ExFatOptions options;
  options.sectors_per_cluster_shift = 3;  // 4 KiB clusters: eight 512-byte units each
  options.cluster_count = 256;
  options.system_first_cluster = 20;
  ExFatImageBuilder image(options);
  image.put_entries(2, 0, ExFatFileSet(u"unit zero", File(100, 1)));
  image.put_entries(2, 16, ExFatFileSet(u"unit one", File(101, 1)));          // another candidate unit
  image.put_entries(2, 126, ExFatFileSet(u"runs into three", File(102, 1)));  // slots 126, 127 | 0
  // A directory that went on in cluster 9, not 6: cluster 6 opens with the
  // name entries of some other set, which the name hash turns down.
  image.put_entries(5, 0, ExFatFileSet(u"anchor five", File(103, 1)));
  const auto jumps = ExFatFileSet(u"Jumps to nine.txt", File(104, 1));
  image.put_entries(5, 126, {jumps[0], jumps[1]});
  image.put_entries(9, 0, {jumps[2], jumps[3]});
  const auto other = ExFatFileSet(u"Somebody else!!!!", File(105, 1));
  image.put_entries(6, 0, {other[2], other[3]});
  // A set whose rest is nowhere: reported with what its cluster holds.
  image.put_entries(7, 0, ExFatFileSet(u"anchor seven", File(106, 1)));
  const auto lost = ExFatFileSet(u"Lost tail, a long name", File(107, 1));
  image.put_entries(7, 125, {lost[0], lost[1], lost[2]});
  ASSERT_TRUE(Open(image));

  const auto found = Sweep(image.image().size());
  EXPECT_TRUE(result_);
  EXPECT_EQ(Paths(found), (std::vector<std::string>{"Jumps to nine.txt", "Lost tail, a lo", "anchor five",
                                                    "anchor seven", "runs into three", "unit one", "unit zero"}));
  EXPECT_EQ(+Find(found, "runs into three")->record.Folder, 2u);
  EXPECT_EQ(+Find(found, "unit one")->record.Folder, 2u);
  EXPECT_EQ(+Find(found, "Jumps to nine.txt")->record.Folder, 5u);
  EXPECT_EQ(+Find(found, "Jumps to nine.txt")->record.FirstCluster, 104u);
}

TEST_F(ExFatTest, SweepWindowsCoverTheWholeVolume) {
  ExFatOptions options;
  options.sectors_per_cluster_shift = 3;
  options.cluster_count = 8500;  // a little over 33 MiB: two windows, the second short
  ExFatImageBuilder image(options);
  const uint32_t last = 8500 + 1;
  image.put_entries(last, 0, ExFatFileSet(u"in the last cluster", File(100, 1)));
  ASSERT_TRUE(Open(image));
  const uint64_t size = image.image().size();
  ASSERT_GT(size, 32u << 20);

  EXPECT_EQ(Paths(Sweep(size)), std::vector<std::string>{"in the last cluster"});
  EXPECT_TRUE(result_);
  // A size beyond the device: the sweep ends where the device ends.
  EXPECT_EQ(Sweep(size + (1ull << 40)).size(), 1u);
  EXPECT_TRUE(result_);
  // A size that ends before the last cluster does not reach it.
  EXPECT_TRUE(Sweep(32u << 20).empty());
}

TEST_F(ExFatTest, SweepWithoutBitmapEntryTakesEveryCandidate) {
  ExFatImageBuilder image;
  const uint32_t r = image.root_cluster();
  // Over the label, bitmap and up-case entries: no allocation bitmap entry.
  image.put_entries(r, 0, ExFatFileSet(u"in the root", File(100, 1)));
  ASSERT_TRUE(Open(image));
  const auto found = Sweep(image.image().size());
  EXPECT_TRUE(result_);
  EXPECT_EQ(Paths(found), std::vector<std::string>{"in the root"});
}

// --- Recovery ---

TEST_F(ExFatTest, RecoversContiguousAndChainedData) {
  ExFatImageBuilder image;  // 512-byte clusters
  const uint32_t r = image.root_cluster();
  // A NoFatChain file whose clusters hold a stale chain from older data.
  const auto flat = image.fill_clusters(40, 1500, 1);
  image.chain({40, 90, 91});
  image.put_entries(r, 3, ExFatFileSet(u"flat.bin", File(40, 1500)));
  // A fragmented, present file: 50 -> 60 -> 51.
  auto piece0 = image.fill_clusters(50, 512, 2);
  auto piece1 = image.fill_clusters(60, 512, 3);
  auto piece2 = image.fill_clusters(51, 512, 4);
  image.chain({50, 60, 51});
  image.put_entries(r, 6, ExFatFileSet(u"fragmented.bin", File(50, 1400, kChained)));
  std::vector<std::byte> fragmented(piece0);
  fragmented.insert(fragmented.end(), piece1.begin(), piece1.end());
  fragmented.insert(fragmented.end(), piece2.begin(), piece2.begin() + (1400 - 1024));
  // A deleted file whose stale chain still fits its size: its chain is gone
  // as far as recovery is concerned.
  const auto deleted = image.fill_clusters(70, 1024, 7);
  image.chain({70, 80, 81});  // left by the deletion, but longer than the size: not this file's
  image.put_entries(r, 9, ExFatDeleted(ExFatFileSet(u"deleted.bin", File(70, 1024, kChained))));
  // A deleted folder whose file set still says it is in use (not every
  // system marks the sets inside a folder it deletes): its chain went with
  // the folder.
  image.put_entries(r, 12, ExFatDeleted(ExFatFileSet(u"Gone", Folder(75, 512))));
  image.put_entries(75, 0, ExFatFileSet(u"still marked.bin", File(76, 1024, kChained)));
  const auto inside = image.fill_clusters(76, 1024, 8);
  image.chain({76, 85, 86});  // longer than the size: not followed
  ASSERT_TRUE(Open(image));

  // Before any scan, nothing is known but the chain, which fits the size.
  EXPECT_EQ(Recover(50, 1400), fragmented);
  EXPECT_TRUE(recovered_);

  ASSERT_EQ(ScanRoot().size(), 4u);
  ASSERT_EQ(ScanCluster(75).size(), 1u);
  EXPECT_EQ(Recover(76, 1024), inside);
  EXPECT_TRUE(recovered_);
  EXPECT_EQ(Recover(40, 1500), flat);
  EXPECT_TRUE(recovered_);
  EXPECT_EQ(Recover(50, 1400), fragmented);
  EXPECT_TRUE(recovered_);
  EXPECT_EQ(Recover(70, 1024), deleted);
  EXPECT_TRUE(recovered_);
}

TEST_F(ExFatTest, ChainsThatDoNotFitTheSizeAreNotFollowed) {
  ExFatImageBuilder image;
  const auto contiguous = image.fill_clusters(50, 2048, 5);
  image.chain({50, 70});  // too short for 2048 bytes
  image.set_fat(60, 61);
  image.set_fat(61, 60);  // loops
  ASSERT_TRUE(Open(image));
  EXPECT_EQ(Recover(50, 2048), contiguous);
  EXPECT_TRUE(recovered_);
  const auto from_sixty = image.read_bytes(image.cluster_offset(60), 4096);
  EXPECT_EQ(Recover(60, 4096), from_sixty);
  EXPECT_TRUE(recovered_);
}

TEST_F(ExFatTest, RecoverySizesProgressAndVolumeEnd) {
  ExFatImageBuilder image;
  const uint32_t r = image.root_cluster();
  image.fill_clusters(40, 2048, 6);
  ExFatSetOptions half_written = File(40, 2048);
  half_written.valid_data_length = 1000;  // bytes from here on read as zeros
  image.put_entries(r, 3, ExFatFileSet(u"half.bin", half_written));
  // A terabyte that was never written: the zeros stop at the volume's end.
  ExFatSetOptions unwritten = File(1000, 1ull << 40);
  unwritten.valid_data_length = 0;
  image.put_entries(r, 6, ExFatFileSet(u"unwritten.bin", unwritten));
  ASSERT_TRUE(Open(image));
  ASSERT_EQ(ScanRoot().size(), 2u);
  EXPECT_EQ(Recover(1000, 1ull << 40), std::vector<std::byte>(26u * 512));
  EXPECT_TRUE(recovered_);

  std::vector<uint64_t> progress;
  g_progress = &progress;
  auto data = Recover(40, 2048);
  ASSERT_EQ(data.size(), 2048u);
  EXPECT_EQ(std::vector<std::byte>(data.begin(), data.begin() + 1000),
            image.read_bytes(image.cluster_offset(40), 1000));
  EXPECT_TRUE(std::all_of(data.begin() + 1000, data.end(), [](std::byte b) { return b == std::byte{0}; }));

  progress.clear();
  EXPECT_TRUE(Recover(0, 0).empty());  // an empty file
  EXPECT_TRUE(recovered_);
  EXPECT_EQ(progress, std::vector<uint64_t>{0});

  // 4 GiB + 1000 bytes from the last 3 clusters: a 32-bit size would make it
  // 1000 bytes; the volume ends first and the file stops there.
  progress.clear();
  const uint32_t last = 1024 + 1;
  data = Recover(last - 2, (4ull << 30) + 1000);
  EXPECT_TRUE(recovered_);
  EXPECT_EQ(data.size(), 3u * 512);
  EXPECT_EQ(progress.back(), 0u);
  g_progress = nullptr;

  // An output that cannot be created.
  const std::u16string bad = text::from_utf8(testing::TempPath("no-such-dir/out"));
  EXPECT_FALSE(engine_.FatRecoverData(bad.c_str(), 40, 10, nullptr, nullptr));
  EXPECT_FALSE(engine_.FatRecoverData(u"unused", 1, 10, nullptr, nullptr));  // cluster 1 is not in the heap
}

// --- Hostile volumes ---

TEST_F(ExFatTest, HostileBootValuesGiveFalse) {
  struct Mutation {
    const char* what;
    size_t offset;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Mutation> mutations = {
      {"sector shift 8", 108, {8}},
      {"sector shift 13", 108, {13}},
      {"sector shift 255", 108, {255}},
      {"clusters over 32 MiB", 109, {17}},
      {"no FAT offset", 80, {0, 0, 0, 0}},
      {"no FAT length", 84, {0, 0, 0, 0}},
      {"no heap offset", 88, {0, 0, 0, 0}},
      {"no clusters", 92, {0, 0, 0, 0}},
      {"heap past the device", 88, {0, 0, 0, 0x40}},
  };
  for (const auto& m : mutations) {
    ExFatImageBuilder image;
    image.put_entries(image.root_cluster(), 3, ExFatFileSet(u"file", File(40, 10)));
    image.put_bytes(m.offset, m.bytes.data(), m.bytes.size());
    ASSERT_TRUE(Open(image)) << m.what;  // the boot sector was read
    EXPECT_TRUE(ScanRoot().empty()) << m.what;
    EXPECT_FALSE(result_) << m.what;
    EXPECT_TRUE(ScanCluster(40).empty()) << m.what;
    EXPECT_FALSE(result_) << m.what;
    EXPECT_TRUE(Sweep(image.image().size()).empty()) << m.what;
    EXPECT_FALSE(result_) << m.what;
    Recover(40, 10);
    EXPECT_FALSE(recovered_) << m.what;
  }
}

TEST_F(ExFatTest, HostileCountsAndClustersStayInBounds) {
  ExFatImageBuilder image;
  const uint32_t r = image.root_cluster();
  // A cluster count far beyond the device and FAT: trimmed to what exists.
  const uint32_t huge = 0xFFFFFFF0;
  image.put_bytes(92, &huge, 4);
  // A set claiming 255 secondaries and a 255-character name, then garbage.
  auto greedy = ExFatFileSet(u"greedy", File(0xFFFFFFF0, ~0ull));
  greedy[0][1] = std::byte{255};
  greedy[1][3] = std::byte{255};
  image.put_entries(r, 3, greedy);
  // A folder whose stream points far outside the heap.
  image.put_entries(r, 8, ExFatFileSet(u"nowhere", Folder(0xFFFFFF00, ~0ull)));
  ASSERT_TRUE(Open(image));
  const auto geometry = engine::exfat::ExFatGeometry::parse(image.image(), image.image().size());
  ASSERT_TRUE(geometry);
  EXPECT_LE(geometry->cluster_count, 1024u);

  const auto found = ScanRoot();
  EXPECT_EQ(Paths(found), (std::vector<std::string>{"X:\\\\greedy", "X:\\\\nowhere"}));
  EXPECT_TRUE(ScanCluster(0xFFFFFF00).empty());
  EXPECT_FALSE(result_);
  Recover(0xFFFFFFF0, ~0ull);
  EXPECT_FALSE(recovered_);
}

}  // namespace
}  // namespace salvor
