// NTFS records, run lists and small volumes built in code: the exact edge
// cases of decoding (run lists, fixups, names, attribute walks) and of the
// scans on hostile input (looping parents, attribute lists that name their
// own record, truncated $MFTs, runs beyond the volume), recovery's output,
// and the unformat sweep's handling of the present $MFT.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/ntfs/ntfs.h"
#include "engine/ntfs/ntfs_lznt1.h"
#include "engine/volume_access.h"
#include "tests/fixtures/ntfs_record_builder.h"
#include "tests/fixtures/temp_files.h"

namespace salvor {
namespace {

using engine::CNtfs;
using namespace engine::ntfs;
namespace build = testing::ntfs;

std::vector<std::byte> Bytes_(std::initializer_list<int> values) {
  std::vector<std::byte> out;
  for (int v : values) out.push_back(static_cast<std::byte>(v));
  return out;
}

TEST(NtfsDecode, RecordSizesFromTheBootSectorCodes) {
  EXPECT_EQ(RecordSizeFromCode(0xF6, 4096), 1024u);
  EXPECT_EQ(RecordSizeFromCode(1, 4096), 4096u);
  EXPECT_EQ(RecordSizeFromCode(0xF4, 512), 4096u);
  EXPECT_EQ(RecordSizeFromCode(2, 512), 1024u);
  EXPECT_EQ(RecordSizeFromCode(0, 4096), 0u);
  EXPECT_EQ(RecordSizeFromCode(0x80, 4096), 0u);  // 2^128 bytes
  EXPECT_EQ(RecordSizeFromCode(100, 4096), 0u);   // 400 KiB, no power of two
}

TEST(NtfsDecode, RunFields) {
  auto a = DecodeRun(Bytes_({0x11, 0x05, 0xFB}));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->length, 5u);
  EXPECT_EQ(a->offset, -5);
  auto b = DecodeRun(Bytes_({0x21, 0x10, 0x00, 0x01}));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->length, 16u);
  EXPECT_EQ(b->offset, 256);
  auto c = DecodeRun(Bytes_({0x01, 0x08}));
  ASSERT_TRUE(c);
  EXPECT_EQ(c->length, 8u);
  EXPECT_FALSE(c->has_offset);
  EXPECT_FALSE(DecodeRun(Bytes_({0x10, 0x05})));        // no length field
  EXPECT_FALSE(DecodeRun(Bytes_({0x19, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1})));  // 9-byte length
  EXPECT_FALSE(DecodeRun(Bytes_({0x21, 0x10, 0x00})));  // bytes missing
}

TEST(NtfsDecode, RunListsWithNegativeOffsetsSparseRunsAndDamage) {
  // 4 clusters at 100, 2 sparse, 3 at 100 - 5 = 95.
  auto runs = DecodeRuns(build::EncodeRuns({{100, 4}, {0, 2}, {-5, 3}}), 0, 1000, 4096);
  ASSERT_TRUE(runs);
  ASSERT_EQ(runs->size(), 3u);
  EXPECT_EQ((*runs)[0].lcn, 100u);
  EXPECT_TRUE((*runs)[1].sparse);
  EXPECT_EQ((*runs)[1].first_vcn, 4u);
  EXPECT_EQ((*runs)[2].lcn, 95u);
  EXPECT_EQ((*runs)[2].first_vcn, 6u);

  auto mapped = MapVcn(*runs, 7);
  ASSERT_TRUE(mapped);
  EXPECT_EQ(mapped->lcn, 96u);
  EXPECT_EQ(mapped->clusters_left, 2u);
  auto hole = MapVcn(*runs, 5);
  ASSERT_TRUE(hole);
  EXPECT_TRUE(hole->sparse);
  EXPECT_FALSE(MapVcn(*runs, 9));

  EXPECT_FALSE(DecodeRuns(build::EncodeRuns({{990, 20}}), 0, 1000, 4096));          // beyond the volume
  EXPECT_FALSE(DecodeRuns(build::EncodeRuns({{10, 4}, {-20, 2}}), 0, 1000, 4096));  // below cluster 0
  EXPECT_FALSE(DecodeRuns(Bytes_({0x11, 0x04, 0x10}), 0, 1000, 4096));            // no end mark
  EXPECT_FALSE(DecodeRuns(Bytes_({0x10, 0x04, 0x00}), 0, 1000, 4096));            // zero-length header
  EXPECT_FALSE(DecodeRuns(Bytes_({0x11, 0x00, 0x10, 0x00}), 0, 1000, 4096));      // a run of 0 clusters
}

