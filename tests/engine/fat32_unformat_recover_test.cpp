// FAT32 unformat sweep, deleted-folder search and file recovery over small
// images built in code: which units of the sweep count as old
// directories, candidate clusters of the folder search, and what recovery
// writes and reports.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/fat/fat_sweep.h"
#include "engine/gleaner.h"
#include "engine/volume_access.h"
#include "tests/fixtures/fat_image_builder.h"
#include "tests/fixtures/temp_files.h"

namespace salvor {
namespace {

using engine::CGleaner;
using testing::DirectoryWriter;
using testing::DotEntry;
using testing::Fat32ImageBuilder;
using testing::Fat32Options;
using testing::LongNameEntries;
using testing::ShortEntry;

constexpr uint8_t kFile = 0x20;
constexpr uint8_t kDir = 0x10;
constexpr uint64_t kMiB = 1024 * 1024;

struct Found {
  std::string path;
  _FileInfoFat record;
};

uint32_t Collect(_FileInfoFat record, void* user) {
  static_cast<std::vector<Found>*>(user)->push_back({text::to_utf8(record.FullPath.view()), record});
  return 0;
}

uint32_t CollectProgress(uint64_t bytes_left, void* user) {
  static_cast<std::vector<uint64_t>*>(user)->push_back(bytes_left);
  return 0;
}

const Found* Find(const std::vector<Found>& found, const std::string& path) {
  for (const auto& f : found) {
    if (f.path == path) return &f;
  }
  return nullptr;
}

// Bytes that differ from cluster to cluster, so a wrong cluster shows.
std::vector<std::byte> Pattern(size_t size, uint32_t seed) {
  std::vector<std::byte> data(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = std::byte(x >> 24);
  }
  return data;
}

class Fat32Engine : public ::testing::Test {
 protected:
  bool Open(const Fat32ImageBuilder& image) {
    image_path_ = testing::TempPath("fat32u-" + std::to_string(counter_++) + ".img");
    image.save(image_path_);
    engine::MountImage(u'T', text::from_utf8(image_path_));
    return engine_.InitEngine(kVolumeFat32, u"T:\\");
  }
  uint64_t ImageSize() const { return std::filesystem::file_size(image_path_); }
  std::vector<Found> Unformat(uint64_t size) {
    std::vector<Found> found;
    result_ = engine_.ScanFatFormatDisk(size, Collect, &found);
    return found;
  }
  // Recovers into a fresh output path; the content is "" when no file was left.
  std::string Recover(uint32_t cluster, uint64_t size, std::vector<uint64_t>* progress = nullptr) {
    output_ = testing::TempPath("out-" + std::to_string(counter_++) + ".bin");
    std::filesystem::remove(output_);  // an existing name would be kept and the output numbered
    result_ = engine_.FatRecoverData(text::from_utf8(output_).c_str(), cluster, size,
                                     progress ? CollectProgress : nullptr, progress);
    return testing::ReadFileBytes(output_);
  }
  bool OutputExists() const { return std::filesystem::exists(output_); }