TEST(NtfsDecode, RunListsAreBoundedByTheVolumeAndTheLargestStream) {
  const uint64_t huge = uint64_t{1} << 52;
  // A hole of 2^52 clusters of 4 KiB maps 2^64 bytes; of 512 bytes, 2^61.
  EXPECT_FALSE(DecodeRuns(build::EncodeRuns({{0, huge}}), 0, 1000, 4096));
  auto sparse = DecodeRuns(build::EncodeRuns({{0, huge}}), 0, 1000, 512);
  ASSERT_TRUE(sparse);
  EXPECT_TRUE((*sparse)[0].sparse);
  // Holes that together pass 2^63 bytes, and a piece that starts beyond it.
  EXPECT_FALSE(DecodeRuns(build::EncodeRuns({{0, uint64_t{1} << 50}, {0, (uint64_t{1} << 50) + 1}}), 0, 1000, 4096));
  EXPECT_FALSE(DecodeRuns(build::EncodeRuns({{10, 4}}), uint64_t{1} << 51, 1000, 4096));
  // Runs on disk that each fit but repeat the volume's clusters.
  EXPECT_FALSE(DecodeRuns(build::EncodeRuns({{100, 600}, {-100, 600}}), 0, 1000, 4096));
  EXPECT_TRUE(DecodeRuns(build::EncodeRuns({{100, 500}, {-100, 500}}), 0, 1000, 4096));
  // An offset that would carry the cluster number past the int64 limits.
  EXPECT_FALSE(DecodeRuns(build::EncodeRuns({{100, 4}, {INT64_MAX - 50, 4}}), 0, 1000, 4096));
  EXPECT_FALSE(DecodeRuns(build::EncodeRuns({{10, 4}}), 0, 0, 4096));  // no volume to lie on
}

TEST(NtfsDecode, FixupCoversEveryStretchOfLargeRecords) {
  auto record = build::RecordBuilder(4096).FileName(5, u"big").Build();
  // The original bytes at the end of the 8th stretch.
  auto plain = build::RecordBuilder(4096).FileName(5, u"big").Build(false);
  EXPECT_EQ(ApplyFixup(record), FixupResult::kApplied);
  for (size_t stretch = 1; stretch <= 8; ++stretch) {
    EXPECT_EQ(record[stretch * 512 - 2], plain[stretch * 512 - 2]) << stretch;
    EXPECT_EQ(record[stretch * 512 - 1], plain[stretch * 512 - 1]) << stretch;
  }

  auto torn = build::RecordBuilder(1024).FileName(5, u"torn").Build();
  torn[1022] = std::byte{0x55};  // the second sector was not written with the first
  EXPECT_EQ(ApplyFixup(torn), FixupResult::kMismatch);
  EXPECT_EQ(torn[1022], std::byte{0x55});  // left as it was; the record is still used
  EXPECT_TRUE(FindLongName(torn));

  auto bad = build::RecordBuilder(1024).Build();
  bad[6] = std::byte{9};  // 8 stretches claimed in a 1024-byte record
  EXPECT_EQ(ApplyFixup(bad), FixupResult::kBadHeader);
}

TEST(NtfsDecode, NamesAndAttributeWalks) {
  auto dos_only = build::RecordBuilder().FileName(5, u"PROGRA~1", file_name::kDos).Build();
  ApplyFixup(dos_only);
  EXPECT_FALSE(FindLongName(dos_only));

  auto both = build::RecordBuilder()
                  .FileName(5, u"PROGRA~1", file_name::kDos)
                  .FileName(5, u"Program Files", file_name::kWin32)
                  .Build();
  ApplyFixup(both);
  ASSERT_TRUE(FindLongName(both));
  EXPECT_EQ(FindLongName(both)->name, u"Program Files");

  auto posix = build::RecordBuilder().FileName(5, u"Case", file_name::kPosix).Build();
  ApplyFixup(posix);
  ASSERT_TRUE(FindLongName(posix));

  // An attribute past 1004 bytes of a 4096-byte record is found.
  build::ByteVector padding(1200, std::byte{0});
  auto large = build::RecordBuilder(4096).Resident(0x40, padding).FileName(5, u"far").Build();
  ApplyFixup(large);
  EXPECT_TRUE(FindLongName(large));

  // A zero length or one past the record ends the walk.
  for (uint32_t length : {0u, 8u, 0x10000u}) {
    build::ByteVector raw(0x18, std::byte{0});
    raw[0] = std::byte{0x40};
    for (int i = 0; i < 4; ++i) raw[4 + i] = static_cast<std::byte>(length >> (8 * i));
    auto hostile = build::RecordBuilder().RawAttribute(raw).FileName(5, u"after").Build();
    ApplyFixup(hostile);
    EXPECT_FALSE(FindLongName(hostile)) << length;
  }
}

TEST(NtfsDecode, ReportableNames) {
  EXPECT_FALSE(IsReportableName(u"."));
  EXPECT_TRUE(IsReportableName(u".x"));
  EXPECT_FALSE(IsReportableName(u"$MFT"));
  EXPECT_FALSE(IsReportableName(u"$mftmirr"));
  EXPECT_FALSE(IsReportableName(u"$Extend"));
  EXPECT_TRUE(IsReportableName(u"$Recycle.Bin"));
  EXPECT_TRUE(IsReportableName(u"report.txt"));
  EXPECT_TRUE(EqualIgnoringAsciiCase(u"Readme.TXT", u"README.txt"));
  EXPECT_FALSE(EqualIgnoringAsciiCase(u"\u00e9t\u00e9", u"\u00c9T\u00c9"));  // only A to Z fold
}

TEST(NtfsDecode, Lznt1Chunks) {
  // "abc", then a back-reference 3 bytes back for 6 bytes; then a raw chunk.
  auto in = Bytes_({0x05, 0xB0, 0x08, 'a', 'b', 'c', 0x03, 0x20});
  std::vector<std::byte> raw(4096, std::byte{'r'});
  in.push_back(std::byte{0xFF});
  in.push_back(std::byte{0x3F});  // raw chunk of 4096 bytes
  in.insert(in.end(), raw.begin(), raw.end());
  std::vector<std::byte> out(3 * 4096);
  auto written = DecompressLznt1(in, out);
  ASSERT_TRUE(written);
  EXPECT_EQ(*written, 2u * 4096);
  std::string text;
  for (size_t i = 0; i < 10; ++i) text += static_cast<char>(out[i]);
  EXPECT_EQ(text, std::string("abcabcabc") + '\0');  // the short chunk's rest is zeros
  EXPECT_EQ(out[4096], std::byte{'r'});
  EXPECT_EQ(out[8191], std::byte{'r'});

  // A reference before the chunk's start, and a chunk past its input.
  EXPECT_FALSE(DecompressLznt1(Bytes_({0x03, 0xB0, 0x02, 'a', 0x00, 0x30}), out));
  EXPECT_FALSE(DecompressLznt1(Bytes_({0x10, 0xB0, 0x00, 'a'}), out));
}

// Small volumes: 4 KiB clusters, 1 KiB records, the $MFT at cluster 4.
class NtfsVolume : public ::testing::Test {
 protected:
  static constexpr uint32_t kCluster = 4096;

  void SetUp() override { dir_ = testing::MakeTempDir(); }

  build::VolumeBuilder MakeVolume(uint64_t mft_records = 64, uint64_t total_clusters = 256) {
    build::VolumeBuilder v(kCluster, 1024, total_clusters, 4, mft_records);
    // The root folder, in use, with an empty index.
    v.SetRecord(5, build::RecordBuilder(1024, 3).FileName(5, u".", 3, true).IndexRoot({}).Build(), true);
    return v;
  }

  bool Load(build::VolumeBuilder& v, CNtfs& ntfs, const std::string& name = "v.img") {
    const std::string path = dir_ + "/" + name;
    if (!v.Save(path)) return false;
    engine::MountImage(u'Q', text::from_utf8(path));
    return ntfs.OpenVolume(u"Q:") && ntfs.LoadRecordLayout();
  }