  CGleaner engine_;
  std::string image_path_;
  std::string output_;
  bool result_ = false;
  int counter_ = 0;
};

std::string Bytes(const std::vector<std::byte>& data, size_t offset, size_t length) {
  return std::string(reinterpret_cast<const char*>(data.data()) + offset, length);
}

// --- The FAT32 sweep ---------------------------------------------------------

TEST_F(Fat32Engine, SweepFindsFreeDirectoryClustersOnly) {
  Fat32Options options;
  options.sectors_per_cluster = 2;  // 1 KiB clusters: units inside a cluster exist
  Fat32ImageBuilder image(options);
  // A free old folder (cluster 10) under the root: its entries come with
  // (.. = 0, 10) and bare names; present and deleted alike.
  DirectoryWriter(image, 10)
      .add(DotEntry(false, 10))
      .add(DotEntry(true, 0))
      .add(LongNameEntries(u"Old report.txt", "OLDREP~1TXT"))
      .add(ShortEntry("OLDREP~1TXT", kFile, 300, 1234))
      .add(testing::Deleted(ShortEntry("GONE    TXT", kFile, 301, 5)))
      .add(ShortEntry("SUB        ", kDir, 12));
  // Its subfolder, free too.
  DirectoryWriter(image, 12).add(DotEntry(false, 12)).add(DotEntry(true, 10)).add(ShortEntry("IN_SUB  TXT", kFile, 302, 6));
  // A folder the new file system uses: skipped.
  image.chain({20});
  DirectoryWriter(image, 20).add(DotEntry(false, 20)).add(DotEntry(true, 0)).add(ShortEntry("NEW     TXT", kFile, 0));
  // A free cluster that begins with a long name: a later cluster of an old
  // folder, parent unknown.
  DirectoryWriter(image, 30).add(LongNameEntries(u"Continued name.doc", "CONTIN~1DOC")).add(
      ShortEntry("CONTIN~1DOC", kFile, 303, 7));
  // The same in an allocated cluster: skipped.
  image.chain({40});
  DirectoryWriter(image, 40).add(LongNameEntries(u"Allocated.doc", "ALLOCA~1DOC")).add(ShortEntry("ALLOCA~1DOC", kFile, 304));
  // A long name at the second unit of a cluster is no cluster start.
  DirectoryWriter(image, 50).add(ShortEntry("FILLER  BIN", kFile, 0));
  {
    auto parts = LongNameEntries(u"Mid cluster.doc", "MIDCLU~1DOC");
    for (size_t i = 0; i < parts.size(); ++i) image.put_entry(50, static_cast<uint32_t>(16 + i), parts[i]);
    image.put_entry(50, static_cast<uint32_t>(16 + parts.size()), ShortEntry("MIDCLU~1DOC", kFile, 305));
  }
  ASSERT_TRUE(Open(image));

  const auto found = Unformat(ImageSize());
  EXPECT_TRUE(result_);
  const Found* report = Find(found, "Old report.txt");
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->record.ParentFolder, 0u);
  EXPECT_EQ(report->record.Folder, 10u);
  EXPECT_EQ(report->record.FirstCluster, 300u);
  EXPECT_EQ(uint64_t{report->record.FileSize}, 1234u);
  EXPECT_EQ(report->record.DeleteState, kPresent);
  const Found* gone = Find(found, "_ONE.TXT");
  ASSERT_NE(gone, nullptr);
  EXPECT_EQ(gone->record.DeleteState, kDeleted);
  ASSERT_NE(Find(found, "SUB"), nullptr);
  const Found* in_sub = Find(found, "IN_SUB.TXT");
  ASSERT_NE(in_sub, nullptr);
  EXPECT_EQ(in_sub->record.ParentFolder, 10u);
  EXPECT_EQ(in_sub->record.Folder, 12u);
  const Found* continued = Find(found, "Continued name.doc");
  ASSERT_NE(continued, nullptr);
  EXPECT_EQ(continued->record.ParentFolder, 0u);
  EXPECT_EQ(continued->record.Folder, 30u);