  struct Collected {
    std::vector<_FileInfoNtfs> records;
    std::vector<std::u16string> paths;
  };
  static uint32_t Collect(_FileInfoNtfs record, void* user) {
    auto* c = static_cast<Collected*>(user);
    c->paths.push_back(record.FullPath.str());
    c->records.push_back(std::move(record));
    return 0;
  }

  std::string dir_;
};

TEST_F(NtfsVolume, ReadsRecordSixFromTheThirdSlotOfTheClusterAtVcnOne) {
  auto v = MakeVolume();
  v.SetRecord(6, build::RecordBuilder(1024, 0).FileName(5, u"six").Build(), false);
  CNtfs ntfs;
  ASSERT_TRUE(Load(v, ntfs));
  std::vector<std::byte> record(1024);
  ASSERT_TRUE(ntfs.ReadMftRecord(6, record));
  ASSERT_TRUE(FindLongName(record));
  EXPECT_EQ(FindLongName(record)->name, u"six");
  EXPECT_FALSE(ntfs.ReadMftRecord(64, record));  // past the $MFT
}

TEST_F(NtfsVolume, QuickScanPathsDeletedFoldersAndLoopingParents) {
  auto v = MakeVolume();
  // A deleted folder 20 under the root, holding deleted file 21.
  v.SetRecord(20, build::RecordBuilder(1024, 2).FileName(5, u"Gone", 1, true).Build(), false);
  v.SetRecord(21, build::RecordBuilder(1024, 0).FileName(20, u"a.txt").Data("hello").Build(), false);
  // Folders 30 and 31 name each other as parent; file 32 lies in 30.
  v.SetRecord(30, build::RecordBuilder(1024, 2).FileName(31, u"Loop A", 1, true).Build(), false);
  v.SetRecord(31, build::RecordBuilder(1024, 2).FileName(30, u"Loop B", 1, true).Build(), false);
  v.SetRecord(32, build::RecordBuilder(1024, 0).FileName(30, u"lost.bin").Build(), false);
  // A folder that is its own parent.
  v.SetRecord(33, build::RecordBuilder(1024, 2).FileName(33, u"Self", 1, true).Build(), false);
  v.SetRecord(34, build::RecordBuilder(1024, 0).FileName(33, u"in self").Build(), false);
  // A DOS-only name is not reported; an in-use record neither.
  v.SetRecord(35, build::RecordBuilder(1024, 0).FileName(5, u"DOSONLY", file_name::kDos).Build(), false);
  v.SetRecord(36, build::RecordBuilder(1024, 1).FileName(5, u"live").Build(), true);
  CNtfs ntfs;
  ASSERT_TRUE(Load(v, ntfs));
  Collected found;
  ASSERT_TRUE(ntfs.ScanNtfsDisk(u"Q:", Collect, &found, nullptr));
  std::map<std::u16string, const _FileInfoNtfs*> by_path;
  for (size_t i = 0; i < found.paths.size(); ++i) by_path[found.paths[i]] = &found.records[i];
  ASSERT_TRUE(by_path.count(u"Q:\\Gone\\a.txt"));
  EXPECT_EQ(uint64_t{by_path[u"Q:\\Gone\\a.txt"]->MftNumber}, 21u);
  EXPECT_EQ(uint64_t{by_path[u"Q:\\Gone\\a.txt"]->ParentMftNumber}, 20u);
  EXPECT_EQ(uint64_t{by_path[u"Q:\\Gone\\a.txt"]->DataSize}, 5u);
  ASSERT_TRUE(by_path.count(u"Q:\\Gone"));
  EXPECT_EQ(by_path[u"Q:\\Gone"]->Type, kEntryFolder);
  bool lost_found = false;
  for (const auto& path : found.paths) {
    if (path.ends_with(u"lost.bin")) {
      lost_found = true;
      EXPECT_LT(path.size(), 100u);  // the loop was cut
    }
  }
  EXPECT_TRUE(lost_found);
  EXPECT_TRUE(by_path.count(u"Q:\\Self\\in self"));
  for (const auto& path : found.paths) {
    EXPECT_EQ(path.find(u"DOSONLY"), std::u16string::npos);
    EXPECT_NE(path, u"Q:\\live");
  }
  // Recovery of the resident file.
  const std::string out = dir_ + "/a.txt";
  ASSERT_TRUE(ntfs.NtfsRecoverData(text::from_utf8(out), 21, nullptr, nullptr));
  EXPECT_EQ(testing::ReadFileBytes(out), "hello");
  // A record in use is not recovered and no file is made.
  const std::string live = dir_ + "/live.txt";
  EXPECT_FALSE(ntfs.NtfsRecoverData(text::from_utf8(live), 36, nullptr, nullptr));
  EXPECT_FALSE(std::filesystem::exists(live));
}

TEST_F(NtfsVolume, QuickScanProgressEvery15000RecordsOfARun) {
  auto v = MakeVolume(40000, 10016);
  CNtfs ntfs;
  ASSERT_TRUE(Load(v, ntfs));
  static std::vector<std::pair<uint64_t, uint64_t>> calls;
  calls.clear();
  auto progress = [](void*, uint64_t count, uint64_t countdown) -> uint32_t {
    calls.emplace_back(count, countdown);
    return 0;
  };
  ASSERT_TRUE(ntfs.ScanNtfsDisk(u"Q:", nullptr, nullptr, progress));
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], std::make_pair(uint64_t{40000}, uint64_t{39999}));
  EXPECT_EQ(calls[1], std::make_pair(uint64_t{40000}, uint64_t{24999}));
  EXPECT_EQ(calls[2], std::make_pair(uint64_t{40000}, uint64_t{9999}));
}

TEST_F(NtfsVolume, HugeSparseRunsEndCleanly) {
  auto v = MakeVolume();
  // One hole of 2^52 clusters: 2^64 bytes, which wrapped to 0 bytes left in
  // the run and read for ever.
  v.SetRecord(40, build::RecordBuilder(1024, 0)
                      .FileName(5, u"hole")
                      .NonResident(0x80, build::EncodeRuns({{0, uint64_t{1} << 52}}), 0, (uint64_t{1} << 52) - 1,
                                   uint64_t{1} << 40)
                      .Build(),
              false);
  CNtfs ntfs;
  ASSERT_TRUE(Load(v, ntfs));
  Collected found;
  ASSERT_TRUE(ntfs.ScanNtfsDisk(u"Q:", Collect, &found, nullptr));
  EXPECT_EQ(found.paths, std::vector<std::u16string>{u"Q:\\hole"});
  const std::string out = dir_ + "/hole.bin";
  EXPECT_FALSE(ntfs.NtfsRecoverData(text::from_utf8(out), 40, nullptr, nullptr));
  EXPECT_FALSE(std::filesystem::exists(out));

  // Runs made by hand past the decoder's bounds still read in finite steps.
  std::vector<DataRun> runs{{0, uint64_t{1} << 52, 0, true}, {uint64_t{1} << 52, 2, 100, false}};
  std::vector<std::byte> buffer(3 * kCluster, std::byte{1});
  ASSERT_TRUE(ntfs.ReadStream(runs, kCluster / 2, buffer));
  EXPECT_EQ(std::count(buffer.begin(), buffer.end(), std::byte{0}), static_cast<ptrdiff_t>(buffer.size()));
  EXPECT_FALSE(ntfs.ReadStream(runs, UINT64_MAX - kCluster, buffer));  // offsets that wrap
}

TEST_F(NtfsVolume, TruncatedMftAndRunsBeyondTheVolumeEndCleanly) {
  // An $MFT run that the boot sector's volume holds but the image lacks.
  auto v = MakeVolume(64);
  v.image().resize(4 * kCluster + 8 * 1024);  // only the first 8 records are there
  CNtfs ntfs;
  ASSERT_TRUE(Load(v, ntfs));
  Collected found;
  EXPECT_TRUE(ntfs.ScanNtfsDisk(u"Q:", Collect, &found, nullptr));  // the run's first records were read

  // An $MFT whose run reaches past the volume is not loaded.
  auto w = MakeVolume(64, 16);  // 16 clusters, the $MFT would need 4..20
  CNtfs other;
  EXPECT_FALSE(Load(w, other, "w.img"));
}