  EXPECT_EQ(Find(found, "NEW.TXT"), nullptr);
  EXPECT_EQ(Find(found, "Allocated.doc"), nullptr);
  EXPECT_EQ(Find(found, "Mid cluster.doc"), nullptr);
  EXPECT_EQ(Find(found, "."), nullptr);
  EXPECT_EQ(Find(found, ".."), nullptr);
  EXPECT_EQ(found.size(), 5u);
}

TEST_F(Fat32Engine, SweepJoinsNamesSplitAcrossClustersOfOneFolderOnly) {
  Fat32ImageBuilder image;  // 512-byte clusters: 16 entries each
  // Folder 10 ends with two parts of a name whose first part and short
  // entry open cluster 11 (a later cluster of the same folder).
  const auto split = LongNameEntries(u"A long name split over clusters.txt", "ALONGN~1TXT");
  ASSERT_EQ(split.size(), 3u);
  DirectoryWriter first(image, 10);
  first.add(DotEntry(false, 10)).add(DotEntry(true, 0));
  for (int i = 0; i < 12; ++i) first.add(ShortEntry("FILL" + std::to_string(10 + i) + "  BIN", kFile, 0));
  first.add(split[0]).add(split[1]);
  DirectoryWriter(image, 11).add(split[2]).add(ShortEntry("ALONGN~1TXT", kFile, 500, 42));
  // Cluster 20 ends a folder with parts that never got their entry; the
  // next folder found (21) must not take them for its first entry's name.
  DirectoryWriter(image, 20).add(LongNameEntries(u"Dangling part", "DANGLI~1   ")[0]);
  DirectoryWriter(image, 21).add(DotEntry(false, 21)).add(DotEntry(true, 0)).add(
      testing::Deleted(ShortEntry("GONE    TXT", kFile, 501, 1)));
  ASSERT_TRUE(Open(image));

  const auto found = Unformat(ImageSize());
  const Found* joined = Find(found, "A long name split over clusters.txt");
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ(joined->record.Folder, 11u);
  EXPECT_EQ(joined->record.ParentFolder, 0u);
  const Found* gone = Find(found, "_ONE.TXT");
  ASSERT_NE(gone, nullptr);
  EXPECT_EQ(gone->record.Folder, 21u);
}

TEST_F(Fat32Engine, SweepOfAHostileVolumeEnds) {
  Fat32ImageBuilder image;
  // Every cluster a free dot-pair directory whose entries are long-name
  // parts that never end: the sweep visits each once and ends.
  for (uint32_t cluster = 3; cluster < 2050; ++cluster) {
    DirectoryWriter dir(image, cluster);
    dir.add(DotEntry(false, cluster)).add(DotEntry(true, cluster));
    auto part = LongNameEntries(u"abcdefghijklm", "ABCDEF~1   ")[0];
    part[0] = std::byte{0x05};
    for (int i = 0; i < 14; ++i) dir.add(part);
  }
  ASSERT_TRUE(Open(image));
  const auto found = Unformat(ImageSize());
  EXPECT_TRUE(result_);
  EXPECT_TRUE(found.empty());
  // A size beyond the image: false, and no more than the image is reported.
  Unformat(ImageSize() + 64 * kMiB);
  EXPECT_FALSE(result_);
}

// --- The search for a deleted folder ----------------------------------------

TEST_F(Fat32Engine, DeletedFolderCandidatesStepBy65536) {
  Fat32Options options;
  options.cluster_count = 140000;  // clusters past 131077 exist
  Fat32ImageBuilder image(options);
  // A deleted folder at 131077 (stored as 5) inside folder 7. Cluster
  // 65541 is a directory too, but of another folder: its ".." does not fit.
  DirectoryWriter(image, 5 + 0x10000).add(DotEntry(false, 5 + 0x10000)).add(DotEntry(true, 99));
  DirectoryWriter(image, 5 + 0x20000)
      .add(DotEntry(false, 5 + 0x20000))
      .add(DotEntry(true, 7))
      .add(ShortEntry("INSIDE  TXT", kFile, 900, 3));
  ASSERT_TRUE(Open(image));

  _FileInfoFat record;
  record.Folder = 7;
  record.FirstCluster = 5;
  record.DeleteState = kDeleted;
  record.EntryType = kEntryFolder;
  record.FullPath = RcWString(u"T:\\A\\_OLDDIR");
  std::vector<Found> found;
  EXPECT_TRUE(engine_.IsDirectory32(ImageSize(), &record, Collect, &found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].path, "T:\\A\\_OLDDIR\\INSIDE.TXT");
  EXPECT_EQ(found[0].record.Folder, 5u + 0x20000);
  EXPECT_EQ(found[0].record.ParentFolder, 7u);

  // A volume too small to hold 131077 stops before it.
  const uint64_t data_start = image.cluster_offset(2);
  found.clear();
  EXPECT_FALSE(engine_.IsDirectory32(data_start + 100000ull * 512, &record, Collect, &found));
  EXPECT_TRUE(found.empty());
  EXPECT_FALSE(engine_.IsDirectory32(ImageSize(), nullptr, Collect, &found));
}

TEST_F(Fat32Engine, DeletedFolderSearchSkipsLiveSiblingsAndEmptyEngines) {
  Fat32Options options;
  options.cluster_count = 70000;
  Fat32ImageBuilder image(options);
  // 65541 has the right parent but is in use: a present sibling, not the
  // deleted folder.
  image.chain({5 + 0x10000});
  DirectoryWriter(image, 5 + 0x10000).add(DotEntry(false, 5 + 0x10000)).add(DotEntry(true, 0)).add(
      ShortEntry("LIVE    TXT", kFile, 0));
  ASSERT_TRUE(Open(image));
  _FileInfoFat record;
  record.FirstCluster = 5;
  std::vector<Found> found;
  EXPECT_FALSE(engine_.IsDirectory32(ImageSize(), &record, Collect, &found));
  EXPECT_TRUE(found.empty());

  // An engine whose FAT32 scanner never opened a volume: false, no division
  // by zero.
  CGleaner fresh;
  EXPECT_FALSE(fresh.IsDirectory32(1ull << 40, &record, Collect, &found));
}

// --- Recovery ----------------------------------------------------------------

TEST_F(Fat32Engine, DeletedFileIsCopiedContiguouslyWithChunkProgress) {
  Fat32Options options;
  options.sectors_per_cluster = 8;  // 4 KiB clusters
  options.cluster_count = 256;
  Fat32ImageBuilder image(options);
  const auto data = Pattern(100000, 1);
  image.put_bytes(image.cluster_offset(10), data.data(), data.size());  // FAT entries stay 0: deleted
  ASSERT_TRUE(Open(image));

  std::vector<uint64_t> progress;
  EXPECT_EQ(Recover(10, 100000, &progress), Bytes(data, 0, data.size()));
  EXPECT_TRUE(result_);
  EXPECT_EQ(progress, (std::vector<uint64_t>{34464, 0}));

  // A size of 0: an empty file and one report of 0, whatever the cluster.
  progress.clear();
  EXPECT_EQ(Recover(0, 0, &progress), "");
  EXPECT_TRUE(result_);
  EXPECT_TRUE(OutputExists());
  EXPECT_EQ(progress, (std::vector<uint64_t>{0}));

  // An existing file is never replaced: the output takes the next free
  // numbered name.
  const std::string existing = testing::TempPath("existing.bin");
  const std::string numbered = testing::TempPath("existing (1).bin");
  std::filesystem::remove(numbered);
  { std::ofstream(existing, std::ios::binary) << std::string(300000, 'x'); }
  EXPECT_TRUE(engine_.FatRecoverData(text::from_utf8(existing).c_str(), 10, 5000, nullptr, nullptr));
  EXPECT_EQ(testing::ReadFileBytes(existing), std::string(300000, 'x'));
  EXPECT_EQ(testing::ReadFileBytes(numbered), Bytes(data, 0, 5000));
}

TEST_F(Fat32Engine, PresentFilesFollowTheirChain) {
  Fat32Options options;
  options.sectors_per_cluster = 8;
  options.cluster_count = 256;
  Fat32ImageBuilder image(options);
  const uint32_t cluster_bytes = image.cluster_size();
  // Four clusters out of order, the last one half used.
  const std::vector<uint32_t> chain = {100, 101, 200, 150};
  std::string expected;
  for (size_t i = 0; i < chain.size(); ++i) {
    const auto piece = Pattern(cluster_bytes, chain[i]);
    image.put_bytes(image.cluster_offset(chain[i]), piece.data(), piece.size());
    expected += Bytes(piece, 0, i + 1 < chain.size() ? cluster_bytes : cluster_bytes / 2);
  }
  // What lies after cluster 101, which a contiguous copy would take.
  const auto filler = Pattern(cluster_bytes * 2, 77);
  image.put_bytes(image.cluster_offset(102), filler.data(), filler.size());
  image.chain(chain);
  ASSERT_TRUE(Open(image));

  std::vector<uint64_t> progress;
  EXPECT_EQ(Recover(100, expected.size(), &progress), expected);
  EXPECT_TRUE(result_);
  EXPECT_EQ(progress, (std::vector<uint64_t>{0}));

  // A chain that does not fit the size (the entry says more clusters than
  // the chain has) is no intact chain: the contiguous copy is taken.
  const uint64_t longer = expected.size() + 3 * cluster_bytes;
  const std::string contiguous = Recover(100, longer);
  EXPECT_TRUE(result_);
  ASSERT_EQ(contiguous.size(), longer);
  EXPECT_EQ(contiguous.substr(2 * cluster_bytes, 100), Bytes(filler, 0, 100));
}

TEST_F(Fat32Engine, LoopingChainIsNoChain) {
  Fat32Options options;
  options.sectors_per_cluster = 8;
  options.cluster_count = 64;
  Fat32ImageBuilder image(options);
  image.set_fat(20, 21);
  image.set_fat(21, 20);  // 20 -> 21 -> 20 -> ...
  const auto data = Pattern(image.cluster_size() * 5, 3);
  image.put_bytes(image.cluster_offset(20), data.data(), data.size());
  ASSERT_TRUE(Open(image));
  EXPECT_EQ(Recover(20, data.size()), Bytes(data, 0, data.size()));
  EXPECT_TRUE(result_);
}

TEST_F(Fat32Engine, RecoveryStopsAtTheEndOfTheVolume) {
  Fat32Options options;
  options.sectors_per_cluster = 8;
  options.cluster_count = 64;
  Fat32ImageBuilder image(options);
  const uint32_t last = options.cluster_count + 1;
  const auto tail = Pattern(image.cluster_size(), 9);
  image.put_bytes(image.cluster_offset(last), tail.data(), tail.size());
  ASSERT_TRUE(Open(image));

  // A small file in the last cluster: its 64 KiB chunk would reach past
  // the end, its bytes do not.
  EXPECT_EQ(Recover(last, 1000), Bytes(tail, 0, 1000));
  EXPECT_TRUE(result_);

  // A size that claims more than the volume holds: everything up to the
  // end, and progress still ends with 0.
  std::vector<uint64_t> progress;
  EXPECT_EQ(Recover(last, 200000, &progress), Bytes(tail, 0, tail.size()));
  EXPECT_TRUE(result_);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 0u);