TEST_F(NtfsVolume, RecoveryWritesRunsSparseHolesAndRefusesWhatItCannotCopy) {
  auto v = MakeVolume();
  // 7.5 clusters of data in runs of 3 clusters at 100 and 5 at 120, a hole
  // of 1 between them.
  build::ByteVector pattern(12 * kCluster);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::byte>(i * 7 + i / 4096);
  v.WriteAt(100 * kCluster, build::ByteVector(pattern.begin(), pattern.begin() + 3 * kCluster));
  v.WriteAt(120 * kCluster, build::ByteVector(pattern.begin() + 3 * kCluster, pattern.begin() + 8 * kCluster));
  const uint64_t size = 8 * kCluster + kCluster / 2;
  v.SetRecord(40, build::RecordBuilder(1024, 0)
                      .FileName(5, u"two runs")
                      .NonResident(0x80, build::EncodeRuns({{100, 3}, {0, 1}, {20, 5}}), 0, 8, size)
                      .Build(),
              false);
  v.SetRecord(41, build::RecordBuilder(1024, 0)
                      .FileName(5, u"packed")
                      .NonResident(0x80, build::EncodeRuns({{100, 3}}), 0, 2, 10000, attr::kFlagCompressed)
                      .Build(),
              false);
  // Data that the runs do not cover; clusters the image lacks.
  v.SetRecord(42, build::RecordBuilder(1024, 0)
                      .FileName(5, u"short runs")
                      .NonResident(0x80, build::EncodeRuns({{100, 1}}), 0, 0, 3 * kCluster)
                      .Build(),
              false);
  v.SetRecord(43, build::RecordBuilder(1024, 0)
                      .FileName(5, u"3 clusters")
                      .NonResident(0x80, build::EncodeRuns({{100, 3}}), 0, 2, 10000)
                      .Build(),
              false);
  v.SetRecord(44, build::RecordBuilder(1024, 0)
                      .FileName(5, u"past the image")
                      .NonResident(0x80, build::EncodeRuns({{250, 6}}), 0, 5, 6 * kCluster)
                      .Build(),
              false);
  v.image().resize(252 * kCluster);
  CNtfs ntfs;
  ASSERT_TRUE(Load(v, ntfs));

  const std::string out = dir_ + "/two.bin";
  ASSERT_TRUE(ntfs.NtfsRecoverData(text::from_utf8(out), 40, nullptr, nullptr));
  std::string expected;
  for (size_t i = 0; i < 3 * kCluster; ++i) expected += static_cast<char>(pattern[i]);
  expected += std::string(kCluster, '\0');
  for (size_t i = 3 * kCluster; i < 3 * kCluster + size - 4 * kCluster; ++i) expected += static_cast<char>(pattern[i]);
  EXPECT_EQ(testing::ReadFileBytes(out), expected);

  static std::vector<uint64_t> progress;
  progress.clear();
  const std::string three = dir_ + "/three.bin";
  ASSERT_TRUE(ntfs.NtfsRecoverData(text::from_utf8(three), 43, [](uint64_t left, void*) -> uint32_t {
    progress.push_back(left);
    return 0;
  }, nullptr));
  EXPECT_EQ(testing::ReadFileBytes(three).size(), 10000u);
  EXPECT_EQ(progress, std::vector<uint64_t>{0});  // one chunk: only the end is reported

  for (uint64_t record : {41u, 42u, 44u}) {
    const std::string bad = dir_ + "/bad" + std::to_string(record);
    EXPECT_FALSE(ntfs.NtfsRecoverData(text::from_utf8(bad), record, nullptr, nullptr)) << record;
    EXPECT_FALSE(std::filesystem::exists(bad)) << record << ": a partial output was left";
  }
}

TEST_F(NtfsVolume, RecoveryJoinsDataHeldInExtensionRecords) {
  auto v = MakeVolume();
  build::ByteVector pattern(5 * kCluster);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::byte>(i * 13 + i / 4096);
  v.WriteAt(100 * kCluster, build::ByteVector(pattern.begin(), pattern.begin() + 3 * kCluster));
  v.WriteAt(130 * kCluster, build::ByteVector(pattern.begin() + 3 * kCluster, pattern.end()));
  const uint64_t size = 5 * kCluster - 100;
  // Record 40: the list and the first piece (VCN 0-2); record 41: VCN 3-4.
  v.SetRecord(40, build::RecordBuilder(1024, 0)
                      .AttributeList({{0x30, 40}, {0x80, 40, 0}, {0x80, 41, 3}})
                      .FileName(5, u"split.bin")
                      .NonResident(0x80, build::EncodeRuns({{100, 3}}), 0, 2, size)
                      .Build(),
              false);
  v.SetRecord(41, build::RecordBuilder(1024, 0)
                      .BaseRecord(40)
                      .NonResident(0x80, build::EncodeRuns({{130, 2}}), 3, 4, 0)
                      .Build(),
              false);
  // Record 42 names an extension record that now belongs to another file.
  v.SetRecord(42, build::RecordBuilder(1024, 0)
                      .AttributeList({{0x80, 42, 0}, {0x80, 41, 3}})
                      .FileName(5, u"reused.bin")
                      .NonResident(0x80, build::EncodeRuns({{100, 3}}), 0, 2, size)
                      .Build(),
              false);
  // Record 43's name lives in its extension record 44.
  v.SetRecord(43, build::RecordBuilder(1024, 0).AttributeList({{0x30, 44}}).Data("named elsewhere").Build(), false);
  v.SetRecord(44, build::RecordBuilder(1024, 0).BaseRecord(43).FileName(5, u"ext name").Build(), false);
  CNtfs ntfs;
  ASSERT_TRUE(Load(v, ntfs));
  Collected found;
  ASSERT_TRUE(ntfs.ScanNtfsDisk(u"Q:", Collect, &found, nullptr));
  std::map<std::u16string, uint64_t> numbers;
  for (size_t i = 0; i < found.paths.size(); ++i) numbers[found.paths[i]] = found.records[i].MftNumber;
  EXPECT_EQ(numbers[u"Q:\\ext name"], 43u);  // the base record, not the extension
  EXPECT_EQ(numbers[u"Q:\\split.bin"], 40u);
  EXPECT_EQ(found.paths.size(), 3u);  // split.bin, reused.bin, ext name

  const std::string out = dir_ + "/split.bin";
  ASSERT_TRUE(ntfs.NtfsRecoverData(text::from_utf8(out), 40, nullptr, nullptr));
  std::string expected;
  for (size_t i = 0; i < size; ++i) expected += static_cast<char>(pattern[i]);
  EXPECT_EQ(testing::ReadFileBytes(out), expected);
  const std::string reused = dir_ + "/reused.bin";
  EXPECT_FALSE(ntfs.NtfsRecoverData(text::from_utf8(reused), 42, nullptr, nullptr));
  EXPECT_FALSE(std::filesystem::exists(reused));
}