  // Nothing of the file on the volume: false, and no file is left.
  EXPECT_EQ(Recover(last + 10, 1000), "");
  EXPECT_FALSE(result_);
  EXPECT_FALSE(OutputExists());
  // Cluster 0 or 1 with data: nothing to read.
  Recover(1, 1000);
  EXPECT_FALSE(result_);
  EXPECT_FALSE(OutputExists());
}

TEST_F(Fat32Engine, RecoveryIntoAFolderThatDoesNotExistFails) {
  Fat32ImageBuilder image;
  ASSERT_TRUE(Open(image));
  const std::string missing = testing::TempPath("no-such-folder/file.bin");
  EXPECT_FALSE(engine_.FatRecoverData(text::from_utf8(missing).c_str(), 10, 100, nullptr, nullptr));
  EXPECT_FALSE(engine_.FatRecoverData(nullptr, 10, 100, nullptr, nullptr));
}

TEST_F(Fat32Engine, LargeFilesAreWrittenInBatchesWithEveryChunkReported) {
  Fat32Options options;
  options.sectors_per_cluster = 64;  // 32 KiB clusters: chunks stay 64 KiB
  options.cluster_count = 1400;      // 43.75 MiB of data
  Fat32ImageBuilder image(options);
  const uint64_t size = 40 * kMiB + 123;  // more than one 32 MiB batch
  const auto data = Pattern(size, 5);
  image.put_bytes(image.cluster_offset(3), data.data(), data.size());
  ASSERT_TRUE(Open(image));

  std::vector<uint64_t> progress;
  const std::string out = Recover(3, size, &progress);
  EXPECT_TRUE(result_);
  EXPECT_TRUE(out == Bytes(data, 0, data.size()));
  // One report per 64 KiB chunk, each the bytes left, then 0.
  const uint64_t chunks = (size + 65535) / 65536;
  ASSERT_EQ(progress.size(), chunks);
  EXPECT_EQ(progress.front(), size - 65536);
  EXPECT_EQ(progress[progress.size() - 2], size - (chunks - 1) * 65536);
  EXPECT_EQ(progress.back(), 0u);
}

}  // namespace
}  // namespace salvor