TEST_F(NtfsVolume, DirectoryIndexRootAllocationAndLookup) {
  auto v = MakeVolume();
  // Folder 24 "Docs" under the root: two entries in its root, more in an
  // INDX block at cluster 60, with a system record and a DOS-only entry
  // that are not listed.
  v.SetRecord(5, build::RecordBuilder(1024, 3)
                     .FileName(5, u".", 3, true)
                     .IndexRoot({build::IndexEntry(24, build::FileNameValue(5, u"Docs", 1, true)),
                                 build::IndexEntry(29, build::FileNameValue(5, u"Listed", 1, true))})
                     .Build(),
              true);
  const auto key = [](const std::u16string& name, uint8_t ns = 1) { return build::FileNameValue(24, name, ns); };
  v.WriteAt(60 * kCluster, build::IndexBlock(4096, {build::IndexEntry(26, key(u"block one.txt")),
                                                     build::IndexEntry(27, key(u"BLOCK2~1.TXT", 2)),
                                                     build::IndexEntry(28, key(u"block two.txt"))}));
  v.SetRecord(24, build::RecordBuilder(1024, 3)
                      .FileName(5, u"Docs", 1, true)
                      .IndexRoot({build::IndexEntry(9, key(u"$Secure")), build::IndexEntry(25, key(u"root.txt"))})
                      .NonResident(0xA0, build::EncodeRuns({{60, 1}}), 0, 0, 4096, 0, u"$I30")
                      .Build(),
              true);
  // Folder 29 whose attribute list names its own record and a loop of others.
  v.SetRecord(29, build::RecordBuilder(1024, 3)
                      .FileName(5, u"Listed", 1, true)
                      .AttributeList({{0xA0, 29}, {0xA0, 29}, {0xA0, 5}})
                      .IndexRoot({build::IndexEntry(30, build::FileNameValue(29, u"x.txt"))})
                      .Build(),
              true);
  CNtfs ntfs;
  ASSERT_TRUE(Load(v, ntfs));

  Collected listed;
  ASSERT_TRUE(ntfs.ScanNtfsEx(u"Q:\\Docs", Collect, &listed));
  std::vector<std::u16string> expected{u"Q:\\Docs\\root.txt", u"Q:\\Docs\\block one.txt", u"Q:\\Docs\\block two.txt"};
  EXPECT_EQ(listed.paths, expected);
  for (const auto& r : listed.records) EXPECT_EQ(r.Source, kNtfsFromIndex);

  // A missing middle part is passed over.
  Collected again;
  ASSERT_TRUE(ntfs.ScanNtfsEx(u"Q:\\Nowhere\\Docs", Collect, &again));
  EXPECT_EQ(again.paths.size(), 3u);

  uint64_t record = 0;
  ASSERT_TRUE(ntfs.FindByFileName(u"Q:", u"docs", kRootRecord, &record, nullptr, nullptr));
  EXPECT_EQ(record, 24u);
  record = 77;
  ASSERT_TRUE(ntfs.FindByFileName(u"Q:\\Docs", u"BLOCK2~1.TXT", 24, &record, nullptr, nullptr));
  EXPECT_EQ(record, 77u);  // DOS names are not matched
  ASSERT_TRUE(ntfs.FindByFileName(u"Q:\\Docs", u"BLOCK TWO.TXT", 24, &record, nullptr, nullptr));
  EXPECT_EQ(record, 28u);
  // A folder whose record is not in use.
  EXPECT_FALSE(ntfs.FindByFileName(u"Q:", nullptr, 50, nullptr, nullptr, nullptr));

  Collected self;
  ASSERT_TRUE(ntfs.ScanNtfsEx(u"Q:\\Listed", Collect, &self));
  EXPECT_EQ(self.paths, std::vector<std::u16string>{u"Q:\\Listed\\x.txt"});

  // A path longer than 259 characters is refused.
  EXPECT_FALSE(ntfs.ScanNtfsEx(u"Q:\\" + std::u16string(300, u'a'), Collect, &self));
}

TEST_F(NtfsVolume, SweepSkipsEveryUnitOfThePresentMftAndRecoversByPosition) {
  auto v = MakeVolume();
  // A named record inside the present $MFT, in the second 1 KiB of a cluster.
  v.SetRecord(17, build::RecordBuilder(1024, 0).FileName(5, u"in the live mft").Build(), false);
  // Old records elsewhere: a file, a system name, the old root, and a twin.
  v.WriteAt(150 * kCluster, build::RecordBuilder(1024, 1).FileName(5, u"old.txt").Data("old data").Build());
  v.WriteAt(150 * kCluster + 1024, build::RecordBuilder(1024, 1).FileName(5, u"$MFT").Build());
  v.WriteAt(150 * kCluster + 2048, build::RecordBuilder(1024, 3).FileName(5, u".", 3, true).Build());
  v.WriteAt(151 * kCluster + 512, build::RecordBuilder(1024, 1).FileName(5, u"old.txt").Data("old data").Build());
  CNtfs ntfs;
  ASSERT_TRUE(Load(v, ntfs));
  Collected found;
  ntfs.ScanNtfsByFormat(u"Q:", 256 * kCluster, Collect, &found);
  std::vector<uint64_t> offsets;
  for (size_t i = 0; i < found.paths.size(); ++i) {
    EXPECT_EQ(found.paths[i], u"Q:\\old.txt");
    offsets.push_back(uint64_t{found.records[i].RecordOffset});  // a copy: the record is packed
  }
  EXPECT_EQ(offsets, (std::vector<uint64_t>{150 * kCluster, 151 * kCluster + 512}));
  const std::string out = dir_ + "/old.txt";
  ASSERT_TRUE(ntfs.NtfsRecoverFormatData(text::from_utf8(out), 151 * kCluster + 512, nullptr, nullptr));
  EXPECT_EQ(testing::ReadFileBytes(out), "old data");
  EXPECT_FALSE(ntfs.NtfsRecoverFormatData(text::from_utf8(out), -1, nullptr, nullptr));
}

}  // namespace
}  // namespace salvor
